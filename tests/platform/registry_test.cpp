#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry.h"
#include "platform/settings_folder.h"
#include "tests/platform/child_process.h"
#include "tests/platform/test_files.h"

namespace {

using testing_support::ChildOutcome;
using testing_support::RunInChild;

constexpr const char* kKey = "Software\\Velmora\\Velmora Nerith Database";

class RegistryTest : public ::testing::Test {
 protected:
  std::optional<std::string> Read(const std::string& key, const std::string& name,
                                  std::size_t capacity = 520) {
    IniFileRegistry registry(path_);
    auto handle = registry.OpenKey(kLocalMachine, key);
    if (!handle) return std::nullopt;
    auto value = registry.QueryValue(*handle, name, capacity);
    registry.CloseKey(*handle);
    return value;
  }

  TempDir dir_;
  std::string path_ = dir_ / "registry.ini";
};

TEST_F(RegistryTest, ReadsRawValuesWithNamesInAnyCase) {
  WriteBytes(path_,
             "; written by the installer\r\n"
             "[HKEY_LOCAL_MACHINE\\software\\VELMORA\\Velmora Nerith Database]\r\n"
             "path= /data/a=b.hdb \r\n"
             "Other=1\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"
             "Path=/wrong\n");
  EXPECT_EQ(Read(kKey, "Path"), " /data/a=b.hdb ");  // only the line end is taken off
  EXPECT_EQ(Read(kKey, "OTHER"), "1");
  EXPECT_EQ(Read(kKey, "Missing"), std::nullopt);
  EXPECT_EQ(Read("Software\\Nowhere", "Path"), std::nullopt);
  EXPECT_EQ(Read("Software\\Elsewhere", "Path"), "/wrong");
}

TEST_F(RegistryTest, MissingStoreMeansMissingKeys) {
  IniFileRegistry registry(path_);
  EXPECT_FALSE(registry.OpenKey(kLocalMachine, kKey));
}

TEST_F(RegistryTest, ValueMustFitTheBufferWithItsNul) {
  const struct {
    std::size_t length;
    bool readable;
  } cases[] = {{0, true}, {519, true}, {520, false}, {4000, false}};
  for (const auto& c : cases) {
    const std::string value(c.length, 'v');
    WriteBytes(path_, std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\nPath=" + value + "\n");
    EXPECT_EQ(Read(kKey, "Path").has_value(), c.readable) << c.length;
  }
}

TEST_F(RegistryTest, AnOpenKeyKeepsWhatItSaw) {
  WriteBytes(path_, std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\nPath=/first\n");
  IniFileRegistry registry(path_);
  auto handle = registry.OpenKey(kLocalMachine, kKey);
  ASSERT_TRUE(handle);
  WriteBytes(path_, "");
  EXPECT_EQ(registry.QueryValue(*handle, "Path", 520), "/first");
  registry.CloseKey(*handle);
  EXPECT_EQ(registry.QueryValue(*handle, "Path", 520), std::nullopt);
}

TEST_F(RegistryTest, SetValueKeepsEveryOtherLine) {
  const std::string before =
      "; comment\n"
      "[HKEY_LOCAL_MACHINE\\software\\Velmora\\Ordwin]\r\n"
      "APPPATH=/old\r\n"
      "Keep=this\r\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Other]\n"
      "AppPath=/untouched\n";
  WriteBytes(path_, before);
  IniFileRegistry registry(path_);
  ASSERT_TRUE(registry.SetValue(kLocalMachine, "Software\\Velmora\\Ordwin", "AppPath", "/opt/new"));
  EXPECT_EQ(ReadBytes(path_),
            "; comment\n"
            "[HKEY_LOCAL_MACHINE\\software\\Velmora\\Ordwin]\r\n"
            "APPPATH=/opt/new\r\n"
            "Keep=this\r\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Other]\n"
            "AppPath=/untouched\n");

  ASSERT_TRUE(registry.SetValue(kLocalMachine, "Software\\Velmora\\Ordwin", "Version", "1.1"));
  ASSERT_TRUE(registry.SetValue(kLocalMachine, "Software\\New", "Path", "/p"));
  EXPECT_EQ(ReadBytes(path_),
            "; comment\n"
            "[HKEY_LOCAL_MACHINE\\software\\Velmora\\Ordwin]\r\n"
            "APPPATH=/opt/new\r\n"
            "Keep=this\r\n"
            "Version=1.1\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Other]\n"
            "AppPath=/untouched\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
            "Path=/p\n");
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini ") << "no lock file is left behind";
}

TEST_F(RegistryTest, SetValueCreatesTheStore) {
  const std::string nested = dir_ / "config/registry.ini";
  IniFileRegistry registry(nested);
  ASSERT_TRUE(registry.SetValue(kLocalMachine, "Software\\Velmora\\Ordwin", "AppPath", "/a b"));
  EXPECT_EQ(ReadBytes(nested), "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Ordwin]\nAppPath=/a b\n");
}

TEST_F(RegistryTest, WhatCannotBeWrittenIsNotWritten) {
  WriteBytes(dir_ / "file", "not a folder");
  IniFileRegistry unwritable(dir_ / "file/registry.ini");
  EXPECT_FALSE(unwritable.SetValue(kLocalMachine, "K", "AppPath", "/x"));

  // Keys, names and values the store's lines cannot give back as written.
  const struct {
    const char* key;
    const char* name;
    const char* value;
  } cases[] = {
      {"K", "AppPath", "two\nlines"},
      {"K", "AppPath", "carriage\rreturn"},
      {"K", "a=b", "v"},
      {"K", "", "v"},
      {"K]", "AppPath", "v"},
      {"K[", "AppPath", "v"},
      {"K ", "AppPath", "v"},  // the section would read as "K"
      {"K\t", "AppPath", "v"},
      {"K", " AppPath", "v"},  // the name would read as "AppPath"
      {"K", "AppPath\t", "v"},
      {"K", ";AppPath", "v"},  // a comment line
      {"K", "#AppPath", "v"},
      {"K", "[AppPath", "]"},  // "[AppPath=]" is a section line
  };
  WriteBytes(path_, "[HKEY_LOCAL_MACHINE\\K]\nAppPath=/x\n");
  IniFileRegistry registry(path_);
  for (const auto& c : cases) {
    EXPECT_FALSE(registry.SetValue(kLocalMachine, c.key, c.name, c.value))
        << testing::PrintToString(std::string(c.key)) << " "
        << testing::PrintToString(std::string(c.name));
  }
  EXPECT_EQ(ReadBytes(path_), "[HKEY_LOCAL_MACHINE\\K]\nAppPath=/x\n");
}

// Two processes writing at once lose nothing: each takes the lock in turn.
TEST_F(RegistryTest, ConcurrentWritersTakeTurns) {
  constexpr int kRounds = 40;
  const pid_t child = fork();
  if (child == 0) {
    IniFileRegistry registry(path_);
    bool all = true;
    for (int i = 0; i < kRounds; ++i)
      all &= registry.SetValue(kLocalMachine, "K", "Child" + std::to_string(i), "c");
    _exit(all ? 0 : 1);
  }
  IniFileRegistry registry(path_);
  for (int i = 0; i < kRounds; ++i)
    EXPECT_TRUE(registry.SetValue(kLocalMachine, "K", "Parent" + std::to_string(i), "p"));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_EQ(Read("K", "Child" + std::to_string(i)), "c");
    EXPECT_EQ(Read("K", "Parent" + std::to_string(i)), "p");
  }
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini ");
}

// What a child reports back about one store: 0 when nothing could be read and
// nothing was written.
int ReadsNothingAndWritesNothing(const std::string& path) {
  IniFileRegistry registry(path);
  if (registry.OpenKey(kLocalMachine, kKey)) return 1;
  if (registry.SetValue(kLocalMachine, "software\\Velmora\\Ordwin", "AppPath", "/opt/ordwin"))
    return 2;
  return 0;
}

// A FIFO or a device where the store should be never hangs a reader (Talvane's
// start, hdbtool default) or a writer (Ordwin's AppPath), and is left as it is.
TEST_F(RegistryTest, StoresThatAreNotRegularFilesAreMissingAndNeverWritten) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    std::function<void(const TempDir&, const std::string&)> make;
  } cases[] = {
      {"a FIFO",
       [](const TempDir&, const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
      {"a link to a FIFO",
       [](const TempDir& dir, const std::string& p) {
         ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0666), 0);
         fs::create_symlink(dir / "fifo", p);
       }},
      {"a link to a device that never ends",
       [](const TempDir&, const std::string& p) { fs::create_symlink("/dev/zero", p); }},
      {"a folder", [](const TempDir&, const std::string& p) { fs::create_directory(p); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir / "registry.ini";
    c.make(dir, path);
    const auto type = fs::symlink_status(path).type();
    const std::string before = ListFolder(dir.path());

    const ChildOutcome outcome =
        RunInChild([&] { return ReadsNothingAndWritesNothing(path); }, std::chrono::seconds(5));
    EXPECT_EQ(outcome.kind, ChildOutcome::kExited) << "0 exited, 1 hung";
    EXPECT_EQ(outcome.code, 0) << "1 a key was read, 2 a value was written";
    EXPECT_EQ(fs::symlink_status(path).type(), type);
    EXPECT_EQ(ListFolder(dir.path()), before);
  }
}

// A store that is there but cannot be read is never replaced by one holding
// only the value written: the rest of it (Talvane's default database) would
// be lost.
TEST_F(RegistryTest, AStoreOverTheSizeCapIsNeverReplaced) {
  std::string big = std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\nPath=/data/a.hdb\n";
  big += "; padding\n" + std::string(kMaxSettingsFileSize, 'x') + "\n";
  WriteBytes(path_, big);
  EXPECT_EQ(ReadsNothingAndWritesNothing(path_), 0);
  EXPECT_TRUE(ReadBytes(path_) == big) << "the store is unchanged";
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini ");
}

TEST_F(RegistryTest, AStoreThisUserMayNotReadIsNeverReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  const std::string store = std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\nPath=/data/a.hdb\n";
  WriteBytes(path_, store);
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  // The folder is writable for everyone: only the store's own bits stop a write.
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0777), 0);

