#include <gtest/gtest.h>

#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"

namespace {

// The wrapper other tests build on: faults count from when they are set, a
// short write really stores its part, and a full disk stores what fits.
TEST(FaultFileSystem, FailsTheCallsItIsTold) {
  TempDir dir;
  const std::string path = dir / "f";
  WriteBytes(path, "0123456789");
  FaultFileSystem files;
  FileError error;
  auto file = files.Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error);
  ASSERT_TRUE(file);
  char buffer[4];
  std::size_t done = 0;
  ASSERT_FALSE(file->Read(buffer, 1, done));

  files.FailOn(FileCall::kRead, 2, 10);  // once
  EXPECT_FALSE(file->Read(buffer, 1, done));
  EXPECT_EQ(file->Read(buffer, 1, done)->cause, 10);
  EXPECT_FALSE(file->Read(buffer, 1, done));
  files.FailOn(FileCall::kSeek, 1, 9, /*sticky=*/true);
  EXPECT_EQ(file->Seek(0)->cause, 9);
  EXPECT_EQ(file->Seek(0)->cause, 9);
  EXPECT_EQ(files.Calls(FileCall::kRead), 4);
  files.ClearFaults();
  ASSERT_FALSE(file->Seek(0));

  files.ShortWriteOn(1, 2);
  EXPECT_EQ(file->Write("abcd", 4)->cause, 13);
  files.SetFreeSpace(3);
  EXPECT_FALSE(file->Write("ef", 2));
  EXPECT_EQ(file->Write("ghij", 4)->cause, 13);
  file->Close();
  EXPECT_EQ(ReadBytes(path), "abefg56789");

  files.FailOn(FileCall::kOpen, 1, 4);
  EXPECT_FALSE(files.Open(path, OpenMode::kExisting, HoldMode::kFailIfHeld, error));
  EXPECT_EQ(error.cause, 4);
}

}  // namespace
