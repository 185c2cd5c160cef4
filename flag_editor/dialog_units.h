#pragma once

#include <QFontMetrics>
#include <QRect>

// Template positions in dialog units to pixels from the font's average character
// width and height: x * width / 4, y * height / 8.
class TalvaneDialogUnits {
 public:
  explicit TalvaneDialogUnits(const QFontMetrics& metrics)
      : width_((metrics.horizontalAdvance(QStringLiteral(
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) + 26) / 52),
        height_(metrics.height()) {}
  int X(int x) const { return x * width_ / 4; }
  int Y(int y) const { return y * height_ / 8; }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

 private:
  int width_;
  int height_;
};
