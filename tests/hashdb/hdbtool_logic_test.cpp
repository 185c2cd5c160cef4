// The logic behind hdbtool's workflow commands, on databases built byte by byte.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "hashdb/hash_set_catalogue.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"
#include "tools/hashdb/audit_log.h"
#include "tools/hashdb/output_formats.h"
#include "tools/hashdb/set_matching.h"

namespace {

class MatchingTest : public ::testing::Test {
 protected:
  // A loaded catalogue of records; each call makes a new file.
  CHashSetCatalogue& Catalogue(const std::vector<TestRecord>& records) {
    const std::string path = dir_ / ("db" + std::to_string(held_.size()) + ".hdb");
    WriteBytes(path, DatabaseBytes(records));
    held_.push_back(std::make_unique<CHashSetCatalogue>());
    EXPECT_TRUE(held_.back()->Load(path).ok());
    return *held_.back();
  }

  TempDir dir_;
  std::vector<std::unique_ptr<CHashSetCatalogue>> held_;
};

std::string Show(const DiffLine& line) {
  auto index = [](const std::optional<std::uint32_t>& i) {
    return i ? std::to_string(*i) : std::string("-");
  };
  return index(line.index_a) + " " + index(line.index_b) + " " +
         (line.index_a ? (line.alert_a ? "1" : "0") : "-") + " " +
         (line.index_b ? (line.alert_b ? "1" : "0") : "-") + " " + std::string(line.name);
}

std::vector<std::string> Show(const DiffResult& diff) {
  std::vector<std::string> lines;
  for (const DiffLine& line : diff.lines) lines.push_back(Show(line));
  return lines;
}

TEST_F(MatchingTest, DiffPairsTheIthSetOfANameWithTheIth) {
  // X twice in A and in B: A0 with B0 (agree), A2 with B1 (differ); Z only in
  // A, W only in B; Y pairs A1 with B3 across positions.
  const CHashSetCatalogue& a = Catalogue({{1, "X"}, {0, "Y"}, {0, "X"}, {1, "Z"}, {0, "X"}});
  const CHashSetCatalogue& b = Catalogue({{1, "X"}, {1, "X"}, {0, "W"}, {0, "Y"}});
  const DiffResult diff = DiffAlerts(a, b);
  EXPECT_EQ(Show(diff),
            (std::vector<std::string>{"2 1 0 1 X", "3 - 1 - Z", "4 - 0 - X", "- 2 - 0 W"}));
  EXPECT_FALSE(diff.alerts_agree);
}

TEST_F(MatchingTest, DiffAgreesWhenEveryPairAgrees) {
  // Sets on one side only are listed but are no difference of alerts,
  // whatever their flag.
  const struct {
    std::vector<TestRecord> a, b;
    bool agree;
    std::size_t lines;
  } cases[] = {
      {{{1, "S"}, {0, "added"}}, {{1, "S"}}, true, 1},
      {{{1, "S"}, {1, "renamed"}}, {{1, "S"}, {1, "renamed (2)"}}, true, 2},
      {{{1, "S"}}, {{1, "S"}, {1, "S"}}, true, 1},
      {{{1, "S"}, {0, "S"}}, {{1, "S"}, {1, "S"}}, false, 1},
      {{{2, "word two is on"}}, {{1, "word two is on"}}, true, 0},
      {{}, {}, true, 0},
  };
  for (const auto& c : cases) {
    const DiffResult diff = DiffAlerts(Catalogue(c.a), Catalogue(c.b));
    EXPECT_EQ(diff.alerts_agree, c.agree) << ::testing::PrintToString(Show(diff));
    EXPECT_EQ(diff.lines.size(), c.lines);
  }
}

TEST_F(MatchingTest, NamesMatchByTheirBytesUpToTheNul) {
  const std::string no_nul(256, 'n');
  const CHashSetCatalogue& a =
      Catalogue({{0, no_nul}, {0, std::string("old\0tail", 8)}, {0, "F\xE4lle"}, {0, "case"}});
  const CHashSetCatalogue& b =
      Catalogue({{1, no_nul}, {1, std::string("old\0other", 9)}, {1, "F\xC4LLE"}, {1, "Case"}});
  EXPECT_EQ(Show(DiffAlerts(a, b)),
            (std::vector<std::string>{"0 0 0 1 " + no_nul, "1 1 0 1 old", "2 - 0 - F\xE4lle",
                                      "3 - 0 - case", "- 2 - 1 F\xC4LLE", "- 3 - 1 Case"}));
}

TEST_F(MatchingTest, ApplyCarriesFlagsOfNamesWithEqualCountsOnly) {
  const CHashSetCatalogue& target =
      Catalogue({{0, "A"}, {0, "A"}, {1, "B"}, {0, "C"}, {0, "D"}, {0, "E"}, {2, "H"}});
  const CHashSetCatalogue& source = Catalogue({{1, "A"},
                                               {0, "A"},
                                               {0, "B"},
                                               {1, "C"},
                                               {1, "C"},
                                               {1, "F"},
                                               {0, "G"},
                                               {1, "D"},
                                               {0, "G"},
                                               {1, "H"}});
  const ApplyPlan plan = PlanApplyFrom(target, source);
  std::vector<std::string> changes;
  for (const FlagChange& change : plan.changes)
    changes.push_back(std::to_string(change.index) + (change.on ? "+" : "-"));
  // A pairs 0-0 (on) and 1-1 (stays off); B goes off; D goes on; H's word 2
  // already reads as on; C (1 against 2) is left alone; E has no source.
  EXPECT_EQ(changes, (std::vector<std::string>{"0+", "2-", "4+"}));
  std::vector<std::string> not_applied;
  for (const NameNotApplied& name : plan.not_applied) {
    not_applied.push_back(std::string(name.name) + " " + std::to_string(name.here) + "/" +
                          std::to_string(name.there));
  }
  // F is missing here and on there; G is missing but off, so nothing is lost.
  EXPECT_EQ(not_applied, (std::vector<std::string>{"C 1/2", "F 0/1"}));
}

TEST_F(MatchingTest, ApplyingAPlanLeavesNothingForDiff) {
  CHashSetCatalogue& target = Catalogue({{0, "A"}, {1, "B"}, {0, "A"}, {0, "new"}});
  const CHashSetCatalogue& source = Catalogue({{1, "B"}, {1, "A"}, {0, "B"}, {1, "A"}});
  for (const FlagChange& change : PlanApplyFrom(target, source).changes)
    target.SetAlert(change.index, change.on);
  const DiffResult diff = DiffAlerts(target, source);
  EXPECT_TRUE(diff.alerts_agree);
  // B (1 here, 2 there) was left alone; its second set is off, so nothing differs.
  EXPECT_EQ(Show(diff), (std::vector<std::string>{"3 - 0 - new", "- 2 - 0 B"}));
}

TEST(NameListTest, LinesAreRawBytesWithoutTrailingCr) {
  const struct {
    std::string text;
    std::vector<std::string_view> lines;
  } cases[] = {
      {"", {}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\n\nb\r\n", {"a", "b"}},
      {"in\rside\n \n", {"in\rside", " "}},
      {std::string("nul\0x\n\xE4\n", 8), {std::string_view("nul\0x", 5), "\xE4"}},
  };
  for (const auto& c : cases) EXPECT_EQ(NameListLines(c.text), c.lines) << c.text;
}

TEST_F(MatchingTest, NamesPlanTakesEverySetOfEachNameOnce) {
  const CHashSetCatalogue& target = Catalogue({{0, "B"}, {0, "A"}, {1, "A"}, {0, "B"}, {0, "C"}});
  const NamesPlan plan = PlanNames(target, {"B", "missing", "A", "B", "missing", "other"}, true);
  std::vector<std::uint32_t> indices;
  for (const FlagChange& change : plan.changes) {
    EXPECT_TRUE(change.on);
    indices.push_back(change.index);
  }
  EXPECT_EQ(indices, (std::vector<std::uint32_t>{0, 1, 3}));
  EXPECT_EQ(plan.unmatched, (std::vector<std::string_view>{"missing", "other"}));
  EXPECT_TRUE(PlanNames(target, {"C"}, false).changes.empty());
}

TEST(OutputFormatsTest, CsvQuotesOnlyWhatNeedsIt) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain name", "plain name"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"cr\r", "\"cr\r\""},
      {"tab\tsemi;", "tab\tsemi;"},
  };
  for (const auto& c : cases) {
    std::string out = "x,";
    AppendCsvField(out, c.in);
    EXPECT_EQ(out, "x," + c.out);
  }
}

