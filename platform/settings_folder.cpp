#include "platform/settings_folder.h"

#include <cstdlib>

namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::string MachineSettingsFolder() {
  std::string dir = FromEnvironment("VELMORA_CONFIG_DIR");
  return dir.empty() ? std::string("/etc/velmora") : dir;
}

std::string UserSettingsFolder() {
  std::string dir = FromEnvironment("VELMORA_CONFIG_DIR");
  if (!dir.empty()) return dir;
  std::string xdg = FromEnvironment("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg + "/velmora";
  std::string home = FromEnvironment("HOME");
  return (home.empty() ? std::string(".") : home) + "/.config/velmora";
}

std::string RegistryStandInPath() { return MachineSettingsFolder() + "/registry.ini"; }

std::string OrdwinProfilePath() { return UserSettingsFolder() + "/Ordwin.ini"; }
