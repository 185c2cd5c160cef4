#include "tools/update_client/site_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

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
  ASSERT_TRUE(
      ParseManifest("# products\r\n\r\nOW\t1.2\thttp://o\r\n  # indented comment\n"
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
    std::string text;
    std::string error;
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
      {"OW\t1\thttp://o/<!--x\n", "line 1: \"<!--\" cannot be sent in a reply"},
      {"A<!--\t1\thttp://o\n", "line 1: \"<!--\" cannot be sent in a reply"},
      {"OW\thotlink-2\thttp://o\n",
       "line 1: the version \"hotlink-2\" holds the word \"link\": Ordwin would read the link from there"},
      {" OW\t1\thttp://o\n",
       "line 1: the code \" OW\" begins or ends with a blank, which no product's code does"},
      {"OW \t1\thttp://o\n",
       "line 1: the code \"OW \" begins or ends with a blank, which no product's code does"},
      {"O\"W\t1\thttp://o\n", "line 1: a code cannot hold a double quote"},
      {"OW\t1\x1b[2J\thttp://o\n", "line 1: a code, version or link cannot hold control bytes"},
      {std::string("OW\t1\thttp://o/\0x\n", 17),
       "line 1: a code, version or link cannot hold control bytes"},
      {"OW\t1\r2\thttp://o\n", "line 1: a code, version or link cannot hold control bytes"},
      {" \x1b]2;x\x07\t1\thttp://o\n", "line 1: a code, version or link cannot hold control bytes"},
      // A longer code that runs on into the start of a shorter code's comment.
      {"OW\t1\thttp://o\nOW vers\t2\thttp://p\n",
       "line 2: Ordwin would find the code \"OW vers\" in the comment of \"OW\" (line 1)"},
      {"OW version=\t2\thttp://p\nOW\t1\thttp://o\n",
       "line 1: Ordwin would find the code \"OW version=\" in the comment of \"OW\" (line 2)"},
      // Comments that end beyond the 4095 bytes Ordwin reads.
      {"KVSL\t2\thttp://k/" + std::string(200, 'b') + "\nOW\t1\thttp://o/" +
           std::string(3800, 'a') + "\n",
       "line 1: the comment of \"KVSL\" ends at byte 4145 of the reply, beyond the 4095 bytes Ordwin reads"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text.substr(0, 80)));
    Manifest manifest;
    manifest.products.push_back({"kept", "", ""});
    std::string error;
    EXPECT_FALSE(ParseManifest(c.text, manifest, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(manifest.products.size(), 1u) << "a failed read changes nothing";
  }
}

// What Ordwin reads from the site's reply page: a table whose entries carry
// the manifest's codes, the page applied to it. Empty when every product
// reads back exactly its own version and link; otherwise what differs.
std::string ReadBackDifference(const Manifest& manifest) {
  CProductTable table;
  const std::size_t count = manifest.products.size();
  if (count > CProductTable::kEntryCount) return "more products than the table holds";
  for (std::size_t i = 0; i < count; ++i) {
    table[static_cast<int>(i)].code = manifest.products[i].code;
    table[static_cast<int>(i)].latest_version = "(before)";
    table[static_cast<int>(i)].download_link = "(before)";
  }
  ApplyVersionReply(RenderReplyPage(manifest), table);
  std::string difference;
  for (std::size_t i = 0; i < count; ++i) {
    const ManifestEntry& listed = manifest.products[i];
    const CProductEntry& read = table[static_cast<int>(i)];
    if (read.latest_version != listed.version || read.download_link != listed.link) {
      difference += "\"" + listed.code + "\" read as \"" + read.latest_version + "\", \"" +
                    read.download_link + "\" instead of \"" + listed.version + "\", \"" +
                    listed.link + "\"\n";
    }
  }
  return difference;
}

std::string ManifestLine(const std::string& code, const std::string& version,
                         const std::string& link) {
  return code + "\t" + version + "\t" + link + "\n";
}

// Every manifest the site accepts reads back exactly, whatever it holds:
// manifests built from the pieces that trouble the reply rules (prefixes of
// each other, item words, quotes, comment marks, control bytes, long values).
TEST(ReferenceSiteManifest, EveryAcceptedManifestReadsBackExactly) {
  // Pieces the site can serve, and pieces it must refuse or order with care.
  const std::vector<std::string> pieces = {"P",    "Pellor",
                                           " ",    "Ashby",
                                           "OW",   "O",
                                           "v",    "ver",
                                           "lin",  "k",
                                           "=",    "-",
                                           "--",   ">",
                                           "<",    "!",
                                           "<!",   "1.2",
                                           "beta", "http://d/",
                                           "/",    std::string(1200, 'x')};
  const std::vector<std::string> troubles = {
      "version", "link",       "\"",     "-->",  "<!--",
      "<!-- ",   "<!-- OW",    "<!-- P", "\x1b", std::string(1, '\0'),
      "\r",      " version=\""};
  // Codes from few pieces, so that codes often begin with each other or run
  // on into the words after a shorter code.
  const std::vector<std::string> code_pieces = {"O", "OW",     " ", "v", "ver",
                                                "P", "Pellor", "A", "="};
  std::mt19937 random(20261211);
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  auto text = [&](int most) {
    std::string out;
    const int count = std::uniform_int_distribution<int>(0, most)(random);
    for (int i = 0; i < count; ++i) {
      out += std::uniform_int_distribution<int>(0, 15)(random) == 0 ? pick(troubles) : pick(pieces);
    }
    return out;
  };
  auto code = [&] {
    std::string out;
    const int count = std::uniform_int_distribution<int>(1, 4)(random);
    for (int i = 0; i < count; ++i) out += pick(code_pieces);
    return out;
  };
  constexpr int kManifests = 4000;
  int accepted = 0;
  for (int round = 0; round < kManifests; ++round) {
    std::string manifest_text;
    const int products = std::uniform_int_distribution<int>(1, CProductTable::kEntryCount)(random);
    for (int i = 0; i < products; ++i) {
      manifest_text +=
          ManifestLine(std::uniform_int_distribution<int>(0, 3)(random) == 0 ? text(3) : code(),
                       text(3), text(3));
    }
    Manifest manifest;
    std::string error;
    if (!ParseManifest(manifest_text, manifest, error)) continue;
    ++accepted;
    EXPECT_EQ(ReadBackDifference(manifest), "") << testing::PrintToString(manifest_text);
  }
  // The property says something only if many of them were served.
  RecordProperty("accepted", accepted);
  EXPECT_GT(accepted, kManifests / 10) << accepted;
}

// The site refuses nothing ordinary: Ordwin's own codes in any order and
// number, versions with blanks, download links; all are served and read back.
TEST(ReferenceSiteManifest, OrdinaryManifestsAreAcceptedAndReadBack) {
  CProductTable ordwin;
  ordwin.Rebuild();
  std::vector<std::string> codes;
  for (const CProductEntry& entry : ordwin.Entries()) codes.push_back(entry.code);
  const std::string version_bytes = "0123456789. abcRC-";
  const std::string link_bytes = "abcdefghijklmnopqrstuvwxyzABCXYZ0123456789-._~/%?=&+";
  std::mt19937 random(11122026);
  auto word = [&](const std::string& bytes, int most) {
    std::string out;
    const int count = std::uniform_int_distribution<int>(0, most)(random);
    for (int i = 0; i < count; ++i)
      out += bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random)];
    return out;
  };
  for (int round = 0; round < 2000; ++round) {
    std::shuffle(codes.begin(), codes.end(), random);
    const int products = std::uniform_int_distribution<int>(1, CProductTable::kEntryCount)(random);
    std::string manifest_text = "# products\n";
    for (int i = 0; i < products; ++i) {
      manifest_text += ManifestLine(codes[static_cast<std::size_t>(i)], word(version_bytes, 12),
                                    "https://downloads.example/" + word(link_bytes, 60));
    }
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(ParseManifest(manifest_text, manifest, error)) << error << "\n" << manifest_text;
    EXPECT_EQ(ReadBackDifference(manifest), "") << manifest_text;
  }
}

