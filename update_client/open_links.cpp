#include "update_client/open_links.h"

#include <curl/curl.h>

#include <cstring>
#include <string_view>

#include "platform/ascii.h"
#include "platform/launch.h"

namespace {

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
  if (!EqualsIgnoringAsciiCase(text.substr(0, authority), parts.scheme + "://") ||
      text.size() <= authority || text[authority] == '/') {
    return false;
  }
  // libcurl decodes percent escapes in the host ("ex%61mple.com" is example.com,
  // "%7F" a DEL): the host written after the scheme and any user info must be
  // the host it read, so the address shown is the one a browser goes to.
  std::string_view written = text.substr(authority);
  written = written.substr(0, written.find_first_of("/?#"));
  if (const std::size_t at = written.rfind('@'); at != std::string_view::npos)
    written.remove_prefix(at + 1);
  return EqualsIgnoringAsciiCase(written.substr(0, parts.host.size()), parts.host) &&
         (written.size() == parts.host.size() || written[parts.host.size()] == ':');
}

bool IsValidHostSetting(const std::string& host) {
  if (host.empty() || host.find_first_of("/?#@") != std::string::npos) return false;
  // The port, when one is given after the host (an IPv6 address is in brackets).
  const std::size_t colon = host.rfind(':');
  const std::size_t bracket = host.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string port = host.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    const long number = std::stol(port);
    if (number < 1 || number > 65535) return false;
  }
  // Whatever else a URL's host may not hold, libcurl's parser says.
  return IsLaunchableLink("http://" + host + "/");
}

bool OpenDownloadLink(const std::string& link) {
  return IsLaunchableLink(link) && OpenWithDesktop(link);
}

bool OpenPage(const std::string& address) {
  return IsLaunchableLink(address) && OpenWithDesktop(address);
}
