// The file services on every platform; what exists only on POSIX (fork,
// permission bits, symbolic links, signals, unnamed files) is marked so.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/file.h"
#include "tests/platform/test_files.h"

namespace {

std::unique_ptr<File> OpenHeld(const std::string& path, FileError& error) {
  return DefaultFileSystem().Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error);
}

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(path_, "0123456789"); }
  TempDir dir_;
  std::string path_ = dir_ / "data.bin";
};

TEST_F(FileTest, HeldAgainstEveryOtherOpenInThisProcess) {
  FileError error;
  auto first = OpenHeld(path_, error);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Path(), path_);

  error = {};
  EXPECT_FALSE(OpenHeld(path_, error));
  EXPECT_EQ(error.cause, 11);
  EXPECT_EQ(error.path, path_);

  first->Close();
  EXPECT_TRUE(OpenHeld(path_, error));
}

#ifndef _WIN32
// Windows: FileWin32Test.HeldAgainstAnotherProcess.
TEST_F(FileTest, HeldAgainstAnotherProcess) {
  FileError error;
  auto held = OpenHeld(path_, error);
  ASSERT_TRUE(held);
  auto cause_in_child = [&]() {
    const pid_t child = fork();
    if (child == 0) {
      FileError child_error;
      auto file = OpenHeld(path_, child_error);
      _exit(file ? 0 : child_error.cause);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(cause_in_child(), 11);
  held->Close();
  EXPECT_EQ(cause_in_child(), 0);
}
#endif

TEST_F(FileTest, OpenFailuresHaveTheirCauses) {
  WriteBytes(dir_ / "plain", "x");
  const struct {
    std::string path;
    int cause;
  } cases[] = {
      {dir_ / "missing.hdb", 2},
      {dir_.path(), 5},                   // a folder
      {dir_ / "plain/below", 3},          // a file used as a folder
      {dir_ / std::string(300, 'n'), 3},  // a name too long
      {"", 2},
  };
  for (const auto& c : cases) {
    FileError error;
    EXPECT_FALSE(OpenHeld(c.path, error)) << c.path;
    EXPECT_EQ(error.cause, c.cause) << c.path;
    EXPECT_EQ(error.path, c.path);
  }
}

TEST_F(FileTest, ReadWriteSeekLength) {
  FileError error;
  auto file = OpenHeld(path_, error);
  ASSERT_TRUE(file);
  ASSERT_FALSE(file->Seek(8));
  char buffer[16] = {};
  std::size_t done = 0;
  ASSERT_FALSE(file->Read(buffer, sizeof buffer, done));
  EXPECT_EQ(std::string(buffer, done), "89");  // fewer than asked is no error
  ASSERT_FALSE(file->Read(buffer, sizeof buffer, done));
  EXPECT_EQ(done, 0u);

  ASSERT_FALSE(file->Write("ab", 2));
  std::uint64_t length = 0;
  ASSERT_FALSE(file->Length(length));
  EXPECT_EQ(length, 12u);
  ASSERT_FALSE(file->Write("c", 1));  // the position stayed at the end
  ASSERT_FALSE(file->Flush());
#ifdef _WIN32
  file->Close();  // nobody else may read it before
  EXPECT_EQ(ReadBytes(path_), "0123456789abc");
#else
  EXPECT_EQ(ReadBytes(path_), "0123456789abc");
  file->Close();
#endif
  EXPECT_EQ(file->Read(buffer, 1, done)->cause, 6);
  EXPECT_EQ(file->Write("x", 1)->cause, 6);
  EXPECT_EQ(file->Flush()->cause, 6);
}

TEST_F(FileTest, RelativePathsAreNamedInFull) {
  FileError error;
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  auto file = OpenHeld("data.bin", error);
  std::filesystem::current_path(here);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), path_);
}

TEST_F(FileTest, ReplacementIsWrittenBesideAndRenamedOver) {
#ifndef _WIN32
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
#endif
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(path_, kNewFileMode, error);
  ASSERT_TRUE(replacement);
  EXPECT_EQ(replacement->Path(), path_);
  ASSERT_FALSE(replacement->Write("new", 3));
  EXPECT_EQ(ReadBytes(path_), "0123456789");  // untouched until the rename

  ASSERT_FALSE(files.ReplaceWith(*replacement, path_));
  EXPECT_EQ(ListFolder(dir_.path()), "data.bin ");
#ifndef _WIN32
  EXPECT_EQ(ReadBytes(path_), "new");  // Windows lets nobody read it while held
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif

  // Still open and held under its new name.
  EXPECT_FALSE(OpenHeld(path_, error));
  EXPECT_EQ(error.cause, 11);
  ASSERT_FALSE(replacement->Write("er", 2));
  replacement->Close();
  EXPECT_EQ(ReadBytes(path_), "newer");
}

TEST_F(FileTest, DiscardedReplacementLeavesNothing) {
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(dir_ / "fresh.bin", kNewFileMode, error);
  ASSERT_TRUE(replacement);
  ASSERT_FALSE(replacement->Write("partial", 7));
  files.Discard(std::move(replacement));
  EXPECT_EQ(ListFolder(dir_.path()), "data.bin ");
}

