#include "update_manager/link_label.h"

#include <QFontMetrics>
#include <algorithm>
#include <QMouseEvent>

namespace {
const QColor kHoverColour(0, 0, 255);
}

CLinkLabel::CLinkLabel(QWidget* parent) : QLabel(parent), normal_palette_(palette()) {
  setMouseTracking(true);  // movements without a button pressed start the hover
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
  if (!hovering_) {
    hovering_ = true;
    ApplyColour();
  }
  QLabel::mouseMoveEvent(event);
}

void CLinkLabel::leaveEvent(QEvent* event) {
  if (hovering_) {
    hovering_ = false;
    ApplyColour();
  }
  QLabel::leaveEvent(event);
}

void CLinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) emit clicked();
}

void CLinkLabel::changeEvent(QEvent* event) {
  // A new palette from outside (style or theme change) becomes the normal colours.
  if (event->type() == QEvent::PaletteChange && !applying_colour_) {
    normal_palette_ = palette();
    if (hovering_) ApplyColour();
  }
  QLabel::changeEvent(event);
}

void CLinkLabel::ApplyColour() {
  QPalette p = normal_palette_;
  if (hovering_) p.setColor(QPalette::WindowText, kHoverColour);
  applying_colour_ = true;
  setPalette(p);
  applying_colour_ = false;
  update();
}

QFont LinkFont() {
  QFont font(QStringLiteral("Arial"));
  font.setItalic(true);
  font.setUnderline(true);
  font.setWeight(QFont::Normal);
  font.setStrikeOut(false);
  // 16 is the character cell height; pixel sizes give the em height, which is smaller.
  constexpr int kCellHeight = 16;
  font.setPixelSize(kCellHeight);
  const int cell = QFontMetrics(font).height();
  if (cell > kCellHeight) font.setPixelSize(std::max(1, kCellHeight * kCellHeight / cell));
  return font;
}
