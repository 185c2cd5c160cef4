#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "flag_editor/flag_editor_app.h"
#include "hashdb/talvane_strings.h"
#include "platform/qt/display.h"
#include "platform/qt/qt_translations.h"
#include "velmora_version.h"

namespace {

constexpr const char* kUsage =
    "usage: talvane [/parent=N]\n"
    "       talvane --help | --version\n"
    "\n"
    "The hash-set flag editor. Opens the default hash database named in the\n"
    "registry stand-in (registry.ini in $VELMORA_CONFIG_DIR, else /etc/velmora/)\n"
    "and shows one row per hash set with a check box for its alert flag; File >\n"
    "Open chooses another database. The hashes themselves are never read or changed.\n"
    "\n"
    "  /parent=N   keep the window in front of the X11 window N, the main window of\n"
    "              the program Talvane was started for (also -parent=N)\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "Any other parameter, a file name included, has no effect.\n";

}  // namespace

int main(int argc, char** argv) {
  // The two conventions of every program, answered without a display.
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::cout << kUsage;
    return std::cout.flush() ? 0 : 1;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "talvane " << kTalvaneVersion << "\n";
    return std::cout.flush() ? 0 : 1;
  }
  DisplayProbe display(argc, argv);
  if (!display.Found()) {
    std::cerr << "talvane: no display found (DISPLAY is not set or cannot be opened)\n";
    return 1;
  }
  QApplication application(argc, argv);
  display.Close();
  InstallQtTranslations();
  QApplication::setApplicationName(QString::fromLatin1(kTalvaneAppName));
  // QApplication has taken out its own options; the rest is Talvane's.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  CFlagEditorApp app;
  return app.InitInstance(arguments);
}
