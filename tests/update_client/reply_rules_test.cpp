#include <gtest/gtest.h>

#include <string>

#include "update_client/update_site.h"
#include "update_manager/product_table.h"

namespace {

struct ReplyCase {
  const char* what;
  std::string reply;
  const char* code;          // the entry looked at
  const char* want_version;  // starts as "old"
  const char* want_link;     // starts as "old-link"
};

std::string Padding(std::size_t length) { return std::string(length, 'x'); }

// A comment that ends exactly at the end of the 4095 bytes clients read, and
// one that reaches one byte past it.
std::string AtTheLimit(std::size_t overshoot) {
  const std::string comment = "<!-- QEL version=\"9\" link=\"http://q/\" -->";
  return Padding(kMaxReplyLength - comment.size() + overshoot) + comment;
}

const ReplyCase kCases[] = {
    {"empty reply", "", "QEL", "old", "old-link"},
    {"error page without comments",
     "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>", "QEL",
     "old", "old-link"},
    {"plain section", "<!-- QEL version=\"2.0\" link=\"http://x/q.exe\" -->", "QEL", "2.0",
     "http://x/q.exe"},
    {"shorter code first: Pellor finds its own",
     "<!-- Pellor version=\"7\" link=\"http://p\" -->"
     "<!-- Pellor Ashby version=\"5\" link=\"http://a\" -->",
     "Pellor", "7", "http://p"},
    {"shorter code first: Pellor Ashby finds its own",
     "<!-- Pellor version=\"7\" link=\"http://p\" -->"
     "<!-- Pellor Ashby version=\"5\" link=\"http://a\" -->",
     "Pellor Ashby", "5", "http://a"},
    {"longer code first: Pellor takes the Pellor Ashby section",
     "<!-- Pellor Ashby version=\"5\" link=\"http://a\" -->"
     "<!-- Pellor version=\"7\" link=\"http://p\" -->",
     "Pellor", "5", "http://a"},
    {"no blank after the hyphens", "<!--QEL version=\"2\" link=\"http://q\" -->", "QEL", "old",
     "old-link"},
    {"two blanks after the hyphens", "<!--  QEL version=\"2\" link=\"http://q\" -->", "QEL", "old",
     "old-link"},
    {"code in other letter case", "<!-- qel version=\"2\" link=\"http://q\" -->", "QEL", "old",
     "old-link"},
    {"item word Version with a capital", "<!-- QEL Version=\"2\" link=\"http://q\" -->", "QEL",
     "old", "old-link"},
    {"comment never closed", "<!-- QEL version=\"2\" link=\"http://q\" ", "QEL", "old", "old-link"},
    {"no quotes at all", "<!-- QEL version=2.0 link=http://q -->", "QEL", "", ""},
    {"version without quotes before a quoted link", "<!-- QEL version=2.0 link=\"http://q\" -->",
     "QEL", "http://q", "old-link"},
    {"link before version", "<!-- QEL link=\"http://q\" version=\"2\" -->", "QEL", "2", "old-link"},
    {"oldversion counts as the item", "<!-- QEL oldversion=\"3\" link=\"http://q\" -->", "QEL", "3",
     "http://q"},
    {"version without link", "<!-- QEL version=\"2\" -->", "QEL", "2", "old-link"},
    {"link without version", "<!-- QEL link=\"http://q\" -->", "QEL", "old", "old-link"},
    {"blanks inside the quotes stay", "<!-- QEL version=\" 2.0 \" link=\" http://q \" -->", "QEL",
     " 2.0 ", " http://q "},
    {"empty values replace", "<!-- QEL version=\"\" link=\"\" -->", "QEL", "", ""},
    {"version with an unclosed quote", "<!-- QEL version=\"2.0 -->", "QEL", "", "old-link"},
    {"other comments and HTML around",
     "<html><!-- a comment --><body><!-- QEL version=\"4\" link=\"http://q\" --></body></html>",
     "QEL", "4", "http://q"},
    {"Ordwin's own entry", "<!-- OW version=\"1.2\" link=\"http://o\" -->", "OW", "1.2",
     "http://o"},
    {"code and display text differ: the code is searched",
     "<!-- Pellor Tindle version=\"1\" link=\"http://n\" --><!-- TINDLE version=\"3\" "
     "link=\"http://t\" -->",
     "TINDLE", "3", "http://t"},
    {"section ending right at byte 4095", AtTheLimit(0), "QEL", "9", "http://q/"},
    {"section cut by the 4095-byte limit", AtTheLimit(1), "QEL", "old", "old-link"},
    {"section after a NUL byte",
     std::string("<html>\0", 7) + "<!-- QEL version=\"2\" link=\"http://q\" -->", "QEL", "old",
     "old-link"},
};

TEST(ReplyRules, EachCaseSetsOnlyWhatTheRulesSay) {
  for (const ReplyCase& c : kCases) {
    SCOPED_TRACE(c.what);
    CProductTable table;
    table.Rebuild();
    for (CProductEntry& entry : table.Entries()) {
      entry.latest_version = "old";
      entry.download_link = "old-link";
    }
    const bool latest_known = ApplyVersionReply(c.reply, table);

    for (const CProductEntry& entry : table.Entries()) {
      if (entry.code != c.code) continue;
      EXPECT_EQ(entry.latest_version, c.want_version);
      EXPECT_EQ(entry.download_link, c.want_link);
    }
    EXPECT_TRUE(latest_known) << "the latest-known flag is set for every reply";
  }
}

TEST(ReplyRules, EntriesAreSearchedIndependentlyAndOthersKeepTheirValues) {
  CProductTable table;
  table.Rebuild();
  table[4].latest_version = "kept";  // QEL: no section in the reply
  table[4].download_link = "kept-link";
  const std::string reply =
      "<!-- WZ version=\"2\" link=\"http://w\" --><!-- KVSL version=\"1\" link=\"http://k\" -->";
  ApplyVersionReply(reply, table);

  EXPECT_EQ(table[1].latest_version, "1");  // KVSL comes later in the reply than WZ
  EXPECT_EQ(table[5].latest_version, "2");
  EXPECT_EQ(table[4].latest_version, "kept");
  EXPECT_EQ(table[4].download_link, "kept-link");
  EXPECT_EQ(table[0].latest_version, kOrdwinOwnVersion);
  EXPECT_EQ(table[3].latest_version, "");
  // Only versions and links are written.
  EXPECT_EQ(table[1].code, "KVSL");
  EXPECT_EQ(table[1].list_index, 0);
}

TEST(ReplyRules, EntriesWithoutACodeTakeNoSection) {
  CProductTable table;  // not rebuilt yet: no codes
  ApplyVersionReply("<!-- QEL version=\"2\" link=\"http://q\" -->", table);
  for (const CProductEntry& entry : table.Entries()) EXPECT_EQ(entry.latest_version, "");
}

TEST(ReplyRules, SectionIsTheTextBetweenCodeAndClose) {
  EXPECT_EQ(FindProductSection("<!-- WZ  version=\"2\"  -->", "WZ"), "  version=\"2\"  ");
  EXPECT_EQ(FindProductSection("<!-- WZ-->", "WZ"), "");
  EXPECT_EQ(FindProductSection("--> <!-- WZ x", "WZ"), "");
}

TEST(ReplyRules, UpdateSiteUrlNamesTheHostAndTheAction) {
  EXPECT_EQ(UpdateSiteUrl(kLatestVersionsAction, "updates.example:8080"),
            "http://updates.example:8080/index3.php?ACTION=163");
  EXPECT_EQ(std::string(kUpdateSiteHeaders),
            "Accept: text/*\r\nUser-Agent: Velmora_Update_Program\r\n");
}

}  // namespace
