#include "update_manager/check_command.h"

#include <ostream>
#include <string>

#include "update_client/site_hosts.h"
#include "update_client/update_site.h"
#include "update_manager/product_table.h"

namespace {

std::string OneLine(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace

int RunUpdateCheckCommand(std::ostream& out, std::ostream& err, const TransferTimeouts& timeouts) {
  CProductTable table;
  table.Rebuild();

  const std::string host = UpdateSiteHost();
  TransferOutcome outcome;
  {
    CUpdateSession session(nullptr, timeouts);
    const std::string reply = FetchUpdateSite(session, UpdateSiteUrl(kLatestVersionsAction, host));
    ApplyVersionReply(reply, table, nullptr);
    outcome = session.LastOutcome();
    session.Close();
  }

  const std::string reason = DescribeOutcome(outcome);
  if (!reason.empty()) err << "ordwin --check: update site " << host << ": " << reason << "\n";

  for (const CProductEntry& entry : table.Entries()) {
    out << OneLine(entry.code) << '\t' << OneLine(entry.latest_version) << '\t'
        << OneLine(entry.download_link) << '\n';
  }
  out.flush();
  if (!out) {
    err << "ordwin --check: the list could not be written\n";
    return 1;
  }
  return 0;
}
