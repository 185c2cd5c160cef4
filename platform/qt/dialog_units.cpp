#include "platform/qt/dialog_units.h"

DialogUnits::DialogUnits(const QFontMetrics& metrics) {
  // The average over the 52 Latin letters, rounded half up, as dialog base units are taken.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  char_width_ = (letters / 26 + 1) / 2;
  char_height_ = metrics.height();
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }
