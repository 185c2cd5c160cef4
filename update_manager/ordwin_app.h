#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string>

class CMainFrame;
class COrdwinDoc;
class COrdwinView;
class CProductTable;
class MessageBoxes;
class Registry;

// Ordwin's application object: creates the document, the frame and the view,
// shows the frame, records where the program lives, and shows the About box.
// The Qt application object must exist first; the caller runs its event loop.
class COrdwinApp : public QObject {
  Q_OBJECT

 public:
  // The registry key and value written once per machine.
  static constexpr const char* kAppPathKey = "software\\Velmora\\Ordwin";
  static constexpr const char* kAppPathValue = "AppPath";

  // programPath: the running program's full path (ProgramPath() in ordwin).
  COrdwinApp(MessageBoxes& boxes, Registry& registry, CProductTable& table,
             std::string programPath);
  ~COrdwinApp() override;

  // Start-up up to the shown main window; false when the program is to end.
  bool InitInstance();
  // The message loop, until the window closes or the quit request; the exit code.
  int Run();
  void OnAppAbout();

  CMainFrame* MainFrame() const { return frame_.get(); }
  COrdwinView* View() const { return view_; }

 private:
  void RecordAppPath();
  // Ends the message loop with exitCode once the current command has returned.
  void PostQuit(int exitCode);

  MessageBoxes& boxes_;
  Registry& registry_;
  CProductTable& table_;
  std::string program_path_;
  std::unique_ptr<COrdwinDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  COrdwinView* view_ = nullptr;  // owned by the frame
  std::optional<int> quit_code_;
};

// The full path of the running program, or an empty text when it cannot be found.
std::string ProgramPath();
