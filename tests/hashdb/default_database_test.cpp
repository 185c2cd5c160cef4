#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "hashdb/default_database.h"
#include "hashdb/talvane_strings.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"

namespace {

// A registry in memory that writes down every call.
class RecordingRegistry final : public Registry {
 public:
  void Put(const std::string& key, const std::string& value) { keys[key]["Path"] = value; }
  void PutKeyOnly(const std::string& key) { keys[key]; }

  std::optional<RegistryKey> OpenKey(const std::string& hive, const std::string& key) override {
    calls.push_back("open " + key);
    EXPECT_EQ(hive, kLocalMachine);
    if (!keys.count(key)) return std::nullopt;
    open[next] = key;
    return next++;
  }
  std::optional<std::string> QueryValue(RegistryKey key, const std::string& name,
                                        std::size_t capacity) override {
    calls.push_back("query " + name + " " + std::to_string(capacity));
    const auto& values = keys[open.at(key)];
    const auto it = values.find(name);
    if (it == values.end() || it->second.size() + 1 > capacity) return std::nullopt;
    return it->second;
  }
  void CloseKey(RegistryKey key) override {
    calls.push_back("close " + open.at(key));
    open.erase(key);
  }
  bool SetValue(const std::string&, const std::string&, const std::string&,
                const std::string&) override {
    ADD_FAILURE() << "nothing is written";
    return false;
  }

  std::map<std::string, std::map<std::string, std::string>> keys;
  std::map<RegistryKey, std::string> open;
  std::vector<std::string> calls;
  RegistryKey next = 7;
};

class RecordingBoxes final : public MessageBoxes {
 public:
  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override {
    EXPECT_EQ(caption, "");  // the application's name
    EXPECT_EQ(buttons, BoxButtons::Ok);
    EXPECT_EQ(icon, BoxIcon::None);
    texts.push_back(text);
    return BoxAnswer::Ok;
  }
  std::vector<std::string> texts;
};

const std::string kNerith = kNerithDatabaseKey;
const std::string kPellor = kPellorAppPathKey;
const std::string kNoDefault = "Couldn't load the default database.";

class DefaultDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(database_, DatabaseBytes({{1, "one"}}));
    ASSERT_TRUE(std::filesystem::create_directories(dir_ / "pellor/Program"));
    WriteBytes(pellor_database_, DatabaseBytes({{0, "a"}, {0, "b"}}));
  }

  bool Find() { return FindDefaultDatabase(catalogue_, registry_, boxes_); }

  TempDir dir_;
  std::string database_ = dir_ / "nerith.hdb";
  std::string pellor_database_ = dir_ / "pellor" + kPellorDatabaseSuffix;
  RecordingRegistry registry_;
  RecordingBoxes boxes_;
  CHashSetCatalogue catalogue_;
};

TEST_F(DefaultDatabaseTest, FirstCandidateOpensAndTheSecondIsNeverAsked) {
  registry_.Put(kNerith, database_);
  registry_.Put(kPellor, dir_ / "pellor");
  ASSERT_TRUE(Find());
  EXPECT_EQ(catalogue_.GetPath(), database_);
  EXPECT_FALSE(catalogue_.IsChanged());
  EXPECT_TRUE(boxes_.texts.empty());
  EXPECT_EQ(registry_.calls,
            (std::vector<std::string>{"open " + kNerith, "query Path 520", "close " + kNerith}));
}

