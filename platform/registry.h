#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// The few registry calls the programs make: open a key, read a value, close the
// key, and set a value. Values are byte strings.
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";

using RegistryKey = std::uint64_t;

class Registry {
 public:
  virtual ~Registry() = default;

  // Opens hive\key for reading; nothing when the key is missing or may not be read.
  virtual std::optional<RegistryKey> OpenKey(const std::string& hive, const std::string& key) = 0;
  // The bytes of a value of an open key, when it exists and, with the NUL the
  // registry stores after it, fits into capacity bytes. A value that does not
  // fit cannot be read, like one that is missing.
  virtual std::optional<std::string> QueryValue(RegistryKey key, const std::string& name,
                                                std::size_t capacity) = 0;
  virtual void CloseKey(RegistryKey key) = 0;
  // Sets a value, creating its key as needed. False when nothing was written;
  // callers that do not report registry failures ignore it.
  virtual bool SetValue(const std::string& hive, const std::string& key, const std::string& name,
                        const std::string& value) = 0;
};

#ifdef _WIN32
// The Windows registry itself. Keys are opened for reading and writing
// (KEY_READ | KEY_WRITE); one that may not be opened so counts as missing.
// Values are read into a buffer of the capacity given: a value that does not
// fit, or fills it without a NUL, counts as missing; the value's type is not
// looked at. SetValue stores a REG_SZ (its bytes and a NUL).
class WindowsRegistry final : public Registry {
 public:
  std::optional<RegistryKey> OpenKey(const std::string& hive, const std::string& key) override;
  std::optional<std::string> QueryValue(RegistryKey key, const std::string& name,
                                        std::size_t capacity) override;
  void CloseKey(RegistryKey key) override;
  bool SetValue(const std::string& hive, const std::string& key, const std::string& name,
                const std::string& value) override;
};

// The registry the programs read and write on this platform.
using SystemRegistry = WindowsRegistry;
#else
// The registry stand-in on Linux: an ini file whose sections are full key paths
// ("[HKEY_LOCAL_MACHINE\Software\...]") and whose lines are "Name=value", the
// value being the bytes after the first '=' up to the line end. Key and value
// names compare without regard to ASCII case. An open key sees the file as it
// was when the key was opened. A store that cannot be read (or is a FIFO, a
// device, a folder) holds no keys.
class IniFileRegistry final : public Registry {
 public:
  IniFileRegistry();  // RegistryStandInPath()
  explicit IniFileRegistry(std::string path);

  std::optional<RegistryKey> OpenKey(const std::string& hive, const std::string& key) override;
  std::optional<std::string> QueryValue(RegistryKey key, const std::string& name,
                                        std::size_t capacity) override;
  void CloseKey(RegistryKey key) override;
  // With the store locked, the new store is written completely and renamed
  // over the old one, so readers see either the old or the new store. A store
  // that exists but cannot be read, or is not a regular file, is never written.
  bool SetValue(const std::string& hive, const std::string& key, const std::string& name,
                const std::string& value) override;

 private:
  std::string path_;
  RegistryKey next_key_ = 1;
  std::map<RegistryKey, std::map<std::string, std::string> > open_keys_;  // lower-case names
};

using SystemRegistry = IniFileRegistry;
#endif
