#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry.h"
#include "tests/platform/test_files.h"

namespace {

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
  EXPECT_EQ(Read(kKey, "Path"), " /data/a=b.hdb ");   // only the line end is taken off
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
  EXPECT_EQ(ListFolder(dir_.path()), "registry.ini registry.ini.lock ");
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

  WriteBytes(path_, "[HKEY_LOCAL_MACHINE\\K]\nAppPath=/x\n");
  IniFileRegistry registry(path_);
  EXPECT_FALSE(registry.SetValue(kLocalMachine, "K", "AppPath", "two\nlines"));
  EXPECT_FALSE(registry.SetValue(kLocalMachine, "K", "a=b", "v"));
  EXPECT_FALSE(registry.SetValue(kLocalMachine, "K]", "AppPath", "v"));
  EXPECT_EQ(ReadBytes(path_), "[HKEY_LOCAL_MACHINE\\K]\nAppPath=/x\n");
}

// Two processes writing at once lose nothing: each takes the lock in turn.
TEST_F(RegistryTest, ConcurrentWritersTakeTurns) {
  constexpr int kRounds = 40;
  const pid_t child = fork();
  if (child == 0) {
    IniFileRegistry registry(path_);
    bool all = true;
    for (int i = 0; i < kRounds; ++i) all &= registry.SetValue(kLocalMachine, "K", "Child" + std::to_string(i), "c");
    _exit(all ? 0 : 1);
  }
  IniFileRegistry registry(path_);
  for (int i = 0; i < kRounds; ++i) EXPECT_TRUE(registry.SetValue(kLocalMachine, "K", "Parent" + std::to_string(i), "p"));
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_EQ(Read("K", "Child" + std::to_string(i)), "c");
    EXPECT_EQ(Read("K", "Parent" + std::to_string(i)), "p");
  }
}

}  // namespace
