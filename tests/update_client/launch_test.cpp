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
                               "f=$(mktemp '" << records_.string() << "/launch.XXXXXX') || exit 1\n"
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
      "http://downloads.example/Setup 5.0.exe",
      "https://x.example/a\"b\"c 'd' $(touch pwned) `id` ;|&>out",
      "HTTP://x.example/upper-case-scheme\twith tab\nand newline",
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

TEST_F(Launches, OnlyWebAddressesAreStarted) {
  for (const std::string& link :
       {std::string(""), std::string("file:///etc/passwd"), std::string("ftp://x/y"),
        std::string("/usr/bin/xterm"), std::string(" http://leading-blank"),
        std::string("javascript:alert(1)"), std::string("--help"), std::string("http:/x"),
        std::string("httpx://x")}) {
    EXPECT_FALSE(OpenDownloadLink(link)) << link;
    EXPECT_FALSE(OpenPage(link)) << link;
  }
  // A web address after them is the only thing started.
  ASSERT_TRUE(OpenPage("http://www.example/products.htm"));
  ASSERT_TRUE(WaitForRecords(1));
  ::usleep(200 * 1000);
  auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0][1], "http://www.example/products.htm");
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
