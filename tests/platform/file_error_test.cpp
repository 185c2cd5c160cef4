#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_error.h"

namespace {

TEST(FileErrorMessage, EveryCauseHasItsText) {
  const struct {
    int cause;
    const char* message;
  } cases[] = {
      {1, "An unknown error occurred while accessing /x/a.hdb."},
      {2, "/x/a.hdb was not found."},
      {3, "/x/a.hdb contains an invalid path."},
      {4, "/x/a.hdb could not be opened because there are too many open files."},
      {5, "Access to /x/a.hdb was denied."},
      {6, "An invalid file handle was associated with /x/a.hdb."},
      {7, "/x/a.hdb could not be removed because it is the current directory."},
      {8, "/x/a.hdb could not be created because the directory is full."},
      {9, "Seek failed on /x/a.hdb"},
      {10, "A hardware I/O error was reported while accessing /x/a.hdb."},
      {11, "A sharing violation occurred while accessing /x/a.hdb."},
      {12, "A locking violation occurred while accessing /x/a.hdb."},
      {13, "Disk full while accessing /x/a.hdb."},
      {14, "An attempt was made to access /x/a.hdb past its end."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileErrorMessage(c.cause, "/x/a.hdb"), c.message) << "cause " << c.cause;
    EXPECT_EQ((FileError{c.cause, "/x/a.hdb"}.Message()), c.message);
  }
}

TEST(FileErrorMessage, UnnamedFileAndLengthLimits) {
  EXPECT_EQ(FileErrorMessage(2, ""), "an unnamed file was not found.");
  EXPECT_EQ(FileErrorMessage(0, "f"), FileErrorMessage(1, "f"));  // no such cause: unknown
  EXPECT_EQ(FileErrorMessage(15, "f"), FileErrorMessage(1, "f"));

  const std::string long_path = "/" + std::string(2000, 'd');
  EXPECT_EQ(FileErrorMessage(11, long_path).size(), 511u);
  EXPECT_EQ(FileErrorMessage(11, long_path, 1023).size(), 1023u);
  EXPECT_EQ(FileErrorMessage(2, long_path, 1023), ("/" + std::string(1022, 'd')));
}

TEST(FileErrorMessage, ReasonFollowsTheCauseText) {
  EXPECT_EQ((FileError{5, "/x/a.hdb", "Why it was refused."}.Message()),
            "Access to /x/a.hdb was denied. Why it was refused.");
  const std::string long_path = "/" + std::string(2000, 'd');
  EXPECT_EQ((FileError{5, long_path, "Why."}.Message()).size(), 511u);
}

TEST(FileErrorCause, FromErrno) {
  const struct {
    int error_number;
    int cause;
  } cases[] = {
      {ENOENT, 2},  {ENOTDIR, 3}, {ENAMETOOLONG, 3},
      {ELOOP, 3},   {EINVAL, 3},  {EMFILE, 4},
      {ENFILE, 4},  {EACCES, 5},  {EPERM, 5},
      {EROFS, 5},   {EISDIR, 5},  {EBADF, 6},
      {EIO, 10},    {ENOSPC, 13},
#ifdef EDQUOT
      {EDQUOT, 13},
#endif
      {EXDEV, 1},   {EBUSY, 1},   {0, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileErrorCauseFromErrno(c.error_number), c.cause) << "errno " << c.error_number;
  }
}

}  // namespace
