#pragma once

#include <QMainWindow>

class QAction;
class QLabel;

// Ordwin's frame: the menu bar, the status bar with the command prompts, and a
// minimum size. The title is always "Ordwin", whatever the document is called.
class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kMinTrackWidth = 510;
  static constexpr int kMinTrackHeight = 310;

  explicit CMainFrame(QWidget* parent = nullptr);

  // The menu command with this number (ordwin_id::k...), or nullptr.
  QAction* Command(int id) const;

 private:
  void OnViewStatusBar(bool shown);

  QAction* exit_;
  QAction* status_bar_toggle_;
  QAction* check_for_updates_;
  QAction* about_;
};
