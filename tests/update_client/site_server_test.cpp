#include "tools/update_client/site_server.h"

#include <gtest/gtest.h>

#include "tests/platform/child_process.h"
#include "tests/update_client/loopback.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/product_table.h"

namespace {

using testing_support::ChildOutcome;
using testing_support::LoopbackServer;
using testing_support::ProgramRun;
using testing_support::RunProgram;
using testing_support::ScopedConfigFolder;

TEST(ReferenceSiteManifest, ReadsTabSeparatedLinesWithBlanksInCodes) {
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(ParseManifest("# products\r\n\r\nOW\t1.2\thttp://o\r\n  # indented comment\n"
                            "Pellor Ashby\t5.0 beta\thttp://a/b c.exe\nWZ\t\t\n",
                            manifest, error))
      << error;
  ASSERT_EQ(manifest.products.size(), 3u);
  EXPECT_EQ(manifest.products[1].code, "Pellor Ashby");
  EXPECT_EQ(manifest.products[1].version, "5.0 beta");
  EXPECT_EQ(manifest.products[1].link, "http://a/b c.exe");
  EXPECT_EQ(manifest.products[2].version, "");
}

TEST(ReferenceSiteManifest, RefusesLinesTheReplyCannotCarry) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"OW 1.2 http://o\n", "line 1: expected CODE, VERSION and LINK separated by tabs"},
      {"OW\t1.2\n", "line 1: expected CODE, VERSION and LINK separated by tabs"},
      {"OW\t1.2\thttp://o\textra\n", "line 1: expected CODE, VERSION and LINK separated by tabs"},
      {"\t1.2\thttp://o\n", "line 1: the code is empty"},
      {"OW\t1\thttp://o\n# c\nOW\t2\thttp://p\n", "line 3: the code \"OW\" is listed twice"},
      {"OW\t1\"2\thttp://o\n", "line 1: a version or link cannot hold a double quote"},
      {"OW\t1\thttp://o/\"x\"\n", "line 1: a version or link cannot hold a double quote"},
      {"OW\t1 -->\thttp://o\n", "line 1: \"-->\" cannot be sent in a reply"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Manifest manifest;
    manifest.products.push_back({"kept", "", ""});
    std::string error;
    EXPECT_FALSE(ParseManifest(c.text, manifest, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(manifest.products.size(), 1u) << "a failed read changes nothing";
  }
}

class ReferenceSite : public ::testing::Test {
 protected:
  void Start(const std::string& manifest_text) {
    std::string error;
    ASSERT_TRUE(ParseManifest(manifest_text, manifest_, error)) << error;
    InstallUpdateSiteRoutes(server_.Routes(), manifest_);
    server_.Start();
  }
  std::string Fetch(const std::string& object, TransferOutcome* outcome = nullptr) {
    CUpdateSession session;
    std::string reply = FetchUpdateSite(session, server_.Url(object));
    if (outcome) *outcome = session.LastOutcome();
    return reply;
  }
  ScopedConfigFolder config_;
  Manifest manifest_;
  LoopbackServer server_;
};

TEST_F(ReferenceSite, EveryProductGetsItsOwnSectionWhateverTheManifestOrder) {
  // Longer codes listed before the code they begin with.
  Start("Pellor Ashby\t5.0\thttp://d/ashby\nPellor Marlo\t2.1\thttp://d/marlo\n"
        "Pellor\t7.2\thttp://d/pellor\nOW\t1.2\thttp://d/ordwin\n");
  CProductTable table;
  table.Rebuild();
  ApplyVersionReply(Fetch("/index3.php?ACTION=163"), table, nullptr);
  EXPECT_EQ(table[0].latest_version, "1.2");
  EXPECT_EQ(table[0].download_link, "http://d/ordwin");
  EXPECT_EQ(table[2].latest_version, "7.2");
  EXPECT_EQ(table[2].download_link, "http://d/pellor");
  EXPECT_EQ(table[3].latest_version, "2.1");
  EXPECT_EQ(table[7].latest_version, "5.0");
  EXPECT_EQ(table[1].latest_version, "") << "a product the site does not list";
}

TEST_F(ReferenceSite, OtherRequestsGet404WithAnHtmlPage) {
  Start("OW\t1.2\thttp://d/ordwin\n");
  for (const char* object : {"/index3.php?ACTION=164", "/index3.php", "/index3.php?action=163",
                             "/products", "/"}) {
    SCOPED_TRACE(object);
    TransferOutcome outcome;
    std::string reply = Fetch(object, &outcome);
    EXPECT_EQ(outcome.http_status, 404);
    EXPECT_EQ(reply, NotFoundPage());
    EXPECT_EQ(reply.find("<!--"), std::string::npos);
  }
}

TEST_F(ReferenceSite, ProductPageListsTheProducts) {
  Start("Pellor Ashby\t5.0\thttp://d/a?x=1&y=<2>\n");
  TransferOutcome outcome;
  std::string page = Fetch("/products.htm", &outcome);
  EXPECT_EQ(outcome.http_status, 200);
  EXPECT_NE(page.find("<td>Pellor Ashby</td><td>5.0</td>"), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"http://d/a?x=1&amp;y=&lt;2&gt;\""), std::string::npos) << page;
}

TEST_F(ReferenceSite, TheDemoManifestFitsInWhatClientsRead) {
  Manifest demo;
  std::string error;
  ASSERT_TRUE(LoadManifest(VELMORA_DEMO_MANIFEST, demo, error)) << error;
  EXPECT_LE(RenderReplyPage(demo).size(), kClientReadLimit);
}

// The program itself, as an administrator starts it.
class ReferenceSiteProgram : public ::testing::Test {
 protected:
  ProgramRun Run(const std::vector<std::string>& arguments) {
    return RunProgram(UPDATE_SITE_PROGRAM, arguments, config_.Path());
  }
  ScopedConfigFolder config_;
};

TEST_F(ReferenceSiteProgram, HelpVersionAndUsage) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string out;
    std::string err_starts;
  };
  const std::string usage =
      "usage: update_site --manifest FILE [--port N] [--bind ADDRESS]\n"
      "       update_site --help | --version\n";
  const Case cases[] = {
      {{"--help"}, 0, usage, ""},
      {{"--version"}, 0, std::string("update_site ") + VELMORA_VERSION + "\n", ""},
      {{"--bogus", "x"}, 2, "", "update_site: unknown option --bogus\n" + usage},
      {{"--port", "70000"}, 2, "", "update_site: not a port: 70000\n"},
      {{}, 2, "", "update_site: --manifest is required\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "no arguments" : c.arguments.front());
    const ProgramRun run = Run(c.arguments);
    ASSERT_EQ(run.outcome.kind, ChildOutcome::kExited);
    EXPECT_EQ(run.outcome.code, c.exit_code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err.substr(0, c.err_starts.size()), c.err_starts);
  }
}

}  // namespace