TEST_F(DefaultDatabaseTest, SecondCandidateWhenTheFirstHasNothing) {
  const struct {
    const char* label;
    std::function<void(RecordingRegistry&)> first;
  } cases[] = {
      {"key missing", [](RecordingRegistry&) {}},
      {"value missing", [](RecordingRegistry& r) { r.PutKeyOnly(kNerith); }},
      {"value too long", [](RecordingRegistry& r) { r.Put(kNerith, std::string(520, 'p')); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    RecordingRegistry registry;
    c.first(registry);
    registry.Put(kPellor, dir_ / "pellor");
    RecordingBoxes boxes;
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(FindDefaultDatabase(catalogue, registry, boxes));
    EXPECT_EQ(catalogue.GetPath(), pellor_database_);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(registry.calls.back(), "close " + kPellor);
  }
}

TEST_F(DefaultDatabaseTest, SuffixIsAppendedUnchanged) {
#ifdef _WIN32
  const std::string separator = "\\";
#else
  const std::string separator = "/";
#endif
  for (const std::string& folder : {dir_ / "pellor", dir_ / "pellor" + separator}) {
    SCOPED_TRACE(folder);
    RecordingRegistry registry;
    registry.Put(kPellor, folder);
    RecordingBoxes boxes;
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(FindDefaultDatabase(catalogue, registry, boxes));
    EXPECT_EQ(catalogue.GetPath(), folder + kPellorDatabaseSuffix);  // a doubled separator kept
  }
}

TEST_F(DefaultDatabaseTest, EachFailureIsShownInTurn) {
  registry_.Put(kNerith, dir_ / "gone.hdb");
  registry_.Put(kPellor, dir_ / "nowhere");
  EXPECT_FALSE(Find());
  EXPECT_FALSE(catalogue_.IsOpen());
#ifdef _WIN32
  // Windows: the folder, not only the file, is missing.
  const std::string second =
      dir_ / "nowhere" + kPellorDatabaseSuffix + " contains an invalid path.";
#else
  const std::string second = dir_ / "nowhere" + kPellorDatabaseSuffix + " was not found.";
#endif
  EXPECT_EQ(boxes_.texts,
            (std::vector<std::string>{dir_ / "gone.hdb was not found.", second, kNoDefault}));
  EXPECT_EQ(registry_.calls,
            (std::vector<std::string>{"open " + kNerith, "query Path 520", "close " + kNerith,
                                      "open " + kPellor, "query Path 520", "close " + kPellor}));
}

TEST_F(DefaultDatabaseTest, MissingFirstFileThenTheSecondOpens) {
  registry_.Put(kNerith, dir_ / "gone.hdb");
#ifdef _WIN32
  const std::size_t repeats = 100;  // the ANSI file calls stop at MAX_PATH
#else
  const std::size_t repeats = 300;
#endif
  registry_.Put(
      kPellor, dir_ / "pellor" + std::string(repeats, '/'));  // longer than the first: read in full
  ASSERT_TRUE(Find());
  EXPECT_EQ(boxes_.texts, (std::vector<std::string>{dir_ / "gone.hdb was not found."}));
  EXPECT_EQ(catalogue_.GetCount(), 2u);
}

TEST_F(DefaultDatabaseTest, NothingAnywhere) {
  EXPECT_FALSE(Find());
  EXPECT_EQ(boxes_.texts, (std::vector<std::string>{kNoDefault}));
  EXPECT_EQ(TalvaneString(IDS_NO_DEFAULT_DATABASE), kNoDefault);
  EXPECT_EQ(registry_.calls, (std::vector<std::string>{"open " + kNerith, "open " + kPellor}));
}

TEST_F(DefaultDatabaseTest, HeldDatabaseIsASharingViolation) {
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(database_).ok());
  registry_.Put(kNerith, database_);
  EXPECT_FALSE(Find());
  EXPECT_EQ(boxes_.texts,
            (std::vector<std::string>{
                "A sharing violation occurred while accessing " + database_ + ".", kNoDefault}));
}

TEST_F(DefaultDatabaseTest, TextEndsAtTheFirstNul) {
  registry_.Put(kNerith, database_ + std::string("\0junk", 5));
  ASSERT_TRUE(Find());
  EXPECT_EQ(catalogue_.GetPath(), database_);
}

#ifndef _WIN32
// The stand-in store as hdbtool and Talvane read it.
TEST_F(DefaultDatabaseTest, ThroughTheRegistryStandIn) {
  WriteBytes(dir_ / "registry.ini",
             "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]\n"
             "Path=" +
                 database_ + "\n");
  IniFileRegistry registry(dir_ / "registry.ini");
  ASSERT_TRUE(FindDefaultDatabase(catalogue_, registry, boxes_));
  EXPECT_EQ(catalogue_.GetPath(), database_);
}

#endif

}  // namespace
