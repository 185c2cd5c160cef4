#pragma once

#include <QLabel>

// A static text drawn like a hyperlink: hand pointer over it, blue while the
// pointer is over it, and a click reported to the owner.
class CLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit CLinkLabel(QWidget* parent = nullptr);
  bool Hovering() const { return hovering_; }

 signals:
  void clicked();

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ApplyColour();

  bool hovering_ = false;
  bool pressed_ = false;
  bool applying_colour_ = false;
  QPalette normal_palette_;
};

// The link font: Arial, 16 pixels of character cell height, normal weight,
// italic, underlined.
QFont LinkFont();
