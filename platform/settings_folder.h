#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where the programs' outside settings live. $VELMORA_CONFIG_DIR, when set and
// not empty, holds both (tests and the demo use it). Otherwise the registry
// stand-in (Linux only; Windows has its registry) is per machine and
// Ordwin.ini is per user.
// Linux:   $VELMORA_CONFIG_DIR or /etc/velmora
// Windows: $VELMORA_CONFIG_DIR or %ProgramData%\Velmora
std::string MachineSettingsFolder();
// Linux:   $VELMORA_CONFIG_DIR or $XDG_CONFIG_HOME/velmora or ~/.config/velmora
// Windows: $VELMORA_CONFIG_DIR or %APPDATA%\Velmora (the roaming profile, where
//          a user's settings follow them between workstations)
std::string UserSettingsFolder();

std::string RegistryStandInPath();  // MachineSettingsFolder() + "/registry.ini"
std::string OrdwinProfilePath();    // UserSettingsFolder() + separator + "Ordwin.ini"

// A settings store is a few lines; a file larger than this is not one.
inline constexpr std::size_t kMaxSettingsFileSize = 16u << 20;

// What reading a settings file found.
enum class SettingsFileState {
  kRead,        // a regular file, read whole
  kMissing,     // no such file: writing may create it
  kUnreadable,  // there is something, but it could not be read (no permission,
                // over the size cap, a read error, not a regular file): it is
                // read as missing and never written over
};

struct SettingsFile {
  SettingsFileState state = SettingsFileState::kMissing;
  std::string contents;  // empty unless read
};

// Reads a settings file (symbolic links followed) without ever blocking: it is
// opened without waiting and read only when it is a regular file, so a FIFO or
// a device in its place reads as nothing instead of hanging the program.
SettingsFile ReadSettingsFile(const std::string& path);

#ifndef _WIN32
// Changes a settings file: with the file itself locked against other writers,
// edit gets its current contents ("" when missing) and returns the new ones,
// or nothing to leave the file alone; the new contents are written to a
// replacement that is renamed over the file, so readers see the old or the
// new store, never a mix. The folder is created when missing. Nothing is
// written when the file exists but cannot be read (a write would replace what
// could not be read) or is not a regular file. True when the new contents are
// in place.
bool UpdateSettingsFile(const std::string& path,
                        const std::function<std::optional<std::string>(const std::string&)>& edit);
#endif
