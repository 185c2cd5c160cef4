#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

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

TEST_F(FileTest, OpenFailuresHaveTheirCauses) {
  WriteBytes(dir_ / "plain", "x");
  const struct {
    std::string path;
    int cause;
  } cases[] = {
      {dir_ / "missing.hdb", 2},
      {dir_.path(), 5},                                  // a folder
      {dir_ / "plain/below", 3},                         // a file used as a folder
      {dir_ / std::string(300, 'n'), 3},                 // a name too long
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
  EXPECT_EQ(std::string(buffer, done), "89");   // fewer than asked is no error
  ASSERT_FALSE(file->Read(buffer, sizeof buffer, done));
  EXPECT_EQ(done, 0u);

  ASSERT_FALSE(file->Write("ab", 2));
  std::uint64_t length = 0;
  ASSERT_FALSE(file->Length(length));
  EXPECT_EQ(length, 12u);
  ASSERT_FALSE(file->Write("c", 1));   // the position stayed at the end
  ASSERT_FALSE(file->Flush());
  EXPECT_EQ(ReadBytes(path_), "0123456789abc");

  file->Close();
  EXPECT_EQ(file->Read(buffer, 1, done)->cause, 6);
  EXPECT_EQ(file->Write("x", 1)->cause, 6);
  EXPECT_EQ(file->Flush()->cause, 6);
}

TEST_F(FileTest, RelativePathsAreNamedInFull) {
  FileError error;
  const std::string here = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  auto file = OpenHeld("data.bin", error);
  ASSERT_EQ(chdir(here.c_str()), 0);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), path_);
}

TEST_F(FileTest, ReplacementIsWrittenBesideAndRenamedOver) {
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(path_, error);
  ASSERT_TRUE(replacement);
  EXPECT_EQ(replacement->Path(), path_);
  ASSERT_FALSE(replacement->Write("new", 3));
  EXPECT_EQ(ReadBytes(path_), "0123456789");   // untouched until the rename

  ASSERT_FALSE(files.ReplaceWith(*replacement, path_));
  EXPECT_EQ(ReadBytes(path_), "new");
  EXPECT_EQ(ListFolder(dir_.path()), "data.bin ");
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

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
  auto replacement = files.CreateReplacementFor(dir_ / "fresh.bin", error);
  ASSERT_TRUE(replacement);
  ASSERT_FALSE(replacement->Write("partial", 7));
  files.Discard(std::move(replacement));
  EXPECT_EQ(ListFolder(dir_.path()), "data.bin ");
}

TEST_F(FileTest, OnlyPlainFilesAreReplaced) {
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir_ / "folder").c_str(), 0755), 0);
  for (const std::string& name : {std::string("pipe"), std::string("folder")}) {
    FileError error;
    EXPECT_FALSE(DefaultFileSystem().CreateReplacementFor(dir_ / name, error)) << name;
    EXPECT_EQ(error.cause, 5);
  }
  EXPECT_EQ(ListFolder(dir_.path()), "data.bin folder pipe ");
}

TEST_F(FileTest, ReplacingThroughALinkKeepsTheLink) {
  const std::string link = dir_ / "link.bin";
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(link, error);
  ASSERT_TRUE(replacement);
  ASSERT_FALSE(replacement->Write("via link", 8));
  ASSERT_FALSE(files.ReplaceWith(*replacement, link));
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadBytes(path_), "via link");
}

TEST_F(FileTest, IdentityOfEverySpelling) {
  FileSystem& files = DefaultFileSystem();
  ASSERT_EQ(symlink(path_.c_str(), (dir_ / "link").c_str()), 0);
  ASSERT_EQ(link(path_.c_str(), (dir_ / "hard").c_str()), 0);
  WriteBytes(dir_ / "other", "x");
  FileError error;
  auto file = OpenHeld(path_, error);
  ASSERT_TRUE(file);
  const auto id = file->Id();
  ASSERT_TRUE(id);
  for (const std::string& spelling : {dir_ / "link", dir_ / "hard", dir_ / "./data.bin",
                                     dir_ / "../" + dir_.path().substr(dir_.path().rfind('/') + 1) + "/data.bin"}) {
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