// A comment may end on the last byte Ordwin reads, not one byte later.
TEST(ReferenceSiteManifest, TheLastCommentMayEndOnTheLastByteOrdwinReads) {
  Manifest probe;
  std::string error;
  ASSERT_TRUE(ParseManifest("OW\t1\thttp://o/\n", probe, error)) << error;
  const std::string page = RenderReplyPage(probe);
  const std::size_t room = kClientReadLimit - (page.find("-->") + 3);
  for (const std::size_t extra : {room, room + 1}) {
    SCOPED_TRACE(extra);
    Manifest manifest;
    const bool fits = extra == room;
    EXPECT_EQ(ParseManifest("OW\t1\thttp://o/" + std::string(extra, 'a') + "\n", manifest, error),
              fits)
        << error;
    if (fits) {
      EXPECT_EQ(ReadBackDifference(manifest), "");
    }
  }
}

// Served as listed, but not used by Ordwin as listed: said once, the site
// still starts.
TEST(ReferenceSiteManifest, WarnsOfWhatOrdwinWillNotUseAsListed) {
  struct Case {
    std::string text;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {"Pellor\t7\thttp://d/p\nPellor Ashby\t5\thttp://d/a\n", {}},
      {"Pellor Ashby\t5\thttp://d/a\n",
       {"line 1: \"Pellor Ashby\" is listed without \"Pellor\": Ordwin reads its version and link for "
        "\"Pellor\" too"}},
      {"# c\nPellor Marlo X\t5\thttp://d/a\nPellor\t1\thttp://d/p\n",
       {"line 2: \"Pellor Marlo X\" is listed without \"Pellor Marlo\": Ordwin reads its version and link for "
        "\"Pellor Marlo\" too"}},
      {"OW\t1.2\t\n", {}},
      {"OW\t1.2\thttp://d/a b.exe\nQEL\t1\tfile:///etc/passwd\nWZ\t2\thttp://\n",
       {"line 1: Ordwin will not open the link of \"OW\": it is not an http or https address with a host, or "
        "holds blanks or quotes",
        "line 2: Ordwin will not open the link of \"QEL\": it is not an http or https address with a host, or "
        "holds blanks or quotes",
        "line 3: Ordwin will not open the link of \"WZ\": it is not an http or https address with a host, or "
        "holds blanks or quotes"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(ParseManifest(c.text, manifest, error)) << error;
    EXPECT_EQ(ManifestWarnings(manifest), c.warnings);
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
  Start(
      "Pellor Ashby\t5.0\thttp://d/ashby\nPellor Marlo\t2.1\thttp://d/marlo\n"
      "Pellor\t7.2\thttp://d/pellor\nOW\t1.2\thttp://d/ordwin\n");
  CProductTable table;
  table.Rebuild();
  ApplyVersionReply(Fetch("/index3.php?ACTION=163"), table);
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
  for (const char* object :
       {"/index3.php?ACTION=164", "/index3.php", "/index3.php?action=163", "/products", "/"}) {
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

TEST_F(ReferenceSiteProgram, RefusesAManifestItCannotServeAndWarnsOfTheRest) {
  const std::string path = (config_.Path() / "manifest.txt").string();
  std::ofstream(path, std::ios::binary) << "OW\t1.2\thttp://d/o\nKVSL\thotlink-2\thttp://d/k\n";
  ProgramRun run = Run({"--manifest", path});
  ASSERT_EQ(run.outcome.kind, ChildOutcome::kExited);
  EXPECT_EQ(run.outcome.code, 2);
  EXPECT_EQ(run.out, "") << "nothing listens";
  EXPECT_EQ(
      run.err,
      "update_site: " + path +
          ": line 2: the version \"hotlink-2\" holds the word \"link\": Ordwin would read the "
          "link from there\n");

  std::ofstream(path, std::ios::binary) << "Pellor Ashby\t5\thttp://d/a\n";
  run = RunProgram(UPDATE_SITE_PROGRAM, {"--manifest", path}, config_.Path(),
                   std::chrono::milliseconds(1500));
  EXPECT_EQ(run.outcome.kind, ChildOutcome::kTimedOut) << "it serves";
  EXPECT_EQ(run.out.rfind("listening on 127.0.0.1:", 0), 0u) << run.out;
  EXPECT_NE(run.err.find("update_site: warning: " + path +
                         ": line 1: \"Pellor Ashby\" is listed without \"Pellor\""),
            std::string::npos)
      << run.err;
}

}  // namespace
