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
  pid_t StartHdbtool(std::vector<std::string> args, const std::string& out, const std::string& err) {
    args.insert(args.begin(), HDBTOOL_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    if (posix_spawn(&pid, HDBTOOL_PATH, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
  }

#endif

  ToolRun Hdbtool(std::vector<std::string> args) {
    const std::string out = dir_ / ".out", err = dir_ / ".err";
    ToolRun run;
#ifdef _WIN32
    run.exit_code = testing_support::RunProgram(HDBTOOL_PATH, args, out, err);
#else
    const pid_t pid = StartHdbtool(std::move(args), out, err);
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

TEST_F(HdbtoolTest, CopyOntoItselfIsRefusedUnderEverySpelling) {
  // The very same spelling too: the catalogue would take it as a save in place.
  const std::string here = dir_.path();
  std::filesystem::create_hard_link(sample_, dir_ / "hard.hdb");
  std::vector<std::string> spellings = {sample_, here + "/./sample.hdb", dir_ / "hard.hdb"};
#ifdef _WIN32
  spellings.push_back(dir_ / "SAMPLE.HDB");   // names compare without regard to case
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
    EXPECT_EQ(run.err, "A sharing violation occurred while accessing " + spelling +
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
  for (const std::string& target : {fresh, existing}) EXPECT_EQ(Hdbtool({"copy", sample_, target}).exit_code, 0);
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
  EXPECT_EQ(run.err, "Access to " + link + " was denied. " + link +
                         " is a symbolic link in a sticky, world-writable folder, owned by neither you "
                         "nor the folder's owner; it is not followed.\n");
  EXPECT_EQ(ReadBytes(secret), "root only");
  EXPECT_EQ(ListFolder(sticky), "out.hdb ");
}

// The most bytes in a file pid has open in folder, except the file except;
// none when it has none open.
std::optional<std::uint64_t> BytesBeingWritten(pid_t pid, const std::string& folder, const std::string& except) {
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
    if (name.rfind(folder + "/", 0) != 0 || name == except || ::stat(fd.c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) size = std::max<std::uint64_t>(size.value_or(0), static_cast<std::uint64_t>(st.st_size));
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
  } cases[] = {{SIGKILL, false}, {SIGKILL, true}, {SIGTERM, false}, {SIGINT, true}, {SIGHUP, false}};
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

#ifndef _WIN32
// Windows: the real registry, WindowsRegistry.DefaultDatabaseFromTheRealKeys.
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
#endif

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
