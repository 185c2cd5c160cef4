// The check before a link from the network is handed to the desktop, on
// arbitrary bytes. Whatever it accepts is at most kMaxLinkLength bytes, holds
// no blank, control byte or DEL, starts with "http://" or "https://" (in any
// letter case) and a host, and libcurl's URL parser, as the reference, reads
// it as an absolute http or https URL with that host, as written.
#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "update_client/open_links.h"

namespace {

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "launch_link_fuzzer: accepted a link that %s\n", what);
  std::abort();
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool HasBlankOrControl(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// The scheme and host libcurl reads, each empty when it reads none.
void CurlParts(const std::string& link, unsigned int flags, std::string& scheme,
               std::string& host) {
  scheme.clear();
  host.clear();
  CURLU* url = curl_url();
  Require(url != nullptr, "could not be parsed for want of memory");
  if (curl_url_set(url, CURLUPART_URL, link.c_str(), flags) == CURLUE_OK) {
    char* part = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) scheme = part;
    curl_free(part);
    part = nullptr;
    if (curl_url_get(url, CURLUPART_HOST, &part, 0) == CURLUE_OK) host = part;
    curl_free(part);
  }
  curl_url_cleanup(url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string link(reinterpret_cast<const char*>(data), size);
  if (!IsLaunchableLink(link)) return 0;

  Require(!link.empty() && link.size() <= kMaxLinkLength, "is empty or longer than the cap");
  Require(!HasBlankOrControl(link), "holds a blank, a control byte or DEL");
  const std::string start = Lower(link.substr(0, 8));
  const std::size_t authority = start.rfind("http://", 0) == 0    ? 7
                                : start.rfind("https://", 0) == 0 ? 8
                                                                  : 0;
  Require(authority != 0, "does not start with http:// or https://");
  Require(link.size() > authority && link[authority] != '/', "has no host after the scheme");

  // libcurl with no default scheme and no guessing: the link is an absolute URL.
  std::string scheme;
  std::string host;
  CurlParts(link, 0, scheme, host);
  Require(scheme == "http" || scheme == "https", "libcurl does not read as an http or https URL");
  Require(Lower(link.substr(0, scheme.size() + 3)) == scheme + "://",
          "libcurl reads with another scheme");
  Require(!host.empty() && !HasBlankOrControl(host),
          "libcurl reads without a host, or with a blank in it");
  // The host the user reads is the one a browser goes to: the authority (up to
  // the first '/', '?' or '#') is the host, after user info and '@', before a
  // port; the host is not spelled with escapes.
  const std::string lower = Lower(link);
  const std::size_t end = std::min(lower.find_first_of("/?#", authority), lower.size());
  bool written = false;
  for (std::size_t at = authority; at < end && !written; ++at) {
    if (at != authority && lower[at - 1] != '@') continue;
    written = lower.compare(at, host.size(), Lower(host)) == 0 &&
              (at + host.size() == end || lower[at + host.size()] == ':');
  }
  Require(written, "libcurl reads with a host other than the one written");
  return 0;
}
