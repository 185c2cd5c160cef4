#include "flag_editor/qt_questions.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "hashdb/talvane_strings.h"

namespace {

// Both file dialogs offer the same two choices, databases first.
const char* const kDatabaseFilter = "Nerith Database (*.hdb);;All Files (*)";

QMessageBox::Icon ToQt(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::Ok: return QMessageBox::Ok;
    case BoxButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

std::optional<std::string> RunFileDialog(QFileDialog& dialog) {
  dialog.setNameFilter(QString::fromLatin1(kDatabaseFilter));
  dialog.setAccessibleName(dialog.windowTitle());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace

BoxAnswer QtQuestions::Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                            BoxIcon icon) {
  const QString title = QString::fromUtf8(caption.empty() ? kTalvaneAppName : caption.c_str());
  QMessageBox box(ToQt(icon), title, QString::fromUtf8(text), ToQt(buttons), owner_);
  box.setObjectName("messageBox");
  box.setAccessibleName(title);
  box.setTextFormat(Qt::PlainText);   // paths and names are never markup
  // Windows boxes answer Esc with Cancel where there is one, and with OK in an OK box.
  if (buttons == BoxButtons::YesNoCancel || buttons == BoxButtons::OkCancel) {
    box.setEscapeButton(QMessageBox::Cancel);
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    case QMessageBox::Cancel: return BoxAnswer::Cancel;
    default: return BoxAnswer::Ok;
  }
}

std::optional<std::string> QtQuestions::AskOpenFileName() {
  QFileDialog dialog(owner_, QObject::tr("Open"));
  dialog.setObjectName("openFileDialog");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  return RunFileDialog(dialog);
}

std::optional<std::string> QtQuestions::AskSaveAsFileName(const std::string& initial) {
  QFileDialog dialog(owner_, QObject::tr("Save As"));
  dialog.setObjectName("saveAsFileDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // No default suffix: a name typed without an extension is used as typed.
  dialog.setDefaultSuffix(QString());
  if (!initial.empty()) dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(initial)));
  return RunFileDialog(dialog);
}
