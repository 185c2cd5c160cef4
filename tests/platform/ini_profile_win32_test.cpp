// Ordwin.ini through the Windows profile calls: the default when anything is
// missing, the one "0" the program writes, every other line kept, and a file
// that cannot be read never written.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ini_profile.h"
#include "platform/launch.h"
#include "platform/settings_folder.h"
#include "tests/platform/test_files.h"

namespace {

constexpr const char* kSection = "Ordwin";
constexpr const char* kKey = "CheckForUpdateOnStartup";

class IniProfileWin32 : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_ / "Ordwin.ini";
};

TEST_F(IniProfileWin32, ReadsIntegersWithTheDefaultForWhatIsMissing) {
  const struct {
    const char* what;
    const char* contents;  // nullptr: no file
    int want;
  } cases[] = {
      {"no file", nullptr, 1},
      {"no section", "[Other]\r\nCheckForUpdateOnStartup=0\r\n", 1},
      {"no key", "[Ordwin]\r\nUpdateSiteHost=h\r\n", 1},
      {"zero", "[Ordwin]\r\nCheckForUpdateOnStartup=0\r\n", 0},
      {"leading digits only", "[Ordwin]\r\nCheckForUpdateOnStartup=12abc\r\n", 12},
      {"no digits", "[Ordwin]\r\nCheckForUpdateOnStartup=abc\r\n", 0},
      {"names in other letter case", "[ordwin]\nCHECKFORUPDATEONSTARTUP=0\n", 0},
      {"commented out", "[Ordwin]\n;CheckForUpdateOnStartup=0\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path_);
    if (c.contents) WriteBytes(path_, c.contents);
    EXPECT_EQ(ReadProfileInt(path_, kSection, kKey, 1), c.want);
  }
}

TEST_F(IniProfileWin32, WritingZeroKeepsEveryOtherLine) {
  WriteBytes(path_,
             "; settings\r\n[Other]\r\nX=1\r\n\r\n[Ordwin]\r\nUpdateSiteHost=h:1\r\n"
             "CheckForUpdateOnStartup=1\r\nExtra=keep me\r\n\r\n[Last]\r\nY=2\r\n");
  ASSERT_TRUE(WriteProfileString(path_, kSection, kKey, "0"));
  EXPECT_EQ(ReadProfileInt(path_, kSection, kKey, 1), 0);
  const std::string after = ReadBytes(path_);
  for (const char* line :
       {"; settings", "[Other]", "X=1", "UpdateSiteHost=h:1", "Extra=keep me", "[Last]", "Y=2"}) {
    EXPECT_NE(after.find(line), std::string::npos) << line << " in\n" << after;
  }
  EXPECT_EQ(after.find("CheckForUpdateOnStartup=1"), std::string::npos) << after;
  EXPECT_EQ(ReadProfileString(path_, kSection, "UpdateSiteHost", "d"), "h:1");
}

TEST_F(IniProfileWin32, WritingCreatesSectionFileAndFolder) {
  const std::string fresh = dir_ / "new\\deeper\\Ordwin.ini";
  ASSERT_TRUE(WriteProfileString(fresh, kSection, kKey, "0"));
  EXPECT_EQ(ReadProfileInt(fresh, kSection, kKey, 1), 0);
  WriteBytes(path_, "[Other]\r\nX=1\r\n");
  ASSERT_TRUE(WriteProfileString(path_, kSection, kKey, "0"));
  EXPECT_EQ(ReadProfileInt(path_, kSection, kKey, 1), 0);
  EXPECT_EQ(ReadProfileString(path_, "Other", "X", "d"), "1");
}

// What cannot be read reads as missing and is never written over: a write
// would replace what could not be read (UpdateSiteHost, MakerWebHost).
TEST_F(IniProfileWin32, WhatCannotBeReadIsNeverWritten) {
  std::string big = "[Ordwin]\r\nUpdateSiteHost=127.0.0.1:8080\r\n; ";
  big += std::string(kMaxSettingsFileSize, 'x') + "\r\n";
  WriteBytes(path_, big);
  EXPECT_EQ(ReadProfileString(path_, kSection, "UpdateSiteHost", "d"), "d");
  EXPECT_FALSE(WriteProfileString(path_, kSection, kKey, "0"));
  EXPECT_TRUE(ReadBytes(path_) == big) << "the file is unchanged";

  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);  // a folder in the file's place
  EXPECT_EQ(ReadProfileInt(path_, kSection, kKey, 1), 1);
  EXPECT_FALSE(WriteProfileString(path_, kSection, kKey, "0"));
  EXPECT_TRUE(std::filesystem::is_directory(path_));
}

TEST(SettingsFolder, OrdwinIniIsPerUserUnlessConfigured) {
  char saved[MAX_PATH * 4] = {};
  const bool had = ::GetEnvironmentVariableA("VELMORA_CONFIG_DIR", saved, sizeof saved) > 0;
  ::SetEnvironmentVariableA("VELMORA_CONFIG_DIR", nullptr);
  char appdata[MAX_PATH * 4] = {};
  ASSERT_GT(::GetEnvironmentVariableA("APPDATA", appdata, sizeof appdata), 0u);
  EXPECT_EQ(OrdwinProfilePath(), std::string(appdata) + "\\Velmora\\Ordwin.ini");
  ::SetEnvironmentVariableA("VELMORA_CONFIG_DIR", "C:\\conf");
  EXPECT_EQ(OrdwinProfilePath(), "C:\\conf\\Ordwin.ini");
  ::SetEnvironmentVariableA("VELMORA_CONFIG_DIR", had ? saved : nullptr);
}

// A link reaches the program in $VELMORA_OPEN_COMMAND as one argument, byte
// for byte, whatever quotes, blanks and backslashes it holds.
TEST(OpenWithDesktop, TheAddressIsOneArgument) {
  TempDir dir;
  const std::string record = dir / "launched.txt";
  ::SetEnvironmentVariableA("VELMORA_OPEN_COMMAND", PLATFORM_PROBE);
  ::SetEnvironmentVariableA("VELMORA_PROBE_RECORD", record.c_str());
  for (const std::string& address : {std::string("https://example.invalid/a?b=1&c=2"),
                                     std::string("http://h/x y\" & calc.exe \\\"z\\\\"),
                                     std::string("http://h/ends-in-backslash\\")}) {
    SCOPED_TRACE(address);
    std::filesystem::remove(record);
    ASSERT_TRUE(OpenWithDesktop(address));
    for (int i = 0; i < 400 && ReadBytes(record) != address; ++i) ::Sleep(25);
    EXPECT_EQ(ReadBytes(record), address);
  }
  ::SetEnvironmentVariableA("VELMORA_OPEN_COMMAND", nullptr);
  ::SetEnvironmentVariableA("VELMORA_PROBE_RECORD", nullptr);
}

}  // namespace
