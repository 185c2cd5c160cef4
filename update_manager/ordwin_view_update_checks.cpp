// Ordwin's update operations: check for updates with the self-update question,
// the start-up offer, and the install actions that hand download links to the
// desktop.
#include <QTreeWidget>
#include <memory>

#include "platform/ini_profile.h"
#include "platform/message_boxes.h"
#include "platform/settings_folder.h"
#include "update_client/open_links.h"
#include "update_client/progress.h"
#include "update_client/site_hosts.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/check_progress.h"
#include "update_manager/ordwin_strings.h"
#include "update_manager/ordwin_view.h"
#include "update_manager/product_table.h"

namespace {
constexpr const char* kProfileSection = "Ordwin";
constexpr const char* kCheckOnStartupKey = "CheckForUpdateOnStartup";
}  // namespace

void COrdwinView::CheckForUpdates() {
  if (check_running_) return;  // the progress dialog holds every other command off
  check_running_ = true;
  emit checkRunningChanged(true);
  {
    auto progress = std::make_unique<CProgress>(window());
    CheckProgress steps(*progress);
    CUpdateSession session(&steps);
    const std::string reply = FetchUpdateSite(session, UpdateSiteUrl(kLatestVersionsAction));
    if (ApplyVersionReply(reply, table_)) SetLatestKnown();
    RefreshLatestVersions();
    session.CloseConnection();
    session.Close();

    if (table_[0].latest_version != kOrdwinOwnVersion &&
        boxes_.Show(OrdwinString(IDS_NEW_ORDWIN_AVAILABLE), "", BoxButtons::YesNo,
                    BoxIcon::Information) == BoxAnswer::Yes) {
      OpenDownloadLink(table_[0].download_link);
      emit quitRequested(0);
    }
    progress.reset();  // the dialog goes first, then the session
  }
  check_running_ = false;
  emit checkRunningChanged(false);
}

void COrdwinView::StartupPrompt() {
  const std::string profile = OrdwinProfilePath();
  if (ReadProfileInt(profile, kProfileSection, kCheckOnStartupKey, 1) == 0) return;
  switch (boxes_.Show(OrdwinString(IDS_STARTUP_OFFER), "", BoxButtons::YesNoCancel,
                      BoxIcon::Question)) {
    case BoxAnswer::Yes: CheckForUpdates(); break;
    case BoxAnswer::Cancel:
      // Not asked again at later starts; a file that cannot be written brings it back.
      WriteProfileString(profile, kProfileSection, kCheckOnStartupKey, "0");
      break;
    default: break;
  }
}

void COrdwinView::InstallNewestVersions() {
  if (check_running_) return;
  if (boxes_.Show(OrdwinString(IDS_DOWNLOAD_NEWEST), "", BoxButtons::YesNo, BoxIcon::Question) !=
      BoxAnswer::Yes) {
    return;
  }
  for (int item = 0; item < list_->topLevelItemCount(); ++item) {
    if (list_->topLevelItem(item)->checkState(kColumnProgram) != Qt::Checked) continue;
    if (const CProductEntry* entry = table_.FindByListIndex(item)) {
      OpenDownloadLink(entry->download_link);
    }
  }
}

void COrdwinView::OpenLatestVersion(int item) {
  if (check_running_ || latest_known_ == 0) return;
  const CProductEntry* entry = table_.FindByListIndex(item);
  if (entry == nullptr) return;
  if (boxes_.Show(OrdwinString(IDS_DOWNLOAD_NEWEST), "", BoxButtons::YesNo, BoxIcon::Question) ==
      BoxAnswer::Yes) {
    OpenDownloadLink(entry->download_link);
  }
}

void COrdwinView::OpenProductPage() {
  if (check_running_) return;
  OpenPage(ProductPageAddress());
}
