#include "update_manager/ordwin_app.h"

#include <QAction>
#include <QCoreApplication>
#include <QMetaObject>
#include <climits>
#include <unistd.h>

#include "platform/qt/app_icon.h"
#include "platform/registry.h"
#include "update_manager/main_frame.h"
#include "update_manager/ordwin_about_dlg.h"
#include "update_manager/ordwin_doc.h"
#include "update_manager/ordwin_ids.h"
#include "update_manager/ordwin_view.h"

std::string ProgramPath() {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

COrdwinApp::COrdwinApp(MessageBoxes& boxes, Registry& registry, CProductTable& table,
                       std::string programPath)
    : boxes_(boxes), registry_(registry), table_(table), program_path_(std::move(programPath)) {
  setObjectName(QStringLiteral("ordwinApp"));
}

COrdwinApp::~COrdwinApp() = default;

bool COrdwinApp::InitInstance() {
  // The single-document set: document, frame (hidden at first) and form view.
  document_ = std::make_unique<COrdwinDoc>();
  frame_ = std::make_unique<CMainFrame>();
  frame_->setWindowIcon(AppIcon("ordwin"));
  view_ = new COrdwinView(*document_, table_, boxes_, frame_.get());
  frame_->setCentralWidget(view_);

  QAction* check = frame_->Command(ordwin_id::kCheckForUpdates);
  connect(check, &QAction::triggered, view_, &COrdwinView::CheckForUpdates);
  connect(frame_->Command(ordwin_id::kAppAbout), &QAction::triggered, this,
          &COrdwinApp::OnAppAbout);
  connect(view_, &COrdwinView::checkRunningChanged, check,
          [check](bool running) { check->setEnabled(!running); });
  connect(view_, &COrdwinView::quitRequested, this, &COrdwinApp::PostQuit);

  // The start-up offer comes before the main window shows.
  view_->OnInitialUpdate();

  frame_->show();
  frame_->repaint();
  RecordAppPath();
  return true;
}

int COrdwinApp::Run() {
  // A quit request from the start-up check came before the loop ran.
  if (quit_code_) return *quit_code_;
  return QCoreApplication::exec();
}

void COrdwinApp::PostQuit(int exitCode) {
  quit_code_ = exitCode;
  QMetaObject::invokeMethod(
      this, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void COrdwinApp::OnAppAbout() {
  COrdwinAboutDlg about(frame_.get());
  about.exec();
}

void COrdwinApp::RecordAppPath() {
  // Written once per machine: an existing key is left as it is.
  if (std::optional<RegistryKey> key = registry_.OpenKey(kLocalMachine, kAppPathKey)) {
    registry_.CloseKey(*key);
    return;
  }
  if (program_path_.empty()) return;
  registry_.SetValue(kLocalMachine, kAppPathKey, kAppPathValue, program_path_);
}
