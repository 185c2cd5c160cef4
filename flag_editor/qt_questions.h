#pragma once

#include "flag_editor/file_dialogs.h"
#include "platform/qt/qt_message_boxes.h"

class QWidget;

// The real questions over the owner window: the shared message boxes, and
// QFileDialog for Open and Save as.
class QtQuestions : public QtMessageBoxes, public FileDialogs {
 public:
  explicit QtQuestions(QWidget* owner = nullptr);
  QtQuestions(const QtQuestions&) = delete;  // the boxes ask this object for the owner
  QtQuestions& operator=(const QtQuestions&) = delete;
  void SetOwner(QWidget* owner) { owner_ = owner; }

  std::optional<QString> AskOpenFileName() override;
  std::optional<QString> AskSaveAsFileName(const QString& initial) override;

 private:
  QWidget* owner_;
};
