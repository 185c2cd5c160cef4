#include "update_client/site_hosts.h"

#include "platform/ini_profile.h"
#include "platform/settings_folder.h"
#include "update_client/open_links.h"

namespace {

std::string HostSetting(const char* key, const char* fallback) {
  std::string host = ReadProfileString(OrdwinProfilePath(), "Ordwin", key, fallback);
  // An empty value would make a URL without a host; take the default instead.
  return host.empty() ? std::string(fallback) : host;
}

}  // namespace

std::string UpdateSiteHost() { return HostSetting(kUpdateSiteHostKey, kDefaultUpdateSiteHost); }

std::string MakerWebHost() { return HostSetting(kMakerWebHostKey, kDefaultMakerWebHost); }

bool IsValidHostSetting(const std::string& host) {
  if (host.empty() || host.find_first_of("/?#@") != std::string::npos) return false;
  // The port, when one is given after the host (an IPv6 address is in brackets).
  const std::size_t colon = host.rfind(':');
  const std::size_t bracket = host.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    const std::string port = host.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    const long number = std::stol(port);
    if (number < 1 || number > 65535) return false;
  }
  // Whatever else a URL's host may not hold, libcurl's parser says.
  return IsLaunchableLink("http://" + host + "/");
}

std::string ProductPageAddress() { return "http://" + MakerWebHost() + "/products.htm"; }
