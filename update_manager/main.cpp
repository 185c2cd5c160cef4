// The `ordwin` program: the update manager's window, or with --check the
// headless check for administrators and scripts.
#include <QApplication>
#include <iostream>
#include <string>

#include "platform/qt/display.h"
#include "platform/qt/qt_translations.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/registry.h"
#include "update_manager/check_command.h"
#include "update_manager/main_frame.h"
#include "update_manager/ordwin_app.h"
#include "update_manager/ordwin_strings.h"
#include "update_manager/product_table.h"

namespace {

constexpr const char* kUsage =
    "usage: ordwin              the update manager's window\n"
    "       ordwin --check      ask the update site for the latest versions, without a window\n"
    "       ordwin --help       this text\n"
    "       ordwin --version    the program's version\n"
    "\n"
    "--check prints the nine products in table order, one a line: code, tab, latest\n"
    "version, tab, download link, with tabs, line breaks, carriage returns and\n"
    "backslashes in them written \\t \\n \\r \\\\ and other control bytes \\xHH. The\n"
    "update site is UpdateSiteHost in Ordwin.ini. A check gives up after 10 s without a\n"
    "connection and after 30 s in all.\n"
    "\n"
    "Exit codes: 0 the site answered with a 2xx status; 3 it could not be reached, timed\n"
    "out or answered another status (the reason on one line of standard error); 1 the\n"
    "list could not be written; 2 a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    const std::string option = argv[1];
    if (option == "--check") return RunUpdateCheckCommand(std::cout, std::cerr);
    if (option == "--help" || option == "-h") {
      std::cout << kUsage;
      return std::cout.flush() ? 0 : 1;
    }
    if (option == "--version") {
      std::cout << "ordwin " << kOrdwinOwnVersion << "\n";
      return std::cout.flush() ? 0 : 1;
    }
  }
  if (argc != 1) {
    std::cerr << "ordwin: unknown arguments\n" << kUsage;
    return 2;
  }
  DisplayProbe display(argc, argv);
  if (!display.Found()) {
    std::cerr << "ordwin: no display found (DISPLAY is not set or cannot be opened); "
                 "`ordwin --check` works without one\n";
    return 1;
  }
  QApplication qt(argc, argv);
  display.Close();
  InstallQtTranslations();
  QApplication::setApplicationName(QString::fromLatin1(kOrdwinAppName));
  QtMessageBoxes boxes(QString::fromLatin1(kOrdwinAppName));
  SystemRegistry registry;
  COrdwinApp app(boxes, registry, TheProductTable(), ProgramPath());
  boxes.SetOwner([&app]() -> QWidget* { return app.MainFrame(); });
  if (!app.InitInstance()) return 1;
  return app.Run();
}
