#include "platform/ini_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/settings_folder.h"
#include "tests/platform/child_process.h"
#include "tests/platform/config_folder.h"
#include "tests/platform/test_files.h"

namespace {

using testing_support::ChildOutcome;
using testing_support::RunInChild;

using testing_support::ScopedConfigFolder;

class IniProfile : public ::testing::Test {
 protected:
  std::string Write(const std::string& contents) {
    std::ofstream(path_, std::ios::binary) << contents;
    return path_;
  }
  ScopedConfigFolder folder_;
  std::string path_ = (folder_.Path() / "Ordwin.ini").string();
};

TEST_F(IniProfile, ReadsIntegersLikeTheProfileCall) {
  struct Case {
    const char* what;
    const char* contents;  // nullptr: no file
    int want;
  };
  const Case cases[] = {
      {"no file", nullptr, 7},
      {"no section", "[Other]\nCheckForUpdateOnStartup=0\n", 7},
      {"no key", "[Ordwin]\nUpdateSiteHost=h\n", 7},
      {"empty value", "[Ordwin]\nCheckForUpdateOnStartup=\n", 7},
      {"zero", "[Ordwin]\nCheckForUpdateOnStartup=0\n", 0},
      {"one", "[Ordwin]\nCheckForUpdateOnStartup=1\n", 1},
      {"leading digits only", "[Ordwin]\nCheckForUpdateOnStartup=  12abc\n", 12},
      {"no digits", "[Ordwin]\nCheckForUpdateOnStartup=abc\n", 0},
      {"negative", "[Ordwin]\nCheckForUpdateOnStartup=-3\n", -3},
      {"names in other letter case, blanks around",
       "[ ordwin ]\r\n  checkforupdateonstartup = 0\r\n", 0},
      {"commented out", "[Ordwin]\n;CheckForUpdateOnStartup=0\n", 7},
      {"first of two sections",
       "[Ordwin]\nCheckForUpdateOnStartup=2\n[Ordwin]\nCheckForUpdateOnStartup=3\n", 2},
      {"key of a later section", "[Ordwin]\nA=1\n[Other]\nCheckForUpdateOnStartup=0\n", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path_);
    if (c.contents) Write(c.contents);
    EXPECT_EQ(ReadProfileInt(path_, "Ordwin", "CheckForUpdateOnStartup", 7), c.want);
  }
}

TEST_F(IniProfile, ReadsStringsWithoutSurroundingBlanksAndQuotes) {
  Write("[Ordwin]\nUpdateSiteHost =  127.0.0.1:8080  \nMakerWebHost=\"www.example\"\n");
  EXPECT_EQ(ReadProfileString(path_, "Ordwin", "UpdateSiteHost", "d"), "127.0.0.1:8080");
  EXPECT_EQ(ReadProfileString(path_, "Ordwin", "MakerWebHost", "d"), "www.example");
  EXPECT_EQ(ReadProfileString(path_, "Ordwin", "Missing", "d"), "d");
}

TEST_F(IniProfile, WriteReplacesTheKeyAndKeepsEveryOtherLine) {
  Write(
      "; settings\n[Other]\nX=1\n\n[Ordwin]\nUpdateSiteHost=h:1\ncheckforupdateonstartup=1\n"
      "Extra = keep  me\n\n[Last]\nY=2");
  ASSERT_TRUE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_EQ(ReadBytes(path_),
            "; settings\n[Other]\nX=1\n\n[Ordwin]\nUpdateSiteHost=h:1\ncheckforupdateonstartup=0\n"
            "Extra = keep  me\n\n[Last]\nY=2\n");
}

TEST_F(IniProfile, WriteAddsTheKeyAtTheEndOfItsSection) {
  Write("[Ordwin]\r\nUpdateSiteHost=h:1\r\n\r\n[Last]\r\nY=2\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_EQ(ReadBytes(path_),
            "[Ordwin]\r\nUpdateSiteHost=h:1\r\nCheckForUpdateOnStartup=0\r\n\r\n[Last]\r\nY=2\r\n");
  EXPECT_EQ(ReadProfileInt(path_, "Ordwin", "CheckForUpdateOnStartup", 1), 0);
}

TEST_F(IniProfile, WriteKeepsEveryLineItsOwnEnd) {
  Write("; edited on two systems\n[Other]\r\nX=1\n[Ordwin]\nCheckForUpdateOnStartup=1\r\nZ=2\r");
  ASSERT_TRUE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_EQ(
      ReadBytes(path_),
      "; edited on two systems\n[Other]\r\nX=1\n[Ordwin]\nCheckForUpdateOnStartup=0\r\nZ=2\r\n");
}

TEST_F(IniProfile, ReadsAValueUpToItsNul) {
  using namespace std::string_literals;
  Write(
      "[Ordwin]\nUpdateSiteHost= example.com\0.example.net\nCheckForUpdateOnStartup=\0"
      "1\n"s);
  EXPECT_EQ(ReadProfileString(path_, "Ordwin", "UpdateSiteHost", "d"), "example.com");
  EXPECT_EQ(ReadProfileInt(path_, "Ordwin", "CheckForUpdateOnStartup", 7), 7) << "an empty value";
}

TEST_F(IniProfile, WrittenValuesReadBackAsGiven) {
  for (const std::string value :
       {"", "0", "  blanks around\t", "\"quoted\"", "'single'", "\"", "a \"b\" c"}) {
    SCOPED_TRACE(testing::PrintToString(value));
    ASSERT_TRUE(WriteProfileString(path_, "Ordwin", "UpdateSiteHost", value));
    EXPECT_EQ(ReadProfileString(path_, "Ordwin", "UpdateSiteHost", "d"), value);
  }
}

TEST_F(IniProfile, WriteRefusesWhatWouldNotReadBack) {
  const struct {
    std::string section;
    std::string key;
    std::string value;
  } cases[] = {
      {"Ordwin", "UpdateSiteHost", "two\nlines"},
      {"Ordwin", "UpdateSiteHost", "x\r[Other]"},
      {"Ordwin", "UpdateSiteHost", std::string("nul\0", 4)},  // read back as "nul"
      {"Ordwin", "", "v"},
      {"Ordwin", "a=b", "v"},
      {"Ordwin", " UpdateSiteHost", "v"},
      {"Ordwin", ";UpdateSiteHost", "v"},  // a comment
      {"Ordwin", "[UpdateSiteHost", "v"},  // a section
      {"Ordwin]", "UpdateSiteHost", "v"},
      {"Ordwin ", "UpdateSiteHost", "v"},
      {"Ord\nwin", "UpdateSiteHost", "v"},
  };
  const std::string before = "[Ordwin]\nUpdateSiteHost=example.com\n";
  Write(before);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.section) + " " + testing::PrintToString(c.key) + " " +
                 testing::PrintToString(c.value));
    EXPECT_FALSE(WriteProfileString(path_, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(path_), before);
  }
}

