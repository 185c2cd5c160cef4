#include "update_manager/check_command.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "tests/platform/child_process.h"
#include "tests/update_client/loopback.h"
#include "tools/update_client/site_server.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildOutcome;
using testing_support::LoopbackServer;
using testing_support::ProgramRun;
using testing_support::RefusingPort;
using testing_support::RunProgram;
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
  ASSERT_TRUE(
      ParseManifest("OW\t1.2\thttp://d/ordwin\nPellor Ashby\t5.0 beta\thttp://d/a b.exe\n"
                    "TINDLE\t3.1\thttps://d/tindle\nPellor\t7\thttp://d/p\n",
                    manifest, error));
  LoopbackServer site;
  InstallUpdateSiteRoutes(site.Routes(), manifest);
  site.Start();
  UseSite(site.Host());

  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(
      out_.str(),
      "OW\t1.2\thttp://d/ordwin\nKVSL\t\t\nPellor\t7\thttp://d/p\nPellor Marlo\t\t\n"
      "QEL\t\t\nWZ\t\t\nTINDLE\t3.1\thttps://d/tindle\nPellor Ashby\t5.0 beta\thttp://d/a b.exe\n"
      "Nerith\t\t\n");
  EXPECT_EQ(err_.str(), "");
}

// Exit code 3 tells scripts that the check did not reach the site; the table
// is still printed, and one line on standard error says why, naming the
// setting at fault where it is the setting.
TEST_F(CheckCommand, ASiteNotReachedExitsThreeAndSaysWhyOnOneLine) {
  RefusingPort refused;
  StallingPort stalled;
  LoopbackServer missing;
  missing.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
    response.set_content("<html>gone</html>", "text/html");
  });
  missing.Start();
  LoopbackServer bloated;
  bloated.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("X-Filler", std::string(200000, 'a'));
    response.set_content("<!-- OW version=\"9\" link=\"http://d/o\" -->", "text/html");
  });
  bloated.Start();
  struct Case {
    std::string host;
    std::string message;
  };
  const std::string port = std::to_string(refused.Port());
  const Case cases[] = {
      {refused.Host(), "update site " + refused.Host() + ": connection refused"},
      {stalled.Host(), "update site " + stalled.Host() + ": timed out"},
      {missing.Host(), "update site " + missing.Host() + ": HTTP status 404"},
      {missing.Host() + "/moved",
       "UpdateSiteHost=" + missing.Host() + "/moved is not a valid host"},
      {bloated.Host(), "update site " + bloated.Host() + ": the reply's header is too large"},
      {"127.0.0.1:99999", "UpdateSiteHost=127.0.0.1:99999 is not a valid host"},
      {"127.0.0.1:0", "UpdateSiteHost=127.0.0.1:0 is not a valid host"},
      {"127.0.0.1:", "UpdateSiteHost=127.0.0.1: is not a valid host"},
      {"user@127.0.0.1:" + port, "UpdateSiteHost=user@127.0.0.1:" + port + " is not a valid host"},
      {"127.0.0.1:" + port + "?x", "UpdateSiteHost=127.0.0.1:" + port + "?x is not a valid host"},
      {"bad host", "UpdateSiteHost=bad host is not a valid host"},
      {"x\x1b[2J", "UpdateSiteHost=x\\x1b[2J is not a valid host"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    UseSite(c.host);
    EXPECT_EQ(Run({2000ms, 500ms}), 3);
    EXPECT_EQ(out_.str(), kNothingLearned);
    EXPECT_EQ(err_.str(), "ordwin --check: " + c.message + "\n");
  }
}

