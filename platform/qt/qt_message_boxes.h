#pragma once

#include <QString>
#include <functional>
#include <utility>

#include "platform/message_boxes.h"

class QWidget;

// The real message boxes: QMessageBox over the owner window, the text plain,
// the first button the default, Esc and the close box answering Cancel where
// there is one (No in a Yes/No box, OK in an OK box), and the application's
// name as caption when the box has none (kNoCaption: an empty title bar).
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QString appName) : app_name_(std::move(appName)) {}
  // Where the owner comes from: the main window, which may not exist yet.
  void SetOwner(std::function<QWidget*()> owner) { owner_ = std::move(owner); }
  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override;

 private:
  QString app_name_;
  std::function<QWidget*()> owner_;
};
