#include <windows.h>

#include <vector>

#include "platform/ini_profile.h"
#include "platform/settings_folder.h"

namespace {

// The profile calls read a file they cannot fully read (over the size cap, a
// device in its place) as best they can; ours reads it as missing, as on
// Linux, and never writes over it.
bool ReadableOrMissing(const std::string& path, bool& exists) {
  const SettingsFile file = ReadSettingsFile(path);
  exists = file.state == SettingsFileState::kRead;
  return file.state != SettingsFileState::kUnreadable;
}

// Creates the folder that holds path, and its parents, when missing.
void MakeFolderFor(const std::string& path) {
  std::size_t separator = path.find_first_of("\\/", 1);
  while (separator != std::string::npos) {
    const std::string folder = path.substr(0, separator);
    // "C:" and "\\server\share" are no folders to make; failures show at the write.
    if (!(folder.size() == 2 && folder[1] == ':')) ::CreateDirectoryA(folder.c_str(), nullptr);
    separator = path.find_first_of("\\/", separator + 1);
  }
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  bool exists = false;
  if (!ReadableOrMissing(path, exists) || !exists) return default_value;
  // The call cuts what does not fit; a settings value is a host or a number.
  std::vector<char> buffer(4096);
  const DWORD length =
      ::GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(), buffer.data(),
                                 static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), length);
}

int ReadProfileInt(const std::string& path, const std::string& section, const std::string& key,
                   int default_value) {
  bool exists = false;
  if (!ReadableOrMissing(path, exists) || !exists) return default_value;
  return static_cast<int>(
      ::GetPrivateProfileIntA(section.c_str(), key.c_str(), default_value, path.c_str()));
}

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  bool exists = false;
  if (!ReadableOrMissing(path, exists)) return false;
  // What one line cannot hold is not written.
  if (value.find_first_of("\r\n") != std::string::npos ||
      key.find_first_of("=\r\n") != std::string::npos || key.empty() ||
      section.find_first_of("[]\r\n") != std::string::npos) {
    return false;
  }
  MakeFolderFor(path);
  // The system rewrites the file in place, keeping every other line.
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         FALSE;
}
