#include "update_client/update_site.h"

#include "update_client/site_hosts.h"
#include "update_manager/product_table.h"

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The value that starts after the first double quote at or after from: the
// value's start (0 when there is no quote, so the next quote is looked for from
// the section's start) and the text up to the next quote (empty when there is
// none).
struct QuotedValue {
  std::size_t start = 0;
  std::string text;
};

QuotedValue ValueAfter(std::string_view section, std::size_t from) {
  QuotedValue value;
  std::size_t open = section.find('"', from);
  value.start = open == npos ? 0 : open + 1;
  std::size_t close = section.find('"', value.start);
  if (close != npos) value.text = std::string(section.substr(value.start, close - value.start));
  return value;
}

}  // namespace

std::string UpdateSiteUrl(int action, const std::string& host) {
  return "http://" + host + "/index3.php?ACTION=" + std::to_string(action);
}

std::string UpdateSiteUrl(int action) { return UpdateSiteUrl(action, UpdateSiteHost()); }

std::string_view ReplyText(std::string_view body) {
  body = body.substr(0, kMaxReplyLength);
  return body.substr(0, body.find('\0'));
}

std::string FindProductSection(std::string_view reply, std::string_view code) {
  const std::string key = "<!-- " + std::string(code);
  std::size_t p = reply.find(key);
  if (p == npos) return {};
  std::size_t s = p + key.size();
  std::size_t e = reply.find("-->", s);
  if (e == npos) return {};
  return std::string(reply.substr(s, e - s));
}

void ParseVersionSection(std::string_view section, std::string& latest_version,
                         std::string& download_link) {
  std::size_t v = section.find("version");
  if (v == npos) return;
  QuotedValue version = ValueAfter(section, v);
  latest_version = version.text;

  std::size_t l = section.find("link", version.start);
  if (l == npos) return;
  download_link = ValueAfter(section, l).text;
}

bool ApplyVersionReply(std::string_view reply, CProductTable& table) {
  reply = ReplyText(reply);
  for (CProductEntry& entry : table.Entries()) {
    // Before the first Rebuild an entry has no code, and "<!-- " alone would
    // match any comment.
    if (entry.code.empty()) continue;
    std::string section = FindProductSection(reply, entry.code);
    if (!section.empty()) ParseVersionSection(section, entry.latest_version, entry.download_link);
  }
  return true;
}
