// The `ordwin` program: the update manager's window, or with --check the
// headless check for administrators and scripts.
#include <QApplication>
#include <cstring>
#include <iostream>

#include "platform/qt/qt_message_boxes.h"
#include "platform/registry.h"
#include "update_manager/check_command.h"
#include "update_manager/main_frame.h"
#include "update_manager/ordwin_app.h"
#include "update_manager/ordwin_strings.h"
#include "update_manager/product_table.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--check") == 0) {
    return RunUpdateCheckCommand(std::cout, std::cerr);
  }
  if (argc != 1) {
    std::cerr << "usage: ordwin            the update manager's window\n"
                 "       ordwin --check    Asks the update site for the latest version and\n"
                 "  download link of every product and prints them, one product a line:\n"
                 "  code, version, link (tabs).\n";
    return 2;
  }
  QApplication qt(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kOrdwinAppName));
  QtMessageBoxes boxes(QString::fromLatin1(kOrdwinAppName));
  IniFileRegistry registry;
  COrdwinApp app(boxes, registry, TheProductTable(), ProgramPath());
  boxes.SetOwner([&app]() -> QWidget* { return app.MainFrame(); });
  if (!app.InitInstance()) return 1;
  return app.Run();
}
