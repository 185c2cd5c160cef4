#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>

// Converts template positions and sizes in dialog units to pixels from the
// dialog font's average character width and height (x * width / 4, y * height / 8),
// so a form looks like its template at any font size.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) : DialogUnits(QFontMetrics(font)) {}
  explicit DialogUnits(const QFontMetrics& metrics);
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;
  int X(int x) const { return x * char_width_ / 4; }
  int Y(int y) const { return y * char_height_ / 8; }

 private:
  int char_width_;
  int char_height_;
};
