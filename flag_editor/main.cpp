#include <QApplication>
#include <string>
#include <vector>

#include "flag_editor/flag_editor_app.h"
#include "hashdb/talvane_strings.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kTalvaneAppName));
  // QApplication has taken out its own options; the rest is Talvane's.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CFlagEditorApp app;
  return app.InitInstance(arguments);
}
