// Starts a window and ends as soon as it is painted, so the benchmark can time
// a program's start up to its painted main window from outside:
//   start_probe ordwin   Ordwin's start (InitInstance: frame, form, list, AppPath)
//   start_probe bare     the least a Qt program with a main window does
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <cstring>

#include "platform/qt/qt_message_boxes.h"
#include "platform/registry.h"
#include "update_manager/main_frame.h"
#include "update_manager/ordwin_app.h"
#include "update_manager/product_table.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  QApplication qt(argc, argv);
  if (std::strcmp(argv[1], "bare") == 0) {
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("E&xit"));
    window.setCentralWidget(new QLabel(QStringLiteral("Ordwin")));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.show();
    window.repaint();
    return 0;
  }
  QtMessageBoxes boxes(QStringLiteral("Ordwin"));
  IniFileRegistry registry;
  COrdwinApp app(boxes, registry, TheProductTable(), ProgramPath());
  boxes.SetOwner([&app]() -> QWidget* { return app.MainFrame(); });
  return app.InitInstance() ? 0 : 1;  // InitInstance ends with the frame shown and painted
}
