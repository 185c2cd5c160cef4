// A database on a file system mounted read-only: refused whatever the file's
// mode says, which root's permission checks would ignore.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "hashdb/hash_set_catalogue.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"

namespace {

class NoProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t) override { ++calls; }
  void Advance(std::uint64_t) override { ++calls; }
  void End() override { ++calls; }
  int calls = 0;
};

// A small tmpfs holding two files, remounted read-only; unmounted in TearDown
// so a failing test leaves no mount behind.
class ReadOnlyMountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
    const char* where = mount_.path().c_str();
    if (::mount("tmpfs", where, "tmpfs", 0, "size=1m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
    WriteBytes(mount_ / "held.hdb", bytes_);
    WriteBytes(mount_ / "existing.hdb", "previous contents");
    ASSERT_EQ(::mount(nullptr, where, nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  }

  void TearDown() override {
    if (mounted_) ::umount2(mount_.path().c_str(), MNT_DETACH);
  }

  TempDir dir_;
  TempDir mount_;
  bool mounted_ = false;
  const std::string bytes_ = DatabaseBytes({{0, "Known Good"}, {1, "Contraband"}}, "tail bytes");
};

TEST_F(ReadOnlyMountTest, LoadIsDenied) {
  const std::string path = mount_ / "held.hdb";
  CHashSetCatalogue catalogue;
  const LoadResult result = catalogue.Load(path);
  ASSERT_TRUE(result.failure);
  EXPECT_FALSE(result.error);
  EXPECT_EQ(result.failure->cause, 5);
  EXPECT_EQ(result.failure->message, "Access to " + path + " was denied.");
  EXPECT_FALSE(catalogue.IsOpen());
  EXPECT_EQ(catalogue.GetCount(), 0u);
  EXPECT_EQ(ReadBytes(path), bytes_);

  const std::string writable = dir_ / "writable.hdb";  // the next Load is not hindered
  WriteBytes(writable, bytes_);
  EXPECT_TRUE(catalogue.Load(writable).ok());
  EXPECT_EQ(catalogue.GetCount(), 2u);
}

TEST_F(ReadOnlyMountTest, SaveAsOntoItIsRefusedAndTouchesNothing) {
  const std::string source = dir_ / "source.hdb";
  WriteBytes(source, bytes_);
  for (const char* name : {"existing.hdb", "new.hdb"}) {
    SCOPED_TRACE(name);
    const std::string target = mount_ / name;
    CHashSetCatalogue catalogue;
    ASSERT_TRUE(catalogue.Load(source).ok());
    ASSERT_TRUE(catalogue.SetAlert(0, true));
    NoProgress progress;
    const SaveResult result = catalogue.SaveAs(target, progress);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error);
    ASSERT_TRUE(result.refusal);
    EXPECT_EQ(result.refusal->Message(), "Access to " + target + " was denied.");
    EXPECT_EQ(progress.calls, 0);
    EXPECT_EQ(ListFolder(mount_.path()), "existing.hdb held.hdb ");
    EXPECT_EQ(ReadBytes(mount_ / "existing.hdb"), "previous contents");
    EXPECT_EQ(catalogue.GetPath(), source);
    EXPECT_TRUE(catalogue.IsChanged());
    ASSERT_TRUE(catalogue.Save());
    EXPECT_EQ(ReadBytes(source).substr(AlertOffset(0), 4), Le32(1));
    catalogue.Close();
    WriteBytes(source, bytes_);
  }
}

}  // namespace
