#include "update_client/open_links.h"

#include <curl/curl.h>

#include <cstring>
#include <string_view>

#include "platform/launch.h"

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The scheme and host libcurl reads in link; empty when it is no URL to it.
struct SchemeAndHost {
  std::string scheme;
  std::string host;
};

SchemeAndHost ParseUrl(const std::string& link) {
  SchemeAndHost parts;
  CURLU* url = curl_url();
  if (!url) return parts;
  if (curl_url_set(url, CURLUPART_URL, link.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
      parts = {scheme, host};
    }
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(url);
  return parts;
}

}  // namespace

bool IsLaunchableLink(const std::string& link) {
  if (link.empty() || link.size() > kMaxLinkLength) return false;
  for (const char c : link) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || std::strchr("\"<>`\\", c) != nullptr) return false;
  }
  const SchemeAndHost parts = ParseUrl(link);
  if ((parts.scheme != "http" && parts.scheme != "https") || parts.host.empty()) return false;
  // libcurl also takes "http:/host" and "http:///host"; a link must say
  // "scheme://" and then the host, as browsers and users read it.
  const std::string_view text(link);
  const std::size_t authority = parts.scheme.size() + 3;
  if (!SameNoCase(text.substr(0, authority), parts.scheme + "://") || text.size() <= authority ||
      text[authority] == '/') {
    return false;
  }
  // libcurl decodes percent escapes in the host ("ex%61mple.com" is example.com,
  // "%7F" a DEL): the host written after the scheme and any user info must be
  // the host it read, so the address shown is the one a browser goes to.
  std::string_view written = text.substr(authority);
  written = written.substr(0, written.find_first_of("/?#"));
  if (const std::size_t at = written.rfind('@'); at != std::string_view::npos) written.remove_prefix(at + 1);
  return SameNoCase(written.substr(0, parts.host.size()), parts.host) &&
         (written.size() == parts.host.size() || written[parts.host.size()] == ':');
}

bool OpenDownloadLink(const std::string& link) {
  return IsLaunchableLink(link) && OpenWithDesktop(link);
}

bool OpenPage(const std::string& address) {
  return IsLaunchableLink(address) && OpenWithDesktop(address);
}
