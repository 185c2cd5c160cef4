// The Windows registry itself: keys written by the test under
// HKEY_LOCAL_MACHINE and removed after. Keys that exist already (a real
// installation) are never touched: those cases are skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "hashdb/default_database.h"
#include "platform/registry.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"

namespace {

bool KeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(handle);
  return true;
}

// A key made for one test, with raw values of any type; removed with
// everything below it when the test ends.
class ScratchKey {
 public:
  explicit ScratchKey(std::string key) : key_(std::move(key)) {
    made_ = !KeyExists(key_) &&
            ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle_, nullptr) == ERROR_SUCCESS;
  }
  ~ScratchKey() {
    if (!made_) return;
    ::RegCloseKey(handle_);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key_.c_str());
    ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_.c_str());
  }
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;

  bool made() const { return made_; }
  void Put(const std::string& name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(::RegSetValueExA(handle_, name.c_str(), 0, type,
                               reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  // A string value as the registry keeps it: its bytes and a NUL.
  void PutString(const std::string& name, const std::string& text) {
    Put(name, REG_SZ, text + '\0');
  }

 private:
  std::string key_;
  HKEY handle_ = nullptr;
  bool made_ = false;
};

std::string ScratchName() {
  return "Software\\Velmora\\Test " + std::to_string(::GetCurrentProcessId());
}

std::optional<std::string> Read(const std::string& key, const std::string& name,
                                std::size_t capacity = 520) {
  WindowsRegistry registry;
  const auto handle = registry.OpenKey(kLocalMachine, key);
  if (!handle) return std::nullopt;
  auto value = registry.QueryValue(*handle, name, capacity);
  registry.CloseKey(*handle);
  return value;
}

TEST(WindowsRegistry, ValuesMustFitTheBufferWithAnEnd) {
  ScratchKey key(ScratchName());
  ASSERT_TRUE(key.made());
  const struct {
    const char* what;
    DWORD type;
    std::string bytes;
    std::optional<std::string> read;
  } cases[] = {
      {"empty string", REG_SZ, std::string(1, '\0'), ""},
      {"519 characters and the NUL", REG_SZ, std::string(519, 'v') + '\0', std::string(519, 'v')},
      {"520 characters and the NUL", REG_SZ, std::string(520, 'v') + '\0', std::nullopt},
      {"4000 characters", REG_SZ, std::string(4000, 'v') + '\0', std::nullopt},
      {"520 bytes without a NUL", REG_BINARY, std::string(520, 'b'), std::nullopt},
      {"a short value without a NUL", REG_BINARY, "C:\\db.hdb", "C:\\db.hdb"},
      {"text up to the first NUL", REG_SZ, std::string("C:\\a.hdb\0junk\0", 14), "C:\\a.hdb"},
      {"an expandable string, not expanded", REG_EXPAND_SZ, std::string("%TEMP%\\a.hdb\0", 13),
       "%TEMP%\\a.hdb"},
      {"a number, taken as bytes", REG_DWORD, std::string("AB\0\0", 4), "AB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    key.Put("Path", c.type, c.bytes);
    EXPECT_EQ(Read(ScratchName(), "Path"), c.read);
  }
  key.PutString("Other", "1");
  EXPECT_EQ(Read(ScratchName(), "OTHER"), "1");  // names in any case
  EXPECT_EQ(Read(ScratchName(), "Missing"), std::nullopt);
  EXPECT_EQ(Read(ScratchName() + "\\Nowhere", "Path"), std::nullopt);
}

// Talvane's start against the real keys: the Nerith database's path, then
// Pellor's folder with "\Program\VLNerithLibrary.hdb" appended as it is.
TEST(WindowsRegistry, DefaultDatabaseFromTheRealKeys) {
  if (KeyExists(kNerithDatabaseKey) || KeyExists(kPellorAppPathKey)) {
    GTEST_SKIP() << "an installation's keys are present; they are not touched";
  }
  TempDir dir;
  const std::string pellor = dir / "Pellor";
  std::filesystem::create_directories(pellor + "\\Program");
  WriteBytes(pellor + "\\Program\\VLNerithLibrary.hdb", DatabaseBytes({{0, "a"}, {1, "b"}}));

  class Boxes final : public MessageBoxes {
   public:
    BoxAnswer Show(const std::string& text, const std::string&, BoxButtons, BoxIcon) override {
      texts.push_back(text);
      return BoxAnswer::Ok;
    }
    std::vector<std::string> texts;
  };
  const struct {
    const char* what;
    std::string folder;
    std::string opened;
  } cases[] = {
      {"no trailing backslash", pellor, pellor + "\\Program\\VLNerithLibrary.hdb"},
      {"a trailing backslash, doubled", pellor + "\\", pellor + "\\\\Program\\VLNerithLibrary.hdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchKey nerith(kNerithDatabaseKey);
    ScratchKey app_path(kPellorAppPathKey);
    ASSERT_TRUE(nerith.made() && app_path.made());
    nerith.PutString("Path", dir / "gone.hdb");
    app_path.PutString("Path", c.folder);
    WindowsRegistry registry;
    Boxes boxes;
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(FindDefaultDatabase(catalogue, registry, boxes));
    EXPECT_EQ(catalogue.GetPath(), c.opened);
    EXPECT_EQ(catalogue.GetCount(), 2u);
    EXPECT_EQ(boxes.texts, std::vector<std::string>{dir / "gone.hdb was not found."});
  }
  EXPECT_FALSE(KeyExists(kNerithDatabaseKey));
}

// Ordwin's AppPath: SetValue creates the key and stores a REG_SZ with its
// NUL; the key then opens, which is what leaves it alone at the next start.
TEST(WindowsRegistry, SetValueCreatesTheKeyWithAString) {
  const std::string key = ScratchName() + "\\Ordwin";
  {
    ScratchKey parent(ScratchName());
    ASSERT_TRUE(parent.made());
    WindowsRegistry registry;
    EXPECT_FALSE(registry.OpenKey(kLocalMachine, key));
    ASSERT_TRUE(
        registry.SetValue(kLocalMachine, key, "AppPath", "C:\\Program Files\\Ordwin\\ordwin.exe"));
    EXPECT_TRUE(registry.OpenKey(kLocalMachine, key));
    char data[64] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    ASSERT_EQ(::RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "AppPath", RRF_RT_ANY | RRF_NOEXPAND,
                             &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_EQ(std::string(data, size), std::string("C:\\Program Files\\Ordwin\\ordwin.exe") + '\0');
    EXPECT_FALSE(registry.SetValue(kLocalMachine, key, "AppPath", std::string("cut\0short", 9)));
    EXPECT_EQ(Read(key, "AppPath"), "C:\\Program Files\\Ordwin\\ordwin.exe");
  }
  EXPECT_FALSE(KeyExists(ScratchName()));
}

}  // namespace
