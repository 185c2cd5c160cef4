#include "update_manager/check_command.h"

#include <ostream>
#include <string>

#include "platform/terminal_text.h"
#include "update_client/open_links.h"
#include "update_client/site_hosts.h"
#include "update_client/update_site.h"
#include "update_manager/product_table.h"

int RunUpdateCheckCommand(std::ostream& out, std::ostream& err, const TransferTimeouts& timeouts) {
  CProductTable table;
  table.Rebuild();

  // A host setting that names no host is the administrator's to fix: say
  // which setting, not what the HTTP client makes of it.
  const std::string host = UpdateSiteHost();
  bool reached = false;
  if (!IsValidHostSetting(host)) {
    err << "ordwin --check: " << kUpdateSiteHostKey << "=" << EscapeLineText(host)
        << " is not a valid host\n";
  } else {
    TransferOutcome outcome;
    {
      CUpdateSession session(nullptr, timeouts);
      const std::string reply =
          FetchUpdateSite(session, UpdateSiteUrl(kLatestVersionsAction, host));
      ApplyVersionReply(reply, table);
      outcome = session.LastOutcome();
      session.Close();
    }
    reached = ReachedSite(outcome);
    if (!reached) {
      err << "ordwin --check: update site " << host << ": "
          << EscapeLineText(DescribeOutcome(outcome)) << "\n";
    }
  }

  for (const CProductEntry& entry : table.Entries()) {
    out << EscapeLineText(entry.code) << '\t' << EscapeLineText(entry.latest_version) << '\t'
        << EscapeLineText(entry.download_link) << '\n';
  }
  out.flush();
  if (!out) {
    err << "ordwin --check: the list could not be written\n";
    return kCheckOutputFailed;
  }
  return reached ? kCheckReachedSite : kCheckSiteNotReached;
}