TEST(OutputFormatsTest, JsonEscapesQuotesBackslashAndControls) {
  std::string out;
  // C1 controls (U+009D is OSC to some terminals) are escaped; the letters
  // around them in the same UTF-8 lead byte range are not.
  AppendJsonString(out, "q\" b\\ \n\r\t \x01\x1b\x7f \xC3\xA4 \xC2\x9D\xC2\x80 \xC2\xA0\xC2");
  EXPECT_EQ(out,
            "\"q\\\" b\\\\ \\n\\r\\t \\u0001\\u001b\\u007f \xC3\xA4 \\u009d\\u0080 \xC2\xA0\xC2\"");
}

TEST(OutputFormatsTest, ControlsShowAsQuestionMarksOnATerminal) {
  EXPECT_EQ(ControlsShownAsQuestionMarks("a\x1b]2;x\x07\r\n\x7f \xC2\x9B \xC3\xA4\xE2\x82\xAC"),
            "a?]2;x???? ? \xC3\xA4\xE2\x82\xAC");
}

TEST(OutputFormatsTest, Sha256MatchesTheStandardVectors) {
  auto sum = [](const std::string& text) {
    return Sha256Hex({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  };
  EXPECT_EQ(sum(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sum("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sum("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(sum(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(AuditLineTest, OneJsonLineWithDecodedNames) {
  AuditEntry entry;
  entry.time = 1797010203;  // 2026-12-11T17:30:03Z
  entry.user = "examiner";
  entry.host = "ws-07";
  entry.command = "apply";
  entry.database = "/cases/lib\xE4.hdb";  // not UTF-8: the byte becomes U+FFFD
  entry.source = "/cases/old \"x\".hdb";
  entry.table_sha256_before = "aa";
  entry.table_sha256_after = "bb";
  entry.changed = {{3, true, "F\xE4lle\n"}, {7, false, ""}};
  EXPECT_EQ(
      AuditLine(entry),
      "{\"time\":\"2026-12-11T17:30:03Z\",\"user\":\"examiner\",\"host\":\"ws-07\",\"command\":\"apply\","
      "\"database\":\"/cases/lib\xEF\xBF\xBD.hdb\",\"source\":\"/cases/old \\\"x\\\".hdb\","
      "\"table_sha256_before\":\"aa\",\"table_sha256_after\":\"bb\",\"changed\":["
      "{\"index\":3,\"alert\":true,\"name\":\"F\xC3\xA4lle\\n\"},{\"index\":7,\"alert\":false,\"name\":\"\"}]}\n");
  entry.source.clear();
  entry.changed.clear();
  entry.database = "/\xC3\xA4\xF0\x9F\x98\x80\xE0\x80\x80";  // valid, valid, overlong
  EXPECT_NE(AuditLine(entry).find(
                "\"database\":\"/\xC3\xA4\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\","
                "\"table_sha256_before\""),
            std::string::npos);
}

class AuditLogTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string log_ = dir_ / "audit.log";
  std::string database_ = dir_ / "db.hdb";
};

TEST_F(AuditLogTest, AMissingLogIsCreatedPrivateOnlyWhenALineIsWritten) {
  const mode_t old_umask = ::umask(0);
  FileError error;
  std::optional<AuditLog> log = AuditLog::Open(log_, {database_}, error);
  ASSERT_TRUE(log) << error.Message();
  EXPECT_FALSE(Exists(log_));
  ASSERT_FALSE(log->Append("{\"a\":1}\n"));
  ::umask(old_umask);
  struct stat st {};
  ASSERT_EQ(::stat(log_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  std::optional<AuditLog> again = AuditLog::Open(log_, {database_}, error);
  ASSERT_TRUE(again);
  ASSERT_FALSE(again->Append("{\"b\":2}\n"));
  EXPECT_EQ(ReadBytes(log_), "{\"a\":1}\n{\"b\":2}\n");
}

TEST_F(AuditLogTest, RefusesWhatIsNoPlainLogOfItsOwn) {
  WriteBytes(database_, "database bytes");
  WriteBytes(dir_ / "target", "kept");
  ASSERT_EQ(::symlink((dir_ / "target").c_str(), (dir_ / "link").c_str()), 0);
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::link((dir_ / "target").c_str(), (dir_ / "hard").c_str()), 0);
  WriteBytes(dir_ / "other.hdb", "another database");
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir_ / "link", "Access to " + dir_ / "link" +
                          " was denied. The log is a symbolic link; it is not followed."},
      {dir_ / "fifo",
       "Access to " + dir_ / "fifo" + " was denied. The log must be a regular file."},
      {dir_.path(), "Access to " + dir_.path() + " was denied."},
      {dir_ / "hard", "Access to " + dir_ / "hard" +
                          " was denied. The log has other names (hard links); it is not written."},
      {dir_ / "none/audit.log", dir_ / "none/audit.log was not found."},
      {dir_ / "other.hdb",
       "Access to " + dir_ / "other.hdb" + " was denied. It is a database of this run, not a log."},
  };
  for (const auto& c : cases) {
    FileError error;
    EXPECT_FALSE(AuditLog::Open(c.path, {database_, dir_ / "other.hdb"}, error)) << c.path;
    EXPECT_EQ(error.Message(), c.message);
  }
  EXPECT_EQ(ReadBytes(dir_ / "target"), "kept");
  EXPECT_EQ(ReadBytes(database_), "database bytes");
}

// A log that did not exist at the check but is a database by the time the
// line is written (a copy made under the log's name) is refused then.
TEST_F(AuditLogTest, ALogThatBecameADatabaseIsNotWritten) {
  FileError error;
  std::optional<AuditLog> log = AuditLog::Open(log_, {log_}, error);
  ASSERT_TRUE(log);
  WriteBytes(log_, "now a database");
  const FileStatus failed = log->Append("{}\n");
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->Message(),
            "Access to " + log_ + " was denied. It is a database of this run, not a log.");
  EXPECT_EQ(ReadBytes(log_), "now a database");
}

}  // namespace
