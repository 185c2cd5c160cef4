#include <windows.h>

#include <cstdint>
#include <cstring>
#include <algorithm>
#include <vector>

#include "platform/registry.h"

namespace {

// Read and write together, as the programs have always asked.
constexpr REGSAM kKeyAccess = KEY_READ | KEY_WRITE;  // 0x2001F

std::optional<HKEY> HiveOf(const std::string& hive) {
  if (hive == kLocalMachine) return HKEY_LOCAL_MACHINE;
  return std::nullopt;
}

HKEY HandleOf(RegistryKey key) { return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key)); }

}  // namespace

std::optional<RegistryKey> WindowsRegistry::OpenKey(const std::string& hive,
                                                    const std::string& key) {
  const std::optional<HKEY> root = HiveOf(hive);
  if (!root) return std::nullopt;
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(*root, key.c_str(), 0, kKeyAccess, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  return static_cast<RegistryKey>(reinterpret_cast<std::uintptr_t>(handle));
}

std::optional<std::string> WindowsRegistry::QueryValue(RegistryKey key, const std::string& name,
                                                       std::size_t capacity) {
  if (capacity == 0 || capacity > MAXDWORD) return std::nullopt;
  std::vector<char> buffer(capacity, '\0');
  DWORD size = static_cast<DWORD>(capacity);
  if (::RegQueryValueExA(HandleOf(key), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;  // missing, or too large for the buffer
  }
  // The text ends at the first NUL. A value that fills the buffer without one
  // has no end within it and counts as missing; a shorter one without a NUL
  // (a string stored without its terminator) ends with its data.
  const std::size_t length = std::min<std::size_t>(size, capacity);
  const auto* nul = static_cast<const char*>(std::memchr(buffer.data(), '\0', length));
  if (!nul && length == capacity) return std::nullopt;
  return std::string(buffer.data(), nul ? static_cast<std::size_t>(nul - buffer.data()) : length);
}

void WindowsRegistry::CloseKey(RegistryKey key) { ::RegCloseKey(HandleOf(key)); }

bool WindowsRegistry::SetValue(const std::string& hive, const std::string& key,
                               const std::string& name, const std::string& value) {
  const std::optional<HKEY> root = HiveOf(hive);
  // A REG_SZ ends at its NUL: a value with one inside would be stored cut.
  if (!root || value.find('\0') != std::string::npos || value.size() >= MAXDWORD) return false;
  HKEY handle = nullptr;
  if (::RegCreateKeyExA(*root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool written = ::RegSetValueExA(handle, name.c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(value.c_str()),
                                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  ::RegCloseKey(handle);
  return written;
}
