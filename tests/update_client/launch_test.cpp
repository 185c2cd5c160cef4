#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/update_client/loopback.h"
#include "update_client/open_links.h"

namespace {

using testing_support::ReadFile;
using testing_support::ScopedConfigFolder;
using testing_support::WaitFor;
namespace fs = std::filesystem;

// Stands in for xdg-open: each launch leaves one record file holding its
// argument count and arguments, NUL-separated.
class Launches : public ::testing::Test {
 protected:
  void SetUp() override {
    records_ = folder_.Path() / "records";
    fs::create_directory(records_);
    const fs::path recorder = folder_.Path() / "record-open";
    std::ofstream(recorder) << "#!/bin/sh\n"
                               "f=$(mktemp '"
                            << records_.string()
                            << "/launch.XXXXXX') || exit 1\n"
                               "printf '%s\\0' \"$#\" \"$@\" > \"$f.part\"\n"
                               "mv \"$f.part\" \"$f.rec\"\n";
    fs::permissions(recorder, fs::perms::owner_all);
    ::setenv("VELMORA_OPEN_COMMAND", recorder.c_str(), 1);
  }
  void TearDown() override { ::unsetenv("VELMORA_OPEN_COMMAND"); }

  std::vector<std::vector<std::string>> Records() const {
    std::vector<std::vector<std::string>> records;
    for (const auto& file : fs::directory_iterator(records_)) {
      if (file.path().extension() != ".rec") continue;
      std::string text = ReadFile(file.path());
      std::vector<std::string> fields;
      std::size_t start = 0;
      for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        fields.push_back(text.substr(start, end - start));
      }
      records.push_back(fields);
    }
    return records;
  }

  bool WaitForRecords(std::size_t count) const {
    return WaitFor([&] { return Records().size() >= count; });
  }

  ScopedConfigFolder folder_;
  fs::path records_;
};

// Children of this process that have ended but were not reaped.
int ZombieChildren() {
  int zombies = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string stat = ReadFile(entry.path() / "stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 > stat.size()) continue;
    char state = stat[close + 2];
    long parent = std::atol(stat.c_str() + close + 4);
    if (parent == ::getpid() && state == 'Z') ++zombies;
  }
  return zombies;
}

TEST_F(Launches, LinkIsTheOneArgumentByteForByte) {
  const std::string links[] = {
      "http://downloads.example/Setup%205.0.exe",
      "https://x.example/a'b'c;$(touch${IFS}pwned)|&id",
      "HTTP://X.EXAMPLE/upper-case-scheme",
  };
  for (const std::string& link : links) EXPECT_TRUE(OpenDownloadLink(link)) << link;
  ASSERT_TRUE(WaitForRecords(3));

  std::vector<std::string> seen;
  for (const auto& record : Records()) {
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0], "1") << "exactly one argument";
    seen.push_back(record[1]);
  }
  std::vector<std::string> want(std::begin(links), std::end(links));
  std::sort(seen.begin(), seen.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(seen, want);
  EXPECT_FALSE(fs::exists(folder_.Path() / "pwned")) << "no shell saw the link";
}

// Only an absolute http(s) URL with a host, no blank or control byte and at
// most 2,048 bytes reaches the desktop; every link is tried both as a
// download link and as a page, and exactly the accepted ones are launched.
TEST_F(Launches, OnlyWellFormedWebAddressesAreStarted) {
  const std::string prefix = "https://downloads.example/";
  const std::string longest = prefix + std::string(kMaxLinkLength - prefix.size(), 'a');
  struct Case {
    std::string link;
    bool launched;
  };
  const Case cases[] = {
      {"http://downloads.example/Setup-5.0.exe", true},
      {"https://x.example/a?b=c#d", true},
      {"HTTP://EXAMPLE.COM/", true},
      {"http://127.0.0.1:8080/x", true},
      {"http://[::1]/x", true},
      {"http://user@example.net:8080/x", true},
      {longest, true},
      {longest + "a", false},
      {"", false},
      {"http://", false},
      {"https://", false},
      {"http:///x", false},
      {"http:/x", false},
      {"http:x", false},
      {"http://x:99999/", false},
      {"http://a b/", false},
      {"http://x/a b", false},
      {" http://x/", false},
      {"http://x/ ", false},
      {"http://x/a\tb", false},
      {"http://x/a\nb", false},
      {"http://x/a\rb", false},
      {std::string("http://x/a\0b", 12), false},
      {"http://x/a\"b", false},
      {"http://x/\x1b]2;owned\x07", false},
      {"http://x/\x7f", false},
      {"http://x/<script>", false},
      {"http://x/`id`", false},
      {"http://a.example\\@b.example/", false},
      // The host libcurl reads is not the host written: a browser goes elsewhere.
      {"http://ex%61mple.com/", false},
      {"http://sp.example%7F/", false},  // a DEL in the host
      {"http://a%25b.example/", false},
      {"http://[fe80::1%25eth0]/", false},
      {"javascript:alert(1)", false},
      {"file:///etc/passwd", false},
      {"ftp://x/y", false},
      {"data:text/html,x", false},
      {"/usr/bin/xterm", false},
      {"--help", false},
      {"httpx://x", false},
  };
  std::vector<std::string> want;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.link.substr(0, 60)));
    EXPECT_EQ(IsLaunchableLink(c.link), c.launched);
    EXPECT_EQ(OpenDownloadLink(c.link), c.launched);
    EXPECT_EQ(OpenPage(c.link), c.launched);
    if (c.launched) want.insert(want.end(), 2, c.link);
  }
  ASSERT_TRUE(WaitForRecords(want.size()));
  ::usleep(200 * 1000);
  std::vector<std::string> seen;
  for (const auto& record : Records()) seen.push_back(record.at(1));
  std::sort(seen.begin(), seen.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(seen, want);
}

TEST_F(Launches, EveryStartIsANewProcessAndNoneIsLeftAsAZombie) {
  ASSERT_TRUE(OpenDownloadLink("http://x.example/same"));
  ASSERT_TRUE(OpenDownloadLink("http://x.example/same"));
  ASSERT_TRUE(WaitForRecords(2));
  EXPECT_EQ(Records().size(), 2u);
  EXPECT_TRUE(WaitFor([] { return ZombieChildren() == 0; }));
}

TEST_F(Launches, AnOpenerThatCannotStartIsNotAnError) {
  ::setenv("VELMORA_OPEN_COMMAND", (folder_.Path() / "no-such-program").c_str(), 1);
  EXPECT_FALSE(OpenDownloadLink("http://x.example/"));
}

}  // namespace