TEST_F(FileTest, OnlyPlainFilesAreReplaced) {
  std::vector<std::string> names = {"folder"};
  ASSERT_TRUE(std::filesystem::create_directory(dir_ / "folder"));
#ifndef _WIN32
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0644), 0);
  names.push_back("pipe");
#endif
  const std::string before = ListFolder(dir_.path());
  for (const std::string& name : names) {
    FileError error;
    EXPECT_FALSE(DefaultFileSystem().CreateReplacementFor(dir_ / name, kNewFileMode, error))
        << name;
    EXPECT_EQ(error.cause, 5);
  }
  EXPECT_EQ(ListFolder(dir_.path()), before);
}

#ifndef _WIN32
TEST_F(FileTest, ReplacingThroughALinkKeepsTheLink) {
  const std::string link = dir_ / "link.bin";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(link, kNewFileMode, error);
  ASSERT_TRUE(replacement);
  ASSERT_FALSE(replacement->Write("via link", 8));
  ASSERT_FALSE(files.ReplaceWith(*replacement, link));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadBytes(path_), "via link");
}

// Where the file system has unnamed files the replacement has no name until
// it is placed, so nothing can be left behind; elsewhere it has a hidden one.
TEST_F(FileTest, ReplacementIsNamedOnlyWhenPlaced) {
  const struct {
    const char* kind;
    FileSystem& files;
    bool hidden_name_while_written;
  } cases[] = {{"unnamed", DefaultFileSystem(), false},
               {"named", FileSystemWithoutUnnamedFiles(), true}};
  for (const auto& c : cases) {
    for (const std::string& target : {path_, dir_ / "new.bin"}) {
      SCOPED_TRACE(std::string(c.kind) + " " + target);
      FileError error;
      auto replacement = c.files.CreateReplacementFor(target, kNewFileMode, error);
      ASSERT_TRUE(replacement);
      ASSERT_FALSE(replacement->Write("new", 3));
      ASSERT_FALSE(replacement->Flush());
      const std::string before = ListFolder(dir_.path());
      EXPECT_EQ(before != "data.bin " && before != "data.bin new.bin ", c.hidden_name_while_written)
          << before;
      ASSERT_FALSE(c.files.ReplaceWith(*replacement, target));
      EXPECT_EQ(ReadBytes(target), "new");
      EXPECT_EQ(ListFolder(dir_.path()), target == path_ ? "data.bin " : "data.bin new.bin ");
      EXPECT_FALSE(OpenHeld(target, error));  // placed, still open and held
      EXPECT_EQ(error.cause, 11);
      replacement->Close();
    }
    EXPECT_EQ(ListFolder(dir_.path()), "data.bin new.bin ");
    ASSERT_EQ(::unlink((dir_ / "new.bin").c_str()), 0);
  }
}

// Runs in a child: a replacement of dir/new.bin under a hidden name, written
// and left waiting; returns the child once the file is there.
pid_t ChildWritingAHiddenReplacement(const TempDir& dir) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    FileError error;
    auto replacement =
        FileSystemWithoutUnnamedFiles().CreateReplacementFor(dir / "new.bin", kNewFileMode, error);
    if (!replacement || replacement->Write("partial", 7)) _exit(1);
    if (::write(ready[1], "r", 1) != 1) _exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  const bool started = ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  return started ? child : -1;
}

TEST_F(FileTest, HiddenReplacementGoesWithTheSignalThatEndsTheProcess) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal_number));
    const pid_t child = ChildWritingAHiddenReplacement(dir_);
    ASSERT_GT(child, 0);
    EXPECT_NE(ListFolder(dir_.path()), "data.bin ");
    ::kill(child, signal_number);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);  // ends as it would have
    EXPECT_EQ(ListFolder(dir_.path()), "data.bin ");
  }
}

// A kill -9 leaves a hidden replacement on a file system without unnamed
// files; the next replacement in that folder removes it, and only it.
TEST_F(FileTest, LeftoversOfProcessesThatAreGoneAreRemoved) {
  const pid_t child = ChildWritingAHiddenReplacement(dir_);
  ASSERT_GT(child, 0);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const std::string gone = std::to_string(child);
  ASSERT_EQ(ListFolder(dir_.path()).find(".new.bin.tmp" + gone + "-"), 0u);

  // Look-alikes that stay: another naming, a live process, a link, a folder,
  // a file of another user.
  const std::vector<std::string> kept = {"data.bin.tmp" + gone + "-0-1", ".a.tmp" + gone + "-0",
                                         ".a.tmp" + gone + "-0-1.bak",   ".a.tmp1-0-1",
                                         ".b.tmp" + gone + "-0-1",       ".c.tmp" + gone + "-0-1",
                                         ".d.tmp" + gone + "-0-1"};
  for (const std::string& name : {kept[0], kept[1], kept[2], kept[3], kept[6]})
    WriteBytes(dir_ / name, "x");
  ASSERT_EQ(::symlink(path_.c_str(), (dir_ / kept[4]).c_str()), 0);
  ASSERT_EQ(::mkdir((dir_ / kept[5]).c_str(), 0700), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((dir_ / kept[6]).c_str(), 4242, 4242), 0);
  } else {
    ::unlink((dir_ / kept[6]).c_str());
  }

  FileError error;
  auto replacement =
      DefaultFileSystem().CreateReplacementFor(dir_ / "other.bin", kNewFileMode, error);
  ASSERT_TRUE(replacement);
  DefaultFileSystem().Discard(std::move(replacement));
  const std::string listing = ListFolder(dir_.path());
  EXPECT_EQ(listing.find(".new.bin.tmp"), std::string::npos) << listing;
  for (const std::string& name : kept) {
    EXPECT_TRUE(Exists(dir_ / name) || (name == kept[6] && ::geteuid() != 0)) << name;
  }
}

