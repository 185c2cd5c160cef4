#include "update_client/site_hosts.h"

#include "platform/ini_profile.h"
#include "platform/settings_folder.h"

namespace {

std::string HostSetting(const char* key, const char* fallback) {
  std::string host = ReadProfileString(OrdwinProfilePath(), "Ordwin", key, fallback);
  // An empty value would make a URL without a host; take the default instead.
  return host.empty() ? std::string(fallback) : host;
}

}  // namespace

std::string UpdateSiteHost() { return HostSetting(kUpdateSiteHostKey, kDefaultUpdateSiteHost); }

std::string MakerWebHost() { return HostSetting(kMakerWebHostKey, kDefaultMakerWebHost); }

std::string ProductPageAddress() { return "http://" + MakerWebHost() + "/products.htm"; }
