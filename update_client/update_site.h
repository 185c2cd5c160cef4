#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class CProductTable;

// The one request Ordwin sends: latest version and download link of every product.
inline constexpr int kLatestVersionsAction = 163;

// Added to every update-site request, each line only where the request does not
// carry that header yet.
inline constexpr const char* kUpdateSiteHeaders =
    "Accept: text/*\r\nUser-Agent: Velmora_Update_Program\r\n";

// At most this many bytes of a reply body are read; the text ends at a NUL.
inline constexpr std::size_t kReplyBufferSize = 4096;
inline constexpr std::size_t kMaxReplyLength = kReplyBufferSize - 1;

// "http://" + host + "/index3.php?ACTION=" + action.
std::string UpdateSiteUrl(int action, const std::string& host);
// The same with the configured update-site host (Ordwin.ini).
std::string UpdateSiteUrl(int action);

// The text of a reply body: its first kMaxReplyLength bytes, up to the first NUL.
std::string_view ReplyText(std::string_view body);

// The section of the product with code: the bytes after the first "<!-- "
// directly followed by the code, up to the first "-->" after them; empty when
// either is missing. The search is by prefix and case-sensitive.
std::string FindProductSection(std::string_view reply, std::string_view code);

// Takes the "version" and "link" values (the text between the first double
// quote after the item word and the next one) out of a section. A field whose
// item word is missing stays as it was; the link is looked for only after the
// version value's opening quote.
void ParseVersionSection(std::string_view section, std::string& latest_version,
                         std::string& download_link);

// Applies a reply to every entry of the table, in table order, each search from
// the start of the reply (entries without a code are left alone). Returns
// whether the latest versions count as known from now on, which the caller's
// latest-known flag takes: every reply counts, an empty one too.
bool ApplyVersionReply(std::string_view reply, CProductTable& table);
