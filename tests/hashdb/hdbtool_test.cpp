// hdbtool's contract on every platform; what exists only on POSIX (signals,
// permission bits, symbolic links, the registry stand-in) is marked so.
#include <gtest/gtest.h>
#ifdef _WIN32
#include "tests/platform/win32_process.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"
#include "tools/hashdb/output_formats.h"

#ifndef _WIN32
extern char** environ;
#endif

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

#ifndef _WIN32
  // hdbtool started with args, output to out and err; not waited for.
  pid_t StartHdbtool(std::vector<std::string> args, const std::string& out, const std::string& err,
                     const std::string& in = "/dev/null") {
    args.insert(args.begin(), HDBTOOL_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    if (posix_spawn(&pid, HDBTOOL_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

#endif

  // input: what the tool reads on standard input.
  ToolRun Hdbtool(std::vector<std::string> args, const std::string& input = "") {
    const std::string out = dir_ / ".out", err = dir_ / ".err", in = dir_ / ".in";
    WriteBytes(in, input);
    ToolRun run;
#ifdef _WIN32
    run.exit_code = testing_support::RunProgram(HDBTOOL_PATH, args, out, err);
#else
    const pid_t pid = StartHdbtool(std::move(args), out, err, in);
    if (pid > 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
#endif
    run.out = ReadBytes(out);
    run.err = ReadBytes(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    std::remove(in.c_str());
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
    expected +=
        std::to_string(i) + "\t" + (SampleSetAlert(i) ? "1" : "0") + "\t" + SampleSetName(i) + "\n";
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
  const ToolRun run =
      Hdbtool({"set", sample_, "--dry-run", "--on", "1", "--off", "17", "--on", "16"});
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
  EXPECT_EQ(run.err, "");  // no bar when stderr is not a terminal
  std::string expected = sample_bytes_;
  expected.replace(AlertOffset(3), 4, Le32(1));
  EXPECT_EQ(ReadBytes(copy), expected);
  EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
}

TEST_F(HdbtoolTest, CopyOntoItselfIsRefusedUnderEverySpelling) {
  // The very same spelling too: the catalogue would take it as a save in place.
  const std::string here = dir_.path();
  std::filesystem::create_hard_link(sample_, dir_ / "hard.hdb");
  std::vector<std::string> spellings = {sample_, here + "/./sample.hdb", dir_ / "hard.hdb"};
#ifdef _WIN32
  spellings.push_back(dir_ / "SAMPLE.HDB");  // names compare without regard to case
  const std::string listing = "hard.hdb sample.hdb ";
#else
  ASSERT_EQ(::symlink(sample_.c_str(), (dir_ / "link.hdb").c_str()), 0);
  spellings.push_back(dir_ / "link.hdb");
  const std::string listing = "hard.hdb link.hdb sample.hdb ";
#endif
  for (const std::string& spelling : spellings) {
    SCOPED_TRACE(spelling);
    const ToolRun run = Hdbtool({"copy", sample_, spelling, "--on", "3"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err,
              "A sharing violation occurred while accessing " + spelling +
                  ". It is the database being copied; a copy never writes over its source.\n");
    EXPECT_EQ(ReadBytes(sample_), sample_bytes_);
  }
  EXPECT_EQ(ListFolder(here), listing);
}

#ifndef _WIN32

TEST_F(HdbtoolTest, CopyTakesTheSourcePermissionsExistingTargetsKeepTheirs) {
  const mode_t old_umask = ::umask(022);
  ASSERT_EQ(::chmod(sample_.c_str(), 0600), 0);
  const std::string fresh = dir_ / "fresh.hdb", existing = dir_ / "existing.hdb";
  WriteBytes(existing, "previous");
  ASSERT_EQ(::chmod(existing.c_str(), 0664), 0);
  for (const std::string& target : {fresh, existing})
    EXPECT_EQ(Hdbtool({"copy", sample_, target}).exit_code, 0);
  ::umask(old_umask);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat(existing.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(ReadBytes(existing), sample_bytes_);
}

// Root writing through a link another user planted in a sticky, world-writable
// folder: refused with the reason, the file the link names stays as it was.
TEST_F(HdbtoolTest, CopyRefusesALinkAnotherUserPlantedInAStickyFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  const std::string sticky = dir_ / "sticky", secret = dir_ / "secret.hdb";
  ASSERT_EQ(::mkdir(sticky.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  WriteBytes(secret, "root only");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  const std::string link = sticky + "/out.hdb";
  ASSERT_EQ(::symlink(secret.c_str(), link.c_str()), 0);
  ASSERT_EQ(::lchown(link.c_str(), 4242, 4242), 0);

  const ToolRun run = Hdbtool({"copy", sample_, link});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err,
            "Access to " + link + " was denied. " + link +
                " is a symbolic link in a sticky, world-writable folder, owned by neither you "
                "nor the folder's owner; it is not followed.\n");
  EXPECT_EQ(ReadBytes(secret), "root only");
  EXPECT_EQ(ListFolder(sticky), "out.hdb ");
}

// The most bytes in a file pid has open in folder, except the file except;
// none when it has none open.
std::optional<std::uint64_t> BytesBeingWritten(pid_t pid, const std::string& folder,
                                               const std::string& except) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* listing = ::opendir(fds.c_str());
  if (!listing) return std::nullopt;
  std::optional<std::uint64_t> size;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string fd = fds + "/" + entry->d_name;
    char target[4096];
    const ssize_t n = ::readlink(fd.c_str(), target, sizeof target);
    if (n <= 0) continue;
    const std::string name(target, static_cast<std::size_t>(n));
    struct stat st {};
    if (name.rfind(folder + "/", 0) != 0 || name == except || ::stat(fd.c_str(), &st) != 0)
      continue;
    if (S_ISREG(st.st_mode))
      size = std::max<std::uint64_t>(size.value_or(0), static_cast<std::uint64_t>(st.st_size));
  }
  ::closedir(listing);
  return size;
}

// A copy killed halfway, however it is killed, leaves the folder as it was:
// no hidden file, no partial copy, an existing target unharmed.
TEST_F(HdbtoolTest, KilledCopyLeavesNothingBehind) {
  const std::string big = dir_ / "big.hdb";
  SampleOptions options;
  options.sets = 1000;
  options.tail_bytes = 256u << 20;
  ASSERT_FALSE(WriteSampleDatabase(big, options));
  const std::string existing = dir_ / "existing.hdb";
  WriteBytes(existing, "previous contents");
  const struct {
    int signal_number;
    bool onto_existing;
  } cases[] = {
      {SIGKILL, false}, {SIGKILL, true}, {SIGTERM, false}, {SIGINT, true}, {SIGHUP, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal_number)) + (c.onto_existing ? " onto a file" : ""));
    const std::string listing = ListFolder(dir_.path());
    const std::string target = c.onto_existing ? existing : dir_ / "copy.hdb";
    const pid_t pid = StartHdbtool({"copy", big, target}, "/dev/null", "/dev/null");
    ASSERT_GT(pid, 0);
    // Past the first MiB of the copy, well before its end.
    bool caught = false, ended = false;
    int status = 0;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!caught && !ended && std::chrono::steady_clock::now() < give_up) {
      const auto written = BytesBeingWritten(pid, dir_.path(), big);
      caught = written && *written > (1u << 20);
      if (!caught) ended = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!ended) {
      ::kill(pid, caught ? c.signal_number : SIGKILL);
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    ASSERT_TRUE(caught) << "the copy ended before it could be interrupted";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number);
    EXPECT_EQ(ListFolder(dir_.path()), listing);
    EXPECT_TRUE(ReadBytes(existing) == "previous contents");
  }
}

#endif

TEST_F(HdbtoolTest, HeldDatabaseGivesTheCatalogueMessage) {
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(sample_).ok());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"list", sample_},
                                               {"set", sample_, "--on", "1"},
                                               {"copy", sample_, dir_ / "c.hdb"},
                                               {"check", sample_}}) {
    const ToolRun run = Hdbtool(args);
    EXPECT_EQ(run.exit_code, 1) << args[0];
    EXPECT_EQ(run.err, "A sharing violation occurred while accessing " + sample_ + ".\n")
        << args[0];
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
      {DatabaseBytes({{0, "a"}, {0, std::string(256, 'n')}}),
       "the name of hash set 1 has no terminating NUL."},
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

#ifndef _WIN32
// Windows: the real registry, WindowsRegistry.DefaultDatabaseFromTheRealKeys.
TEST_F(HdbtoolTest, DefaultOpensTheRegistryCandidate) {
  const std::string config = dir_ / "config";
  ASSERT_EQ(::mkdir(config.c_str(), 0755), 0);
  ::setenv("VELMORA_CONFIG_DIR", config.c_str(), 1);
  ToolRun run = Hdbtool({"default"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "Couldn't load the default database.\n");

  WriteBytes(
      config + "/registry.ini",
      "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]\nPath=" + sample_ + "\n");
  run = Hdbtool({"default"});
  ::unsetenv("VELMORA_CONFIG_DIR");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, sample_ + "\n");
}
#endif

TEST_F(HdbtoolTest, MakeSampleWritesTheAskedSize) {
  const std::string path = dir_ / "made.hdb";
  ASSERT_EQ(Hdbtool({"make-sample", path, "--sets", "5", "--tail-bytes", "100"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(path).size(), 20u + 5 * 260 + 100);
  EXPECT_EQ(Hdbtool({"check", path}).exit_code, 0);
  EXPECT_EQ(Hdbtool({"make-sample", dir_ / "no/such/folder.hdb"}).exit_code, 1);
}

// Two releases of a library: the old one with the examiner's alerts, the new
// one with sets moved, one renamed away ("Retired set"), one added, a name
// that lost a duplicate, a Windows-1252 name and a name without a NUL.
class WorkflowTest : public HdbtoolTest {
 protected:
  void SetUp() override {
    HdbtoolTest::SetUp();
    WriteBytes(old_, old_bytes_);
    WriteBytes(new_, new_bytes_);
  }

  const std::string no_nul_ = std::string(256, 'n');
  const std::string old_bytes_ = DatabaseBytes({{1, "Trojans"},
                                                {0, "Known Good"},
                                                {1, "Twin"},
                                                {0, "Twin"},
                                                {1, "F\xE4lle"},
                                                {1, no_nul_},
                                                {1, "Retired set"},
                                                {0, "Dup"},
                                                {1, "Dup"}},
                                               "OLD TAIL");
  const std::string new_bytes_ = DatabaseBytes({{0, "Known Good"},
                                                {0, "Twin"},
                                                {0, "Trojans"},
                                                {0, "Twin"},
                                                {0, "F\xE4lle"},
                                                {0, no_nul_},
                                                {0, "Added set"},
                                                {0, "Dup"}},
                                               "NEW TAIL");
  std::string old_ = dir_ / "old.hdb";
  std::string new_ = dir_ / "new.hdb";
};

TEST_F(WorkflowTest, DiffListsPairsThatDifferAndOneSidedSets) {
  const ToolRun run = Hdbtool({"diff", old_, new_});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(run.out,
            "0\t2\t1\t0\tTrojans\n"
            "2\t1\t1\t0\tTwin\n"
            "4\t4\t1\t0\tF\xE4lle\n"
            "5\t5\t1\t0\t" +
                no_nul_ +
                "\n"
                "6\t-\t1\t-\tRetired set\n"
                "8\t-\t1\t-\tDup\n"
                "-\t6\t-\t0\tAdded set\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBytes(old_), old_bytes_);
  EXPECT_EQ(ReadBytes(new_), new_bytes_);
}

TEST_F(WorkflowTest, DiffJsonDecodesNamesAndNullsTheMissingSide) {
  const std::string a = dir_ / "a.hdb", b = dir_ / "b.hdb";
  WriteBytes(a, DatabaseBytes({{1, "F\xE4lle \"x\"\n"}, {0, "only a"}}));
  WriteBytes(b, DatabaseBytes({{0, "F\xE4lle \"x\"\n"}, {1, "only b"}}));
  const ToolRun run = Hdbtool({"diff", "--json", a, b});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(
      run.out,
      "[\n"
      " {\"index_a\":0,\"alert_a\":true,\"index_b\":0,\"alert_b\":false,\"name\":\"F\u00E4lle \\\"x\\\"\\n\"},\n"
      " {\"index_a\":1,\"alert_a\":false,\"index_b\":null,\"alert_b\":null,\"name\":\"only a\"},\n"
      " {\"index_a\":null,\"alert_a\":null,\"index_b\":1,\"alert_b\":true,\"name\":\"only b\"}\n"
      "]\n");
  EXPECT_EQ(Hdbtool({"diff", a, a, "--json"}).out, "[]\n");
}

TEST_F(WorkflowTest, DiffExitsZeroWhenThePairsAgree) {
  // After apply, the sets on one side only (withdrawn, added, a duplicate
  // lost) are listed but agree; a pair that differs again makes exit 1.
  ASSERT_EQ(Hdbtool({"apply", new_, "--from", old_}).exit_code, 0);
  const std::string one_sided = "6\t-\t1\t-\tRetired set\n8\t-\t1\t-\tDup\n-\t6\t-\t0\tAdded set\n";
  ToolRun run = Hdbtool({"diff", old_, new_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, one_sided);
  ASSERT_EQ(Hdbtool({"set", new_, "--on", "name=Dup"}).exit_code, 0);
  run = Hdbtool({"diff", old_, new_});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out,
            "6\t-\t1\t-\tRetired set\n7\t7\t0\t1\tDup\n8\t-\t1\t-\tDup\n-\t6\t-\t0\tAdded set\n");
  // A file agrees with itself under any spelling.
  for (const std::string& spelling : {old_, dir_.path() + "/./old.hdb"}) {
    run = Hdbtool({"diff", old_, spelling});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(WorkflowTest, DiffTroubleExitsTwoWithTheMessage) {
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(new_).ok());
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"diff", old_, dir_ / "none.hdb"}, dir_ / "none.hdb was not found.\n"},
      {{"diff", old_, new_}, "A sharing violation occurred while accessing " + new_ + ".\n"},
      {{"diff", new_, old_}, "A sharing violation occurred while accessing " + new_ + ".\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Hdbtool(c.args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(WorkflowTest, ApplyCarriesTheOldAlertsByName) {
  const ToolRun run = Hdbtool({"apply", new_, "--from", old_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "1\t1\tTwin\n2\t1\tTrojans\n4\t1\tF\xE4lle\n5\t1\t" + no_nul_ + "\n");
  EXPECT_EQ(run.err, "Not applied (0 in " + new_ + ", 1 in " + old_ + "): Retired set\n" +
                         "Not applied (1 in " + new_ + ", 2 in " + old_ + "): Dup\n");
  std::string expected = new_bytes_;
  for (const std::uint32_t i : {1u, 2u, 4u, 5u}) expected.replace(AlertOffset(i), 4, Le32(1));
  EXPECT_EQ(ReadBytes(new_), expected);
  EXPECT_EQ(ReadBytes(old_), old_bytes_);
  // What is left for diff is what apply reported.
  const ToolRun diff = Hdbtool({"diff", old_, new_});
  EXPECT_EQ(diff.out, "6\t-\t1\t-\tRetired set\n8\t-\t1\t-\tDup\n-\t6\t-\t0\tAdded set\n");
}

TEST_F(WorkflowTest, ApplyDryRunPrintsTheSameAndWritesNothing) {
  const ToolRun run = Hdbtool({"apply", new_, "--dry-run", "--from", old_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "1\t1\tTwin\n2\t1\tTrojans\n4\t1\tF\xE4lle\n5\t1\t" + no_nul_ + "\n");
  EXPECT_EQ(ReadBytes(new_), new_bytes_);
  const ToolRun names =
      Hdbtool({"apply", old_, "--dry-run", "--names-from", "-", "--off"}, "Twin\n");
  EXPECT_EQ(names.out, "2\t0\tTwin\n");
  EXPECT_EQ(ReadBytes(old_), old_bytes_);
}

TEST_F(WorkflowTest, ApplyNamesFromAListFileOrStandardInput) {
  const std::string list = dir_ / "names.txt";
  WriteBytes(list, "Twin\r\n\r\nF\xE4lle\nTwin\n" + no_nul_);
  ToolRun run = Hdbtool({"apply", new_, "--names-from", list, "--on"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "1\t1\tTwin\n3\t1\tTwin\n4\t1\tF\xE4lle\n5\t1\t" + no_nul_ + "\n");
  std::string expected = new_bytes_;
  for (const std::uint32_t i : {1u, 3u, 4u, 5u}) expected.replace(AlertOffset(i), 4, Le32(1));
  EXPECT_EQ(ReadBytes(new_), expected);

  run = Hdbtool({"apply", new_, "--off", "--names-from", "-"}, "Twin\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "1\t0\tTwin\n3\t0\tTwin\n");
  expected.replace(AlertOffset(1), 4, Le32(0));
  expected.replace(AlertOffset(3), 4, Le32(0));
  EXPECT_EQ(ReadBytes(new_), expected);
}

TEST_F(WorkflowTest, ApplyErrorsWriteNothing) {
  CHashSetCatalogue holder;
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::string message;
  } cases[] = {
      {{"apply", new_, "--names-from", "-", "--on"},
       "Twin\nNo such\x1b[2J\nTwin \n",
       "No hash set in " + new_ + " is named \"No such\\x1b[2J\".\nNo hash set in " + new_ +
           " is named \"Twin \".\n"},
      {{"apply", new_, "--names-from", dir_ / "none.txt", "--on"},
       "",
       dir_ / "none.txt was not found.\n"},
      {{"apply", new_, "--names-from", dir_.path(), "--on"},
       "",
       "Access to " + dir_.path() + " was denied.\n"},
      {{"apply", new_, "--from", dir_ / "none.hdb"}, "", dir_ / "none.hdb was not found.\n"},
      {{"apply", dir_ / "none.hdb", "--from", old_}, "", dir_ / "none.hdb was not found.\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Hdbtool(c.args, c.input);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
  ASSERT_TRUE(holder.Load(old_).ok());
  const ToolRun held = Hdbtool({"apply", new_, "--from", old_});
  EXPECT_EQ(held.exit_code, 1);
  EXPECT_EQ(held.err, "A sharing violation occurred while accessing " + old_ + ".\n");
  EXPECT_EQ(ReadBytes(new_), new_bytes_);
  EXPECT_EQ(ReadBytes(old_), old_bytes_);
}

TEST_F(WorkflowTest, ExportCsvFollowsRfc4180) {
  const std::string path = dir_ / "csv.hdb";
  WriteBytes(
      path,
      DatabaseBytes(
          {{1, "F\xE4lle, \"M\xFCnchen\""}, {0, "two\r\nlines"}, {2, "plain \x80"}, {0, ""}}));
  const ToolRun run = Hdbtool({"export", path, "--csv"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "index,alert,name\r\n"
            "0,1,\"F\u00E4lle, \"\"M\u00FCnchen\"\"\"\r\n"
            "1,0,\"two\r\nlines\"\r\n"
            "2,1,plain \u20AC\r\n"
            "3,0,\r\n");
  EXPECT_EQ(Hdbtool({"export", path, "--json"}).out, Hdbtool({"list", path, "--json"}).out);
  WriteBytes(path, DatabaseBytes({}));
  EXPECT_EQ(Hdbtool({"export", path, "--csv"}).out, "index,alert,name\r\n");
}

// On a terminal, RFC 4180 has no escape for control characters: they show as
// '?', as ls shows them, while the same export redirected stays exact.
TEST_F(WorkflowTest, ExportCsvToATerminalShowsControlsAsQuestionMarks) {
  const std::string path = dir_ / "hostile.hdb";
  WriteBytes(path, DatabaseBytes({{1, "x\x1b]2;owned\x07\x9d"}}));
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string terminal = ::ptsname(master);
  const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios raw{};
  ASSERT_EQ(::tcgetattr(slave, &raw), 0);
  ::cfmakeraw(&raw);  // no line-end translation between the tool and the test
  ASSERT_EQ(::tcsetattr(slave, TCSANOW, &raw), 0);
  const pid_t pid = StartHdbtool({"export", path, "--csv"}, terminal, dir_ / ".err");
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<std::size_t>(got));
  ::close(slave);
  ::close(master);
  EXPECT_EQ(shown, "index,alert,name\r\n0,1,x?]2;owned??\r\n");
  EXPECT_EQ(Hdbtool({"export", path, "--csv"}).out,
            "index,alert,name\r\n0,1,x\x1b]2;owned\x07\u009d\r\n");
}

TEST_F(WorkflowTest, StatsCountsAndSumsTheRecordTable) {
  const ToolRun run = Hdbtool({"stats", old_});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  // The sum is sha256sum of the file's bytes 20 to 20 + 260 * 9.
  EXPECT_EQ(
      run.out,
      "sets: 9\nalerts on: 6\nduplicate names: 2\nsets sharing a name: 4\ntail bytes: 8\n"
      "record table sha256: " +
          Sha256Hex({reinterpret_cast<const std::uint8_t*>(old_bytes_.data()) + 20, 260 * 9}) +
          "\n");
  WriteBytes(old_, DatabaseBytes({}));
  EXPECT_EQ(
      Hdbtool({"stats", old_}).out,
      "sets: 0\nalerts on: 0\nduplicate names: 0\nsets sharing a name: 0\ntail bytes: 0\n"
      "record table sha256: e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n");
}

// The log's lines, each checked for its fields but the time, user and host,
// which are checked for form.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  std::string text = ReadBytes(log);
  for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) {
    lines.push_back(text.substr(0, end));
  }
  EXPECT_EQ(text, "") << "the log ends with a line break";
  return lines;
}

std::string WithoutWhoAndWhen(const std::string& line) {
  // {"time":"YYYY-MM-DDTHH:MM:SSZ","user":"...","host":"...", ...
  const std::size_t command = line.find(",\"command\":");
  EXPECT_EQ(line.substr(0, 9), "{\"time\":\"");
  EXPECT_EQ(line[9 + 19], 'Z');
  EXPECT_NE(line.find("\",\"user\":\""), std::string::npos);
  return command == std::string::npos ? line : "{" + line.substr(command + 1);
}

TEST_F(WorkflowTest, LogRecordsEachSavedRun) {
  const std::string log = dir_ / "audit.log";
  auto table_sum = [&](const std::string& path) {
    const std::string bytes = ReadBytes(path);
    return Sha256Hex(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()) + 20, bytes.size() - 20 - 8});
  };
  const std::string new_before = table_sum(new_);
  ASSERT_EQ(Hdbtool({"apply", new_, "--from", old_, "--log", log}).exit_code, 0);
  const std::string new_after = table_sum(new_);
  ASSERT_EQ(Hdbtool({"set", old_, "--off", "0", "--log=" + log}).exit_code, 0);
  const std::string copy = dir_ / "copy.hdb";
  ASSERT_EQ(Hdbtool({"copy", new_, copy, "--on", "name=Added set", "--log", log}).exit_code, 0);
  // Runs that save nothing log nothing.
  ASSERT_EQ(Hdbtool({"set", old_, "--on", "0", "--dry-run", "--log", log}).exit_code, 0);
  ASSERT_EQ(Hdbtool({"set", old_, "--on", "99", "--log", log}).exit_code, 1);

  const std::vector<std::string> lines = LogLines(log);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      WithoutWhoAndWhen(lines[0]),
      "{\"command\":\"apply\",\"database\":\"" + new_ + "\",\"source\":\"" + old_ +
          "\",\"table_sha256_before\":\"" + new_before + "\",\"table_sha256_after\":\"" +
          new_after +
          "\",\"changed\":[{\"index\":1,\"alert\":true,\"name\":\"Twin\"},{\"index\":2,\"alert\":true,\"name\":"
          "\"Trojans\"},{\"index\":4,\"alert\":true,\"name\":\"F\u00E4lle\"},{\"index\":5,\"alert\":true,"
          "\"name\":\"" +
          no_nul_ + "\"}]}");
  EXPECT_EQ(
      WithoutWhoAndWhen(lines[1]),
      "{\"command\":\"set\",\"database\":\"" + old_ + "\",\"table_sha256_before\":\"" +
          Sha256Hex({reinterpret_cast<const std::uint8_t*>(old_bytes_.data()) + 20, 260 * 9}) +
          "\",\"table_sha256_after\":\"" + table_sum(old_) +
          "\",\"changed\":[{\"index\":0,\"alert\":false,\"name\":\"Trojans\"}]}");
  EXPECT_EQ(WithoutWhoAndWhen(lines[2]),
            "{\"command\":\"copy\",\"database\":\"" + copy + "\",\"source\":\"" + new_ +
                "\",\"table_sha256_before\":\"" + new_after + "\",\"table_sha256_after\":\"" +
                table_sum(copy) +
                "\",\"changed\":[{\"index\":6,\"alert\":true,\"name\":\"Added set\"}]}");
  struct stat st {};
  ASSERT_EQ(::stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(WorkflowTest, ALogThatCannotBeWrittenStopsTheRunBeforeTheSave) {
  WriteBytes(dir_ / "target.log", "kept\n");
  ASSERT_EQ(::symlink((dir_ / "target.log").c_str(), (dir_ / "link.log").c_str()), 0);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"set", new_, "--on", "0", "--log", dir_ / "link.log"},
       "Access to " + dir_ / "link.log" +
           " was denied. The log is a symbolic link; it is not followed.\n"},
      {{"apply", new_, "--from", old_, "--log", old_},
       "Access to " + old_ + " was denied. It is a database of this run, not a log.\n"},
      {{"copy", new_, dir_ / "c.hdb", "--log", dir_ / "c.hdb"},
       "Access to " + dir_ / "c.hdb" + " was denied. It is the copy being written, not a log.\n"},
      {{"apply", new_, "--from", old_, "--log", dir_ / "no/such/audit.log"},
       dir_ / "no/such/audit.log was not found.\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Hdbtool(c.args);
    EXPECT_EQ(run.exit_code, 1) << c.args[0];
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(ReadBytes(new_), new_bytes_);
  EXPECT_EQ(ReadBytes(old_), old_bytes_);
  EXPECT_EQ(ReadBytes(dir_ / "target.log"), "kept\n");
  EXPECT_FALSE(Exists(dir_ / "c.hdb"));
}

// A log that fails after the save (here: the file size limit, as a full disk
// would) is an error with the reason; the save stands and the log keeps what
// it had.
TEST_F(WorkflowTest, ALogThatFailsAfterTheSaveSaysSoAndTheSaveStands) {
  const std::string log = dir_ / "audit.log", err = dir_ / "err.txt";
  const std::string before(512, 'L');
  WriteBytes(log, before);
  // ulimit -f counts 512-byte blocks; SIGXFSZ ignored makes the write fail with EFBIG.
  const std::string command = "trap '' XFSZ; ulimit -f 1; exec '" + std::string(HDBTOOL_PATH) +
                              "' set '" + new_ + "' --on 0 --log '" + log + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(ReadBytes(err), "An unknown error occurred while accessing " + log + ". " + new_ +
                                " was saved; this run is missing from the log.\n");
  std::string expected = new_bytes_;
  expected.replace(AlertOffset(0), 4, Le32(1));
  EXPECT_EQ(ReadBytes(new_), expected);
  EXPECT_EQ(ReadBytes(log), before);
}

TEST_F(WorkflowTest, AFailedSaveLeavesNoLogLine) {
  CHashSetCatalogue holder;
  ASSERT_TRUE(holder.Load(new_).ok());
  const std::string log = dir_ / "audit.log";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"set", new_, "--on", "0", "--log", log},
        {"apply", new_, "--from", old_, "--log", log},
        {"copy", old_, new_, "--log", log}}) {
    EXPECT_EQ(Hdbtool(args).exit_code, 1) << args[0];
  }
  EXPECT_FALSE(Exists(log));
  EXPECT_EQ(ReadBytes(new_), new_bytes_);
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
      {"diff", sample_},
      {"diff", sample_, sample_, "--csv"},
      {"apply", sample_},
      {"apply", sample_, "--from", sample_, "--names-from", "-", "--on"},
      {"apply", sample_, "--from", sample_, "--on"},
      {"apply", sample_, "--names-from", "-"},
      {"apply", sample_, "--names-from", "-", "--on", "--off"},
      {"apply", sample_, "--names-from", "-", "--on=1"},
      {"apply", sample_, "--from"},
      {"set", sample_, "--from", sample_},
      {"list", sample_, "--log", dir_ / "x.log"},
      {"export", sample_},
      {"export", sample_, "--csv", "--json"},
      {"stats", sample_, "--json"},
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
