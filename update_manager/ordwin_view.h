#pragma once

#include <QFont>
#include <QWidget>
#include <cstdint>

#include "update_manager/resize_layout.h"

class CLinkLabel;
class COrdwinDoc;
class CProductTable;
class MessageBoxes;
class QLabel;
class QPushButton;
class QTreeWidget;

// Ordwin's form: the product list with its check boxes and "Latest Version"
// column, the "Install Newest Versions" button, the caption and the link to the
// maker's product page. It runs the update checks.
class COrdwinView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kColumnProgram = 0;
  static constexpr int kColumnLatestVersion = 1;

  COrdwinView(COrdwinDoc& document, CProductTable& table, MessageBoxes& boxes,
              QWidget* parent = nullptr);

  // Initial update: once, before the frame is first shown; ends with the start-up offer.
  void OnInitialUpdate();
  // Update: refills the product list, then sets the main window's title.
  void OnUpdate();

  // The product list (ordwin_view_product_list.cpp).
  void RefillList();
  void RefreshLatestVersions();
  void UpdateInstallButton();
  void OnItemChanged(int item);
  void OnListClick(QPoint listViewportPos);

  // The update operations (ordwin_view_update_checks.cpp).
  void CheckForUpdates();
  void StartupPrompt();
  void InstallNewestVersions();
  void OpenLatestVersion(int item);
  void OpenProductPage();

  // The latest versions are known from now on (set by the first check, never cleared).
  void SetLatestKnown();
  bool LatestKnown() const { return latest_known_ != 0; }
  std::uint32_t TickedMask() const { return ticked_mask_; }
  bool CheckRunning() const { return check_running_; }

 signals:
  // The program is to end with this exit code once the current command has returned.
  void quitRequested(int exitCode);
  // A check for updates begins or ends (the frame grays its commands meanwhile).
  void checkRunningChanged(bool running);

 protected:
  QSize sizeHint() const override;  // the form template's size
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SetUpColumns();
  QWidget* Control(int id) const;

  COrdwinDoc& document_;
  CProductTable& table_;
  MessageBoxes& boxes_;

  QFont link_font_;
  CResizeLayout layout_;
  bool initialised_ = false;
  std::uint32_t ticked_mask_ = 0;
  int latest_known_ = 0;
  bool check_running_ = false;
  QTreeWidget* list_;
  QLabel* caption_;
  CLinkLabel* link_;
  QPushButton* install_button_;
};
