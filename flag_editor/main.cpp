#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "flag_editor/flag_editor_app.h"
#include "hashdb/talvane_strings.h"
#include "platform/qt/display.h"

int main(int argc, char** argv) {
  DisplayProbe display(argc, argv);
  if (!display.Found()) {
    std::cerr << "talvane: no display found (DISPLAY is not set or cannot be opened)\n";
    return 1;
  }
  QApplication application(argc, argv);
  display.Close();
  QApplication::setApplicationName(QString::fromLatin1(kTalvaneAppName));
  // QApplication has taken out its own options; the rest is Talvane's.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CFlagEditorApp app;
  return app.InitInstance(arguments);
}
