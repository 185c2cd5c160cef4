#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"

extern char** environ;

namespace {

struct ToolRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

class HdbtoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleOptions options;
    options.sets = 40;
    options.tail_bytes = 100000;
    ASSERT_FALSE(WriteSampleDatabase(sample_, options));
    sample_bytes_ = ReadBytes(sample_);
  }

  ToolRun Hdbtool(std::vector<std::string> args) {
    args.insert(args.begin(), HDBTOOL_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = dir_ / ".out", err = dir_ / ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ToolRun run;
    if (posix_spawn(&pid, HDBTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadBytes(out);
    run.err = ReadBytes(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
  }

  TempDir dir_;
  std::string sample_ = dir_ / "sample.hdb";
  std::string sample_bytes_;
};

TEST_F(HdbtoolTest, ListPrintsIndexFlagAndName) {
  const ToolRun run = Hdbtool({"list", sample_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::string expected;
  for (std::uint32_t i = 0; i < 40; ++i) {
    expected += std::to_string(i) + "\t" + (SampleSetAlert(i) ? "1" : "0") + "\t" + SampleSetName(i) + "\n";
  }
  EXPECT_EQ(run.out, expected);
  EXPECT_NE(run.out.find("12\t0\tF\xE4lle M\xFCnchen \x96 Beweismittel 2021\n"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST_F(HdbtoolTest, ListKeepsEveryNameOnItsOwnLine) {
  // A name may not forge rows or reach the terminal as escape sequences.
  const std::string path = dir_ / "hostile.hdb";
  WriteBytes(path, DatabaseBytes({{1, "x\n99\t1\tFORGED"}, {0, "\x1b]2;owned\x07\x1b[2J\\"}}));
  const ToolRun run = Hdbtool({"list", path});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "0\t1\tx\\n99\\t1\\tFORGED\n1\t0\t\\x1b]2;owned\\x07\\x1b[2J\\\\\n");
}

TEST_F(HdbtoolTest, ListJsonDecodesNames) {
  const std::string path = dir_ / "odd.hdb";
  WriteBytes(path, DatabaseBytes({{2, "Say \"hi\"\\ \x80\x9F"}, {0, "tab\there\x01"}}));
  const ToolRun run = Hdbtool({"list", "--json", path});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "[\n"
            " {\"index\":0,\"alert\":true,\"name\":\"Say \\\"hi\\\"\\\\ \u20AC\u0178\"},\n"
            " {\"index\":1,\"alert\":false,\"name\":\"tab\\there\\u0001\"}\n"
            "]\n");
  WriteBytes(path, DatabaseBytes({}));
  EXPECT_EQ(Hdbtool({"list", path, "--json"}).out, "[]\n");
}

TEST_F(HdbtoolTest, SetAppliesSelectorsInOrderAndSavesInPlace) {
  // 16 is on in the sample, 0 and 24 are off; 24 shares no name with anything.
  const ToolRun run = Hdbtool({"set", sample_, "--on", "0", "--off", "16", "--on=16", "--off", "16",
                           "--on", "name=" + SampleSetName(24)});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  std::string expected = sample_bytes_;
  expected.replace(AlertOffset(0), 4, Le32(1));
  expected.replace(AlertOffset(16), 4, Le32(0));
  expected.replace(AlertOffset(24), 4, Le32(1));
  EXPECT_EQ(ReadBytes(sample_), expected);
}

TEST_F(HdbtoolTest, SetByNameTakesEverySetOfThatName) {
  const std::string path = dir_ / "twins.hdb";
  WriteBytes(path, DatabaseBytes({{0, "Twin"}, {0, "Other"}, {0, "Twin"}, {0, "Twin "}}));
  ASSERT_EQ(Hdbtool({"set", path, "--on", "name=Twin"}).exit_code, 0);
  EXPECT_EQ(Hdbtool({"list", path}).out, "0\t1\tTwin\n1\t0\tOther\n2\t1\tTwin\n3\t0\tTwin \n");
}

TEST_F(HdbtoolTest, DryRunPrintsChangesAndWritesNothing) {
  const ToolRun run = Hdbtool({"set", sample_, "--dry-run", "--on", "1", "--off", "17", "--on", "16"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "1\t1\t" + SampleSetName(1) + "\n17\t0\t" + SampleSetName(17) + "\n");
  EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
}

TEST_F(HdbtoolTest, SelectorsThatMatchNothingChangeNothing) {
  const struct {
    std::string selector;
    std::string message;
  } cases[] = {
      {"40", sample_ + " has no hash set 40 (it has 40).\n"},
      {"name=No such set", "No hash set in " + sample_ + " is named \"No such set\".\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Hdbtool({"set", sample_, "--on", "0", "--on", c.selector});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
  }
}

TEST_F(HdbtoolTest, CopyChangesOnlyTheCopy) {
  const std::string copy = dir_ / "copy.hdb";
  const ToolRun run = Hdbtool({"copy", sample_, copy, "--on", "3"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");   // no bar when stderr is not a terminal
  std::string expected = sample_bytes_;
  expected.replace(AlertOffset(3), 4, Le32(1));
  EXPECT_EQ(ReadBytes(copy), expected);
  EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
}

TEST_F(HdbtoolTest, CopyOntoItselfIsRefused) {
  const std::string here = dir_.path();
  const ToolRun run = Hdbtool({"copy", sample_, here + "/./sample.hdb", "--on", "3"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "A sharing violation occurred while accessing " + here + "/./sample.hdb.\n");
  EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
}

TEST_F(HdbtoolTest, HeldDatabaseGivesTheCatalogueMessage) {
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(sample_).ok());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"list", sample_},
                                               {"set", sample_, "--on", "1"},
                                               {"copy", sample_, dir_ / "c.hdb"},
                                               {"check", sample_}}) {
    const ToolRun run = Hdbtool(args);
    EXPECT_EQ(run.exit_code, 1) << args[0];
    EXPECT_EQ(run.err, "A sharing violation occurred while accessing " + sample_ + ".\n") << args[0];
  }
  EXPECT_EQ(Hdbtool({"list", dir_ / "none.hdb"}).err, dir_ / "none.hdb was not found.\n");
}

TEST_F(HdbtoolTest, CheckGivesOneLineReasons) {
  EXPECT_EQ(Hdbtool({"check", sample_}).exit_code, 0);
  const struct {
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"short", "no header: the file has 5 bytes, the header needs 20."},
      {DatabaseBytes({{0, "a"}, {0, "b"}}).substr(0, 300),
       "record table past the end: 2 hash sets need 540 bytes, the file has 300."},
      {DatabaseBytes({{0, "a"}, {0, std::string(256, 'n')}}), "the name of hash set 1 has no terminating NUL."},
  };
  const std::string path = dir_ / "bad.hdb";
  for (const auto& c : cases) {
    WriteBytes(path, c.bytes);
    const ToolRun run = Hdbtool({"check", path});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, path + ": " + c.reason + "\n");
    EXPECT_EQ(ReadBytes(path), c.bytes);
  }
}

TEST_F(HdbtoolTest, DefaultOpensTheRegistryCandidate) {
  const std::string config = dir_ / "config";
  ASSERT_EQ(::mkdir(config.c_str(), 0755), 0);
  ::setenv("VELMORA_CONFIG_DIR", config.c_str(), 1);
  ToolRun run = Hdbtool({"default"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Couldn't load the default database.\n");

  WriteBytes(config + "/registry.ini",
             "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]\nPath=" + sample_ + "\n");
  run = Hdbtool({"default"});
  ::unsetenv("VELMORA_CONFIG_DIR");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, sample_ + "\n");
}

TEST_F(HdbtoolTest, MakeSampleWritesTheAskedSize) {
  const std::string path = dir_ / "made.hdb";
  ASSERT_EQ(Hdbtool({"make-sample", path, "--sets", "5", "--tail-bytes", "100"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(path).size(), 20u + 5 * 260 + 100);
  EXPECT_EQ(Hdbtool({"check", path}).exit_code, 0);
  EXPECT_EQ(Hdbtool({"make-sample", dir_ / "no/such/folder.hdb"}).exit_code, 1);
}

TEST_F(HdbtoolTest, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"list"},
      {"list", sample_, "extra"},
      {"list", sample_, "--verbose"},
      {"set", sample_, "--on"},
      {"set", sample_, "--on", "abc"},
      {"set", sample_, "--on", "-1"},
      {"set", sample_, "--on", "99999999999"},
      {"list", sample_, "--on", "1"},
      {"copy", sample_, "--dry-run", dir_ / "x.hdb"},
      {"make-sample", dir_ / "x.hdb", "--sets", "many"},
  };
  for (const auto& args : cases) {
    const ToolRun run = Hdbtool(args);
    EXPECT_EQ(run.exit_code, 2) << (args.empty() ? "(none)" : args[0]) << " " << args.size();
    EXPECT_NE(run.err.find("hdbtool --help"), std::string::npos);
  }
  EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
  EXPECT_FALSE(Exists(dir_ / "x.hdb"));
}

TEST_F(HdbtoolTest, HelpAndVersion) {
  const ToolRun help = Hdbtool({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage: hdbtool COMMAND", 0), 0u);
  EXPECT_EQ(Hdbtool({"list", "--help"}).exit_code, 0);
  const ToolRun version = Hdbtool({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("hdbtool ", 0), 0u);
}

}  // namespace
