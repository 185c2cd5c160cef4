#pragma once

#include "flag_editor/file_dialogs.h"
#include "platform/message_boxes.h"

class QWidget;

// The real questions: QMessageBox and QFileDialog over the owner window.
class QtQuestions : public MessageBoxes, public FileDialogs {
 public:
  explicit QtQuestions(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override;
  std::optional<std::string> AskOpenFileName() override;
  std::optional<std::string> AskSaveAsFileName(const std::string& initial) override;

 private:
  QWidget* owner_;
};
