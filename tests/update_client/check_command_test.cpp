#include "update_manager/check_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "tests/update_client/loopback.h"
#include "tools/update_client/site_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackServer;
using testing_support::RefusingPort;
using testing_support::ScopedConfigFolder;
using testing_support::StallingPort;

const char kNothingLearned[] =
    "OW\t1.1\t\nKVSL\t\t\nPellor\t\t\nPellor Marlo\t\t\nQEL\t\t\nWZ\t\t\nTINDLE\t\t\n"
    "Pellor Ashby\t\t\nNerith\t\t\n";

class CheckCommand : public ::testing::Test {
 protected:
  void UseSite(const std::string& host) {
    config_.WriteOrdwinIni("[Ordwin]\nCheckForUpdateOnStartup=0\nUpdateSiteHost=" + host + "\n");
  }
  int Run(TransferTimeouts timeouts = {}) {
    out_.str("");
    err_.str("");
    return RunUpdateCheckCommand(out_, err_, timeouts);
  }
  ScopedConfigFolder config_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CheckCommand, PrintsTheNineEntriesFromTheReferenceSite) {
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(ParseManifest("OW\t1.2\thttp://d/ordwin\nPellor Ashby\t5.0 beta\thttp://d/a b.exe\n"
                            "TINDLE\t3.1\thttps://d/tindle\nPellor\t7\thttp://d/p\n",
                            manifest, error));
  LoopbackServer site;
  InstallUpdateSiteRoutes(site.Routes(), manifest);
  site.Start();
  UseSite(site.Host());

  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(out_.str(),
            "OW\t1.2\thttp://d/ordwin\nKVSL\t\t\nPellor\t7\thttp://d/p\nPellor Marlo\t\t\n"
            "QEL\t\t\nWZ\t\t\nTINDLE\t3.1\thttps://d/tindle\nPellor Ashby\t5.0 beta\thttp://d/a b.exe\n"
            "Nerith\t\t\n");
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CheckCommand, UnreachableSiteStillListsTheTableAndSaysWhyOnOneLine) {
  RefusingPort refused;
  StallingPort stalled;
  LoopbackServer missing;
  missing.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content("<html>gone</html>", "text/html");
  });
  missing.Start();
  struct Case {
    std::string host;
    std::string reason;
  };
  const Case cases[] = {
      {refused.Host(), "connection refused"},
      {stalled.Host(), "timed out"},
      {missing.Host(), "HTTP status 404"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    UseSite(c.host);
    EXPECT_EQ(Run({2000ms, 500ms}), 0);
    EXPECT_EQ(out_.str(), kNothingLearned);
    EXPECT_EQ(err_.str(), "ordwin --check: update site " + c.host + ": " + c.reason + "\n");
  }
}

TEST_F(CheckCommand, ValuesWithLineBreaksOrTabsStayOnTheirLine) {
  LoopbackServer site;
  site.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<!-- WZ version=\"2\tbeta\" link=\"http://w/a\nb\\c\" -->", "text/html");
  });
  site.Start();
  UseSite(site.Host());
  EXPECT_EQ(Run(), 0);
  EXPECT_NE(out_.str().find("\nWZ\t2\\tbeta\thttp://w/a\\nb\\\\c\n"), std::string::npos)
      << out_.str();
}

TEST_F(CheckCommand, ControlBytesFromTheSiteNeverReachTheTerminal) {
  LoopbackServer site;
  site.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<!-- WZ version=\"9\x1b]2;owned\x07\x1b[2J\" link=\"http://w/\x1b[2K\x1b[G\x7f\" -->",
                         "text/html");
  });
  site.Start();
  UseSite(site.Host());
  EXPECT_EQ(Run(), 0);
  EXPECT_NE(out_.str().find("\nWZ\t9\\x1b]2;owned\\x07\\x1b[2J\thttp://w/\\x1b[2K\\x1b[G\\x7f\n"),
            std::string::npos)
      << out_.str();
  for (const char c : out_.str()) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE((byte >= 0x20 && byte != 0x7F) || c == '\t' || c == '\n') << int(byte);
  }
}

TEST_F(CheckCommand, TheProgramRunsTheCheckWithoutAWindow) {
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(ParseManifest("OW\t1.1\thttp://d/ordwin\nNerith\t2026.12\thttp://d/n\n", manifest,
                            error));
  LoopbackServer site;
  InstallUpdateSiteRoutes(site.Routes(), manifest);
  site.Start();
  UseSite(site.Host());

  FILE* program = ::popen(ORDWIN_PROGRAM " --check", "r");
  ASSERT_NE(program, nullptr);
  std::string output;
  char chunk[512];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, program)) > 0;) output.append(chunk, n);
  EXPECT_EQ(::pclose(program), 0);
  EXPECT_EQ(output,
            "OW\t1.1\thttp://d/ordwin\nKVSL\t\t\nPellor\t\t\nPellor Marlo\t\t\nQEL\t\t\nWZ\t\t\n"
            "TINDLE\t\t\nPellor Ashby\t\t\nNerith\t2026.12\thttp://d/n\n");
}

}  // namespace
