#include <windows.h>

#include "platform/settings_folder.h"

namespace {

std::string FromEnvironment(const char* name) {
  char value[MAX_PATH * 4];
  const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// A folder from the environment with Velmora below it; the current folder
// when even the system's own variable is missing.
std::string VelmoraFolderIn(const char* variable) {
  const std::string configured = FromEnvironment("VELMORA_CONFIG_DIR");
  if (!configured.empty()) return configured;
  const std::string base = FromEnvironment(variable);
  return (base.empty() ? std::string(".") : base) + "\\Velmora";
}

}  // namespace

std::string MachineSettingsFolder() { return VelmoraFolderIn("ProgramData"); }

std::string UserSettingsFolder() { return VelmoraFolderIn("APPDATA"); }

std::string RegistryStandInPath() { return MachineSettingsFolder() + "\\registry.ini"; }

std::string OrdwinProfilePath() { return UserSettingsFolder() + "\\Ordwin.ini"; }

SettingsFile ReadSettingsFile(const std::string& path) {
  // Shared with everyone, so a writer at work never makes it look missing.
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    return {missing ? SettingsFileState::kMissing : SettingsFileState::kUnreadable, {}};
  }
  SettingsFile file{SettingsFileState::kUnreadable, {}};
  // A device or pipe in the file's place is read as nothing.
  if (::GetFileType(handle) == FILE_TYPE_DISK) {
    char buffer[8192];
    for (;;) {
      DWORD got = 0;
      if (!::ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) break;
      if (got == 0) {
        file.state = SettingsFileState::kRead;
        break;
      }
      file.contents.append(buffer, got);
      if (file.contents.size() > kMaxSettingsFileSize) break;
    }
  }
  if (file.state != SettingsFileState::kRead) file.contents.clear();
  ::CloseHandle(handle);
  return file;
}
