#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "platform/message_boxes.h"

// The real message boxes: QMessageBox, owned by the main window, first button
// the default, and the application's name as caption when the box has none.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QString appName) : appName_(std::move(appName)) {}
  // Where the owner comes from: the main window, which may not exist yet.
  void SetOwner(std::function<QWidget*()> owner) { owner_ = std::move(owner); }
  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override;

 private:
  QString appName_;
  std::function<QWidget*()> owner_;
};
