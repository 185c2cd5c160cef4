#include "flag_editor/qt_questions.h"

#include <QFileDialog>

#include "hashdb/talvane_strings.h"

namespace {

// Both file dialogs offer the same two choices, databases first.
const char* const kDatabaseFilter = "Nerith Database (*.hdb);;All Files (*)";

std::optional<QString> RunFileDialog(QFileDialog& dialog) {
  dialog.setNameFilter(QString::fromLatin1(kDatabaseFilter));
  dialog.setAccessibleName(dialog.windowTitle());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

}  // namespace

QtQuestions::QtQuestions(QWidget* owner)
    : QtMessageBoxes(QString::fromUtf8(kTalvaneAppName)), owner_(owner) {
  QtMessageBoxes::SetOwner([this] { return owner_; });
}

std::optional<QString> QtQuestions::AskOpenFileName() {
  QFileDialog dialog(owner_, QObject::tr("Open"));
  dialog.setObjectName("openFileDialog");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog);
}

std::optional<QString> QtQuestions::AskSaveAsFileName(const QString& initial) {
  QFileDialog dialog(owner_, QObject::tr("Save As"));
  dialog.setObjectName("saveAsFileDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // No default suffix: a name typed without an extension is used as typed.
  dialog.setDefaultSuffix(QString());
  if (!initial.isEmpty()) dialog.selectFile(initial);
  return RunFileDialog(dialog);
}