// What the kernel's protected_symlinks rule refuses is refused here too, also
// where that rule is off: a link in a sticky, world-writable folder owned by
// neither us nor the folder's owner is not followed, at any step of the path.
TEST_F(FileTest, LinksAnotherUserMayHavePlantedAreNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  const std::string secret = dir_ / "secret";
  WriteBytes(secret, "root only");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  const uid_t other = 4242;
  const struct {
    const char* name;
    mode_t folder_mode;
    uid_t folder_owner;
    uid_t link_owner;
    std::string target;  // below the folder; "link" is the link to secret, "hop" to dir_
    bool refused;
  } cases[] = {
      {"another user's link", 01777, 0, other, "link", true},
      {"our own link", 01777, 0, 0, "link", false},
      {"the folder owner's link", 01777, other, other, "link", false},
      {"a folder that is not sticky", 0777, 0, other, "link", false},
      {"a folder only its owner writes", 01755, 0, other, "link", false},
      {"a link on the way", 01777, 0, other, "hop/secret", true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir_ / ("f" + std::to_string(n++));
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(secret.c_str(), (folder + "/link").c_str()), 0);
    ASSERT_EQ(::symlink(dir_.path().c_str(), (folder + "/hop").c_str()), 0);
    for (const char* link : {"/link", "/hop"})
      ASSERT_EQ(::lchown((folder + link).c_str(), c.link_owner, c.link_owner), 0);
    ASSERT_EQ(::chown(folder.c_str(), c.folder_owner, c.folder_owner), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.folder_mode), 0);
    const std::string target = folder + "/" + c.target;

    FileError error;
    auto replacement = DefaultFileSystem().CreateReplacementFor(target, kNewFileMode, error);
    EXPECT_EQ(!replacement, c.refused);
    if (replacement) {
      DefaultFileSystem().Discard(std::move(replacement));
    } else {
      EXPECT_EQ(error.cause, 5);
      EXPECT_EQ(error.path, target);
      EXPECT_NE(error.Message().find("is a symbolic link in a sticky, world-writable folder"),
                std::string::npos)
          << error.Message();
    }
    EXPECT_EQ(ListFolder(folder), "hop link ");
  }
  EXPECT_EQ(ReadBytes(secret), "root only");
}

#endif

TEST_F(FileTest, IdentityOfEverySpelling) {
  FileSystem& files = DefaultFileSystem();
  std::filesystem::create_hard_link(path_, dir_ / "hard");
  WriteBytes(dir_ / "other", "x");
  const std::string folder_name = std::filesystem::path(dir_.path()).filename().string();
  std::vector<std::string> spellings = {dir_ / "hard", dir_ / "./data.bin",
                                        dir_ / "../" + folder_name + "/data.bin"};
#ifdef _WIN32
  spellings.push_back(dir_ / "DATA.BIN");  // names compare without regard to case
  std::string slashes = path_;
  for (char& c : slashes) c = c == '\\' ? '/' : c;
  spellings.push_back(slashes);
#else
  ASSERT_EQ(symlink(path_.c_str(), (dir_ / "link").c_str()), 0);
  spellings.push_back(dir_ / "link");
#endif
  FileError error;
  auto file = OpenHeld(path_, error);
  ASSERT_TRUE(file);
  const auto id = file->Id();
  ASSERT_TRUE(id);
  for (const std::string& spelling : spellings) {
    EXPECT_EQ(files.IdOf(spelling), id) << spelling;
  }
  EXPECT_NE(files.IdOf(dir_ / "other"), id);
  EXPECT_FALSE(files.IdOf(dir_ / "missing"));
}

TEST(ReplaceFileContents, AllOrNothing) {
  TempDir dir;
  const std::string path = dir / "store.ini";
  WriteBytes(path, "old");
  ASSERT_FALSE(ReplaceFileContents(DefaultFileSystem(), path, "new contents"));
  EXPECT_EQ(ReadBytes(path), "new contents");
  EXPECT_TRUE(ReplaceFileContents(DefaultFileSystem(), dir / "no-folder/store.ini", "x"));
  EXPECT_EQ(ListFolder(dir.path()), "store.ini ");
}

}  // namespace