TEST_F(IniProfile, WriteCreatesSectionFileAndFolder) {
  Write("[Other]\nX=1\n");
  ASSERT_TRUE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_EQ(ReadBytes(path_), "[Other]\nX=1\n[Ordwin]\nCheckForUpdateOnStartup=0\n");

  const std::string fresh = (folder_.Path() / "new" / "deeper" / "Ordwin.ini").string();
  ASSERT_TRUE(WriteProfileString(fresh, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_EQ(ReadBytes(fresh), "[Ordwin]\nCheckForUpdateOnStartup=0\n");
}

TEST_F(IniProfile, FailedReplaceLeavesNoTemporaryFile) {
  // A folder where the file should be: the new file cannot be renamed over it.
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  EXPECT_TRUE(std::filesystem::is_directory(path_));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(IniProfile, FailedWriteLeavesTheFileAsItWas) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  Write("[Ordwin]\nCheckForUpdateOnStartup=1\n");
  ASSERT_EQ(::chmod(folder_.Path().c_str(), 0500), 0);
  EXPECT_FALSE(WriteProfileString(path_, "Ordwin", "CheckForUpdateOnStartup", "0"));
  ::chmod(folder_.Path().c_str(), 0700);
  EXPECT_EQ(ReadBytes(path_), "[Ordwin]\nCheckForUpdateOnStartup=1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file left behind";
}

// What a child reports back about one file: 0 when it read as missing (the
// defaults) and the Cancel answer's "0" was not written.
int ReadsAsMissingAndIsNeverWritten(const std::string& path) {
  if (ReadProfileInt(path, "Ordwin", "CheckForUpdateOnStartup", 1) != 1) return 1;
  if (ReadProfileString(path, "Ordwin", "UpdateSiteHost", "d") != "d") return 1;
  if (WriteProfileString(path, "Ordwin", "CheckForUpdateOnStartup", "0")) return 2;
  return 0;
}

// A FIFO or a device in the file's place blocks neither `ordwin --check` nor
// the window's start, and the Cancel answer does not replace it.
TEST_F(IniProfile, FilesThatAreNotRegularReadAsMissingAndAreNeverWritten) {
  namespace fs = std::filesystem;
  const struct {
    const char* what;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0666), 0); }},
      {"a link to a device that never ends",
       [](const std::string& p) { fs::create_symlink("/dev/zero", p); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(path_);
    c.make(path_);
    const auto type = fs::symlink_status(path_).type();
    const ChildOutcome outcome =
        RunInChild([&] { return ReadsAsMissingAndIsNeverWritten(path_); }, std::chrono::seconds(5));
    EXPECT_EQ(outcome.kind, ChildOutcome::kExited) << "0 exited, 1 hung";
    EXPECT_EQ(outcome.code, 0) << "1 a value was read, 2 the file was written";
    EXPECT_EQ(fs::symlink_status(path_).type(), type);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.Path()), fs::directory_iterator()), 1);
  }
}

// Cancel at the start-up offer must not replace a file it could not read with
// one line, losing UpdateSiteHost and MakerWebHost.
TEST_F(IniProfile, AFileOverTheSizeCapIsNeverWritten) {
  std::string big = "[Ordwin]\nUpdateSiteHost=127.0.0.1:8080\nMakerWebHost=www.example\n; ";
  big += std::string(kMaxSettingsFileSize, 'x') + "\n";
  Write(big);
  EXPECT_EQ(ReadsAsMissingAndIsNeverWritten(path_), 0);
  EXPECT_TRUE(ReadBytes(path_) == big) << "the file is unchanged";
}

TEST_F(IniProfile, AFileThisUserMayNotReadIsNeverWritten) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to another user";
  const std::string settings =
      "[Ordwin]\nUpdateSiteHost=127.0.0.1:8080\nMakerWebHost=www.example\n";
  Write(settings);
  ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
  // The folder is writable for everyone: only the file's own bits stop a write.
  ASSERT_EQ(::chmod(folder_.Path().c_str(), 0777), 0);

  const ChildOutcome outcome = RunInChild([&] { return ReadsAsMissingAndIsNeverWritten(path_); },
                                          std::chrono::seconds(5), /*as_nobody=*/true);
  if (outcome.kind == ChildOutcome::kCannotSwitchUser) GTEST_SKIP() << "cannot switch to nobody";
  EXPECT_EQ(outcome.kind, ChildOutcome::kExited);
  EXPECT_EQ(outcome.code, 0) << "1 a value was read, 2 the file was written";
  EXPECT_EQ(ReadBytes(path_), settings);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
