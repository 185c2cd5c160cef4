// What only the Win32 file services have: the error codes, the hold against
// raw CreateFileA calls and other processes, and the leftovers of a killed
// Save as.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file.h"
#include "platform/replacement_name.h"
#include "tests/platform/test_files.h"
#include "tests/platform/win32_process.h"

namespace {

using testing_support::FinishedProcessId;
using testing_support::RunProgram;

TEST(FileErrorCause, FromWin32) {
  const struct {
    DWORD code;
    int cause;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, 2},
      {ERROR_PATH_NOT_FOUND, 3},
      {ERROR_INVALID_NAME, 3},
      {ERROR_BAD_PATHNAME, 3},
      {ERROR_FILENAME_EXCED_RANGE, 3},
      {ERROR_TOO_MANY_OPEN_FILES, 4},
      {ERROR_ACCESS_DENIED, 5},
      {ERROR_WRITE_PROTECT, 5},
      {ERROR_INVALID_HANDLE, 6},
      {ERROR_CURRENT_DIRECTORY, 7},
      {ERROR_CANNOT_MAKE, 8},
      {ERROR_NEGATIVE_SEEK, 9},
      {ERROR_SEEK, 9},
      {ERROR_CRC, 10},
      {ERROR_IO_DEVICE, 10},
      {ERROR_SHARING_VIOLATION, 11},
      {ERROR_LOCK_VIOLATION, 12},
      {ERROR_HANDLE_DISK_FULL, 13},
      {ERROR_DISK_FULL, 13},
      {ERROR_HANDLE_EOF, 14},
      {ERROR_SUCCESS, 1},
      {ERROR_NOT_SUPPORTED, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FileErrorCauseFromWin32(c.code), c.cause) << "error " << c.code;
}

class FileWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(path_, "0123456789"); }

  std::unique_ptr<File> OpenHeld(const std::string& path, FileError& error) {
    return DefaultFileSystem().Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error);
  }

  // What a plain CreateFileA of another program gets for the file.
  static DWORD RawOpenError(const std::string& path, DWORD access) {
    const HANDLE handle = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ::GetLastError();
    ::CloseHandle(handle);
    return ERROR_SUCCESS;
  }

  TempDir dir_;
  std::string path_ = dir_ / "data.hdb";
};

// Shared with nobody: neither reading nor writing, from this process or
// another, until Close; the same for a Save as copy once it is in place.
TEST_F(FileWin32Test, HeldAgainstEveryCreateFile) {
  FileError error;
  auto held = OpenHeld(path_, error);
  ASSERT_TRUE(held);
  for (const DWORD access :
       {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{GENERIC_READ | GENERIC_WRITE}}) {
    EXPECT_EQ(RawOpenError(path_, access), DWORD{ERROR_SHARING_VIOLATION}) << access;
  }
  held->Close();
  EXPECT_EQ(RawOpenError(path_, GENERIC_READ | GENERIC_WRITE), DWORD{ERROR_SUCCESS});

  FileSystem& files = DefaultFileSystem();
  auto copy = files.CreateReplacementFor(path_, kNewFileMode, error);
  ASSERT_TRUE(copy);
  ASSERT_FALSE(copy->Write("new", 3));
  ASSERT_FALSE(files.ReplaceWith(*copy, path_));
  EXPECT_EQ(RawOpenError(path_, GENERIC_READ), DWORD{ERROR_SHARING_VIOLATION});
  EXPECT_FALSE(OpenHeld(path_, error));
  EXPECT_EQ(error.cause, 11);
  copy->Close();
  EXPECT_EQ(ReadBytes(path_), "new");
}

TEST_F(FileWin32Test, HeldAgainstAnotherProcess) {
  FileError error;
  auto held = OpenHeld(path_, error);
  ASSERT_TRUE(held);
  EXPECT_EQ(RunProgram(PLATFORM_PROBE, {"open-held", path_}), 11);
  held->Close();
  EXPECT_EQ(RunProgram(PLATFORM_PROBE, {"open-held", path_}), 0);
  EXPECT_EQ(RunProgram(PLATFORM_PROBE, {"open-held", dir_ / "missing.hdb"}), 2);
}

// A hidden replacement a killed Save as left is removed by the next one in
// that folder; one of a live process, or of another naming, stays.
TEST_F(FileWin32Test, LeftoversOfProcessesThatAreGoneAreRemoved) {
  const DWORD gone = FinishedProcessId(PLATFORM_PROBE);
  ASSERT_NE(gone, 0u);
  const std::string leftover = ReplacementName("data.hdb", gone, 0, 1);
  const std::string ours = ReplacementName("data.hdb", ::GetCurrentProcessId(), 999, 1);
  const std::string other_naming = ".data.hdb.tmp" + std::to_string(gone) + "-0";
  for (const std::string& name : {leftover, ours, other_naming}) WriteBytes(dir_ / name, "x");

  FileError error;
  auto replacement =
      DefaultFileSystem().CreateReplacementFor(dir_ / "new.hdb", kNewFileMode, error);
  ASSERT_TRUE(replacement);
  DefaultFileSystem().Discard(std::move(replacement));
  EXPECT_FALSE(Exists(dir_ / leftover));
  EXPECT_TRUE(Exists(dir_ / ours));
  EXPECT_TRUE(Exists(dir_ / other_naming));
  EXPECT_FALSE(Exists(dir_ / "new.hdb"));
}

// A replacement is hidden while written and an ordinary file once placed.
TEST_F(FileWin32Test, ReplacementIsHiddenUntilPlaced) {
  FileSystem& files = DefaultFileSystem();
  FileError error;
  auto replacement = files.CreateReplacementFor(dir_ / "new.hdb", kNewFileMode, error);
  ASSERT_TRUE(replacement);
  std::string hidden;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    if (entry.path().filename() != "data.hdb") hidden = entry.path().string();
  }
  ASSERT_FALSE(hidden.empty());
  EXPECT_TRUE(::GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  ASSERT_FALSE(files.ReplaceWith(*replacement, dir_ / "new.hdb"));
  EXPECT_FALSE(::GetFileAttributesA((dir_ / "new.hdb").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ListFolder(dir_.path()), "data.hdb new.hdb ");
}

TEST(AbsolutePath, RelativeNamesGetTheCurrentFolder) {
  TempDir dir;
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string relative = AbsolutePath("a.hdb");
  const std::string dotted = AbsolutePath(".\\a.hdb");
  std::filesystem::current_path(here);
  EXPECT_EQ(relative, dir / "a.hdb");
  EXPECT_EQ(dotted, dir / ".\\a.hdb");  // not normalised, like the POSIX one
  for (const char* absolute :
       {"C:\\x\\a.hdb", "\\\\server\\share\\a.hdb", "\\x\\a.hdb", "C:/x/a.hdb"}) {
    EXPECT_EQ(AbsolutePath(absolute), absolute);
  }
}

}  // namespace
