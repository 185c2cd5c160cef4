#include "flag_editor/list_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "flag_editor/command_line.h"
#include "hashdb/cp1252.h"

namespace {

struct Rows : RowTexts {
  std::vector<std::string> names;
  explicit Rows(std::vector<std::string> n) : names(std::move(n)) {}
  int RowCount() const override { return static_cast<int>(names.size()); }
  std::string_view RowText(int position) const override { return names[position]; }
};

TEST(CompareNames, ByteOrderWithoutCaseOrLocale) {
  std::vector<std::string> names = {"apple", "Zeta", "Apple", "apple2", "\xC4pfel", "a", ""};
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
  EXPECT_EQ(names,
            (std::vector<std::string>{"", "Apple", "Zeta", "a", "apple", "apple2", "\xC4pfel"}));
  EXPECT_EQ(CompareNames("same", "same"), 0);
  EXPECT_GT(CompareNames("\x80", "z"), 0);  // bytes from 128 up come after ASCII
}

struct FindCase {
  const char* what;
  std::vector<std::string> rows;
  int selected;
  std::string needle;
  FindOptions options;
  int expected;  // -1: none
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.what; }

class FindItemTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindItemTest, FindsTheWrittenRow) {
  const FindCase& c = GetParam();
  const Rows rows(c.rows);
  const std::optional<int> found = FindItem(rows, c.selected, c.needle, c.options);
  EXPECT_EQ(found.value_or(-1), c.expected) << c.what;
}

const std::vector<std::string> kHashRows = {"hash sets", "HASHES", "MyHashSet", "other"};
const std::vector<std::string> kWordRows = {"Known settings", "set-2", "Known set 2", "  set  "};

INSTANTIATE_TEST_SUITE_P(
    Table, FindItemTest,
    ::testing::Values(
        FindCase{"no selection: down starts at the first row",
                 kHashRows,
                 -1,
                 "hash",
                 {false, false, true},
                 0},
        FindCase{
            "no selection: up finds nothing", kHashRows, -1, "hash", {false, false, false}, -1},
        FindCase{"down starts after the selection", kHashRows, 0, "hash", {false, false, true}, 1},
        FindCase{"up starts before the selection", kHashRows, 2, "hash", {false, false, false}, 1},
        FindCase{"last row selected: no wrap", kHashRows, 3, "hash", {false, false, true}, -1},
        FindCase{
            "first row selected, up: no wrap", kHashRows, 0, "hash", {false, false, false}, -1},
        FindCase{"only match is the selected row, down",
                 kHashRows,
                 3,
                 "other",
                 {false, false, true},
                 -1},
        FindCase{
            "only match is the selected row, up", kHashRows, 3, "other", {false, false, false}, -1},
        FindCase{"match case off folds both sides", kHashRows, 0, "Hash", {false, false, true}, 1},
        FindCase{"match case on keeps capitals", kHashRows, -1, "Hash", {false, true, true}, 2},
        FindCase{"match case on: no exact spelling", kHashRows, 2, "Hash", {false, true, true}, -1},
        FindCase{"whole word: a word of its own", kWordRows, -1, "set", {true, false, true}, 2},
        FindCase{
            "whole word: runs of spaces are one gap", kWordRows, 2, "set", {true, false, true}, 3},
        FindCase{"whole word: a needle with a space never matches",
                 kWordRows,
                 -1,
                 "known set",
                 {true, false, true},
                 -1},
        FindCase{"whole word off: the same needle is a substring",
                 kWordRows,
                 -1,
                 "known set",
                 {false, false, true},
                 0},
        FindCase{"Windows-1252 letters fold too",
                 {"\xC4RGER", "\xE4rger"},
                 0,
                 "\xC4rger",
                 {false, false, true},
                 1},
        FindCase{"Windows-1252 pairs beyond Latin-1",
                 {"x",
                  "\x8A"
                  "ABLON"},
                 -1,
                 "\x9A"
                 "ablon",
                 {false, false, true},
                 1},
        FindCase{"an empty list finds nothing", {}, -1, "a", {false, false, true}, -1}));

TEST(Utf8ToCp1252, EncodesTheCodePageAndNothingElse) {
  EXPECT_EQ(Utf8ToCp1252("abc"), "abc");
  EXPECT_EQ(Utf8ToCp1252("\xC3\x84rger \xE2\x82\xAC"), "\xC4rger \x80");  // Ä, €
  // A character outside the code page cannot occur in a name: it becomes NUL,
  // which no name holds, so the search finds nothing rather than a wrong row.
  const std::string greek = Utf8ToCp1252("\xCE\xB1");
  ASSERT_EQ(greek.size(), 1u);
  EXPECT_EQ(greek[0], '\0');
  const Rows rows({"a", "b"});
  EXPECT_FALSE(FindItem(rows, -1, Utf8ToCp1252("a\xCE\xB1"), {}).has_value());
}

struct ParentCase {
  std::vector<std::string> arguments;
  bool has_parent;
  int parent;
};

void PrintTo(const ParentCase& c, std::ostream* os) {
  for (const std::string& a : c.arguments) *os << a << ' ';
}

class CommandLineTest : public ::testing::TestWithParam<ParentCase> {};

TEST_P(CommandLineTest, ParsesTheParentWindow) {
  CFlagEditorCommandLineInfo info;
  ParseCommandLine(GetParam().arguments, info);
  EXPECT_EQ(info.m_bHasParent, GetParam().has_parent);
  EXPECT_EQ(info.m_nParentWnd, GetParam().parent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTest,
    ::testing::Values(ParentCase{{}, false, 0}, ParentCase{{"/parent=1180"}, true, 1180},
                      ParentCase{{"-PARENT=1180"}, true, 1180},
                      ParentCase{{"/Parent=123"}, true, 123},
                      ParentCase{{"/parentwnd=1180"}, true, 1180},  // six letters compared
                      ParentCase{{"/parent="}, false, 0}, ParentCase{{"/parent=12ab"}, true, 12},
                      ParentCase{{"/parent= -42"}, true, -42},
                      ParentCase{{"/parent"}, true, 0},  // value is the whole word
                      ParentCase{{"/paren=5"}, false, 0}, ParentCase{{"data.hdb"}, false, 0},
                      ParentCase{{"data.hdb", "/parent=7"}, true, 7},
                      ParentCase{{"/parent=99999999999"}, true, 2147483647},
                      ParentCase{{"/parent=-99999999999"}, true, -2147483647 - 1}));

}  // namespace