  const ChildOutcome outcome = RunInChild([&] { return ReadsNothingAndWritesNothing(path_); },
                                          std::chrono::seconds(5), /*as_nobody=*/true);
  if (outcome.kind == ChildOutcome::kCannotSwitchUser) GTEST_SKIP() << "cannot switch to nobody";
  EXPECT_EQ(outcome.kind, ChildOutcome::kExited);
  EXPECT_EQ(outcome.code, 0) << "1 a key was read, 2 a value was written";
  EXPECT_EQ(ReadBytes(path_), store);
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini ");
}

// Links are fine: a store reached through a link is read and written through
// it, and the link stays.
TEST_F(RegistryTest, AStoreBehindALinkIsReadAndWrittenThroughIt) {
  TempDir elsewhere;
  const std::string real = elsewhere / "registry.ini";
  WriteBytes(real, std::string("[HKEY_LOCAL_MACHINE\\") + kKey + "]\nPath=/data/a.hdb\n");
  std::filesystem::create_symlink(real, path_);
  EXPECT_EQ(Read(kKey, "Path"), "/data/a.hdb");
  IniFileRegistry registry(path_);
  ASSERT_TRUE(registry.SetValue(kLocalMachine, "software\\Velmora\\Ordwin", "AppPath", "/opt/o"));
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(ReadBytes(real),
            std::string("[HKEY_LOCAL_MACHINE\\") + kKey +
                "]\nPath=/data/a.hdb\n\n[HKEY_LOCAL_MACHINE\\software\\Velmora\\Ordwin]\n"
                "AppPath=/opt/o\n");
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini ");
  EXPECT_EQ(ListFolder(elsewhere.path()), "registry.ini ");
}

}  // namespace
