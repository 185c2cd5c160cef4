#include "flag_editor/flag_editor_app.h"

#include "flag_editor/command_line.h"
#include "flag_editor/flag_editor_dlg.h"
#include "flag_editor/qt_questions.h"
#include "platform/registry.h"

int CFlagEditorApp::InitInstance(const std::vector<std::string>& arguments) {
  CFlagEditorCommandLineInfo command_line;
  ParseCommandLine(arguments, command_line);

  QtQuestions questions;
  SystemRegistry registry;
  CFlagEditorDlg dialog(questions, questions, registry);
  questions.SetOwner(&dialog);
  dialog.m_bHasParent = command_line.m_bHasParent;
  dialog.m_nParentWnd = command_line.m_nParentWnd;
  dialog.OnInitDialog();
  dialog.exec();
  // The window's result is not looked at; destroying it closes the database.
  return 0;
}
