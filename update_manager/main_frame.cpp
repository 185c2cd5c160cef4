#include "update_manager/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include "update_manager/ordwin_ids.h"
#include "update_manager/ordwin_strings.h"

namespace {

// The prompt of a command: its string up to the "\n" before the short name.
QString Prompt(unsigned id) {
  const std::string& text = OrdwinString(id);
  return QString::fromStdString(text.substr(0, text.find('\n')));
}

QAction* AddCommand(QMenu* menu, const QString& text, const char* name, unsigned promptId) {
  QAction* action = menu->addAction(text);
  action->setObjectName(QString::fromLatin1(name));
  action->setStatusTip(promptId != 0 ? Prompt(promptId) : QString());
  return action;
}

QMenu* AddMenu(QMenuBar* bar, const QString& text, const char* name) {
  QMenu* menu = bar->addMenu(text);
  menu->setObjectName(QString::fromLatin1(name));
  menu->setAccessibleName(QString(text).remove(QLatin1Char('&')));
  return menu;
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("mainFrame"));
  setWindowTitle(QString::fromStdString(OrdwinString(IDS_APP_TITLE)));
  setAccessibleName(windowTitle());

  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("menuBar"));
  bar->setAccessibleName(QStringLiteral("Menu bar"));
  QMenu* file = AddMenu(bar, QStringLiteral("&File"), "menuFile");
  exit_ = AddCommand(file, QStringLiteral("E&xit"), "actionExit", IDS_PROMPT_APP_EXIT);
  QMenu* view = AddMenu(bar, QStringLiteral("&View"), "menuView");
  status_bar_toggle_ = AddCommand(view, QStringLiteral("&Status Bar"), "actionStatusBar",
                                  IDS_PROMPT_VIEW_STATUS_BAR);
  status_bar_toggle_->setCheckable(true);
  status_bar_toggle_->setChecked(true);
  QMenu* velmora = AddMenu(bar, QStringLiteral("&Velmora"), "menuVelmora");
  check_for_updates_ =
      AddCommand(velmora, QStringLiteral("Check for updates..."), "actionCheckForUpdates", 0);
  QMenu* help = AddMenu(bar, QStringLiteral("&Help"), "menuHelp");
  about_ =
      AddCommand(help, QStringLiteral("&About Ordwin..."), "actionAbout", IDS_PROMPT_APP_ABOUT);

  // One pane: command prompts while a menu item is highlighted, else the idle text.
  QStatusBar* status = statusBar();
  status->setObjectName(QStringLiteral("statusBar"));
  status->setAccessibleName(QStringLiteral("Status bar"));
  auto* idle = new QLabel(QString::fromStdString(OrdwinString(IDS_IDLE_MESSAGE)), status);
  idle->setObjectName(QStringLiteral("statusIdleText"));
  idle->setAccessibleName(idle->text());
  status->addWidget(idle, 1);

  setMinimumSize(kMinTrackWidth, kMinTrackHeight);

  connect(exit_, &QAction::triggered, this, &QWidget::close);
  connect(status_bar_toggle_, &QAction::toggled, this, &CMainFrame::OnViewStatusBar);
}

QAction* CMainFrame::Command(int id) const {
  switch (id) {
    case ordwin_id::kAppExit: return exit_;
    case ordwin_id::kViewStatusBar: return status_bar_toggle_;
    case ordwin_id::kCheckForUpdates: return check_for_updates_;
    case ordwin_id::kAppAbout: return about_;
    default: return nullptr;
  }
}

void CMainFrame::OnViewStatusBar(bool shown) { statusBar()->setVisible(shown); }