TEST_F(CheckCommand, OnlyA2xxReplyExitsZero) {
  struct Case {
    int status;
    int exit_code;
    const char* version;  // what the reply's body gives Ordwin all the same
  };
  const Case cases[] = {{200, 0, "9"}, {203, 0, "9"}, {301, 3, "9"}, {403, 3, "9"}, {500, 3, "9"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    LoopbackServer site;
    site.Routes().Get("/index3.php", [&c](const httplib::Request&, httplib::Response& response) {
      response.status = c.status;
      response.set_content("<!-- OW version=\"9\" link=\"http://d/o\" -->", "text/html");
    });
    site.Start();
    UseSite(site.Host());
    EXPECT_EQ(Run(), c.exit_code);
    EXPECT_EQ(out_.str().substr(0, out_.str().find('\n')),
              std::string("OW\t") + c.version + "\thttp://d/o");
    EXPECT_EQ(err_.str(), c.exit_code == 0
                              ? ""
                              : "ordwin --check: update site " + site.Host() + ": HTTP status " +
                                    std::to_string(c.status) + "\n");
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
    response.set_content(
        "<!-- WZ version=\"9\x1b]2;owned\x07\x1b[2J\" link=\"http://w/\x1b[2K\x1b[G\x7f\" -->",
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
  ASSERT_TRUE(
      ParseManifest("OW\t1.1\thttp://d/ordwin\nNerith\t2026.12\thttp://d/n\n", manifest, error));
  LoopbackServer site;
  InstallUpdateSiteRoutes(site.Routes(), manifest);
  site.Start();
  UseSite(site.Host());

  FILE* program = ::popen(ORDWIN_PROGRAM " --check", "r");
  ASSERT_NE(program, nullptr);
  std::string output;
  char chunk[512];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, program)) > 0;)
    output.append(chunk, n);
  EXPECT_EQ(::pclose(program), 0);
  EXPECT_EQ(output,
            "OW\t1.1\thttp://d/ordwin\nKVSL\t\t\nPellor\t\t\nPellor Marlo\t\t\nQEL\t\t\nWZ\t\t\n"
            "TINDLE\t\t\nPellor Ashby\t\t\nNerith\t2026.12\thttp://d/n\n");
}

ProgramRun RunOrdwin(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                     std::chrono::milliseconds limit = 20s) {
  return RunProgram(ORDWIN_PROGRAM, arguments, folder, limit);
}

TEST_F(CheckCommand, HelpVersionAndUsageOfTheProgram) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string out_starts;
    std::string err_starts;
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: ordwin ", ""},
      {{"--version"}, 0, "ordwin 1.1\n", ""},
      {{"--bogus"}, 2, "", "ordwin: unknown arguments\nusage: ordwin "},
      {{"--check", "extra"}, 2, "", "ordwin: unknown arguments\nusage: ordwin "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const ProgramRun run = RunOrdwin(c.arguments, config_.Path());
    ASSERT_EQ(run.outcome.kind, ChildOutcome::kExited);
    EXPECT_EQ(run.outcome.code, c.exit_code);
    EXPECT_EQ(run.out.substr(0, c.out_starts.size()), c.out_starts);
    if (c.out_starts.empty()) {
      EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(run.err.substr(0, c.err_starts.size()), c.err_starts);
    if (c.err_starts.empty()) {
      EXPECT_EQ(run.err, "");
    }
  }
  // The help states the exit codes scripts rely on.
  const std::string help = RunOrdwin({"--help"}, config_.Path()).out;
  for (const char* text : {"0 the site answered with a 2xx status", "3 it could not be reached"}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
}

// A FIFO in Ordwin.ini's place must not hold the check up: the defaults apply
// and the check runs (here through a proxy that refuses, so no network is used).
TEST_F(CheckCommand, TheProgramIsNotHeldUpByAFifoForItsSettings) {
  ASSERT_EQ(::mkfifo((config_.Path() / "Ordwin.ini").c_str(), 0600), 0);
  RefusingPort proxy;
  ::setenv("http_proxy", ("http://" + proxy.Host()).c_str(), 1);
  for (const char* name : {"no_proxy", "NO_PROXY"}) ::unsetenv(name);
  const ProgramRun run = RunOrdwin({"--check"}, config_.Path(), 15s);
  ::unsetenv("http_proxy");
  ASSERT_EQ(run.outcome.kind, ChildOutcome::kExited) << "0 exited, 1 hung";
  EXPECT_EQ(run.outcome.code, 3);
  EXPECT_EQ(run.out, kNothingLearned);
  EXPECT_EQ(run.err, "ordwin --check: update site updates.velmora.com: connection refused\n");
}

}  // namespace
