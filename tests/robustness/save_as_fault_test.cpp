// A fault at every file call SaveAs makes, one run per call: whichever step
// fails, the source stays as it was, nothing half-written is left beside the
// target, and the catalogue goes on working.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"

namespace {

const FileCall kCalls[] = {FileCall::kOpen,  FileCall::kCreateReplacement, FileCall::kReplace,
                           FileCall::kRead,  FileCall::kWrite,             FileCall::kSeek,
                           FileCall::kLength, FileCall::kFlush};

const char* CallName(FileCall call) {
  switch (call) {
    case FileCall::kOpen: return "open of the existing target";
    case FileCall::kCreateReplacement: return "create of the target";
    case FileCall::kReplace: return "rename over the target";
    case FileCall::kRead: return "read";
    case FileCall::kWrite: return "write";
    case FileCall::kSeek: return "seek";
    case FileCall::kLength: return "length";
    case FileCall::kFlush: return "flush";
  }
  return "?";
}

class CountingProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t) override { ++begins; }
  void Advance(std::uint64_t) override {}
  void End() override { ++ends; }
  int begins = 0;
  int ends = 0;
};

// Where the copy goes: a new name, an existing file, or a link to one.
enum class Target { kMissing, kExisting, kLink };

struct Fault {
  FileCall call;
  int nth;
  bool short_write;   // the write stores a part, as on a full disk
};

class SaveAsFaultTest : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    SampleOptions options;
    options.sets = 4040;          // the record table goes out in two blocks
    options.tail_bytes = 200000;  // four chunks of tail
    ASSERT_FALSE(WriteSampleDatabase(source_, options));
    source_bytes_ = ReadBytes(source_);
    switch (GetParam()) {
      case Target::kMissing:
        target_ = dir_ / "new.hdb";
        break;
      case Target::kExisting:
        target_ = dir_ / "existing.hdb";
        WriteBytes(target_, "previous contents");
        break;
      case Target::kLink:
        WriteBytes(dir_ / "real.hdb", "previous contents");
        ASSERT_EQ(::symlink("real.hdb", (dir_ / "link.hdb").c_str()), 0);
        target_ = dir_ / "link.hdb";
        break;
    }
    listing_ = ListFolder(dir_.path());
    target_bytes_ = ReadBytes(target_);
  }

  // A changed catalogue on the source, through files.
  void Open(CHashSetCatalogue& catalogue) {
    ASSERT_TRUE(catalogue.Load(source_).ok());
    const bool was = catalogue.GetAlert(0);
    ASSERT_TRUE(catalogue.SetAlert(0, !was));
    changed_bytes_ = source_bytes_;
    changed_bytes_.replace(AlertOffset(0), 4, Le32(was ? 0 : 1));
  }

  TempDir dir_;
  std::string source_ = dir_ / "source.hdb";
  std::string target_;
  std::string source_bytes_;
  std::string changed_bytes_;
  std::string target_bytes_;
  std::string listing_;
};

TEST_P(SaveAsFaultTest, EveryStepFailsCleanly) {
  // A clean copy first, counting the calls of each kind it makes.
  std::map<FileCall, int> calls;
  {
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files);
    ASSERT_NO_FATAL_FAILURE(Open(catalogue));
    std::map<FileCall, int> before;
    for (FileCall call : kCalls) before[call] = files.Calls(call);
    CountingProgress progress;
    ASSERT_TRUE(catalogue.SaveAs(target_, progress));
    EXPECT_EQ(progress.ends, 1);
    EXPECT_EQ(ReadBytes(target_), changed_bytes_);
    for (FileCall call : kCalls) calls[call] = files.Calls(call) - before[call];
  }
  // The copy has four tail chunks, so these are the least a copy makes.
  EXPECT_GE(calls[FileCall::kWrite], 5);
  EXPECT_GE(calls[FileCall::kRead], 5);
  EXPECT_EQ(calls[FileCall::kOpen], GetParam() == Target::kMissing ? 0 : 1);

  std::vector<Fault> faults;
  for (FileCall call : kCalls) {
    for (int nth = 1; nth <= calls[call]; ++nth) {
      faults.push_back({call, nth, false});
      if (call == FileCall::kWrite) faults.push_back({call, nth, true});
    }
  }
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.short_write ? "short " : "failing ") + CallName(fault.call) + " #" +
                 std::to_string(fault.nth));
    WriteBytes(source_, source_bytes_);
    if (GetParam() != Target::kMissing) WriteBytes(target_, target_bytes_);
    else ::unlink(target_.c_str());

    FaultFileSystem files;
    CHashSetCatalogue catalogue(files);
    ASSERT_NO_FATAL_FAILURE(Open(catalogue));
    if (fault.short_write) {
      files.ShortWriteOn(fault.nth, 100);
    } else {
      files.FailOn(fault.call, fault.nth, 10);
    }
    CountingProgress progress;
    const SaveResult result = catalogue.SaveAs(target_, progress);
    files.ClearFaults();

    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error || result.refusal);
    if (result.error) {
      EXPECT_EQ(result.error->cause, fault.short_write ? 13 : 10);
    }
    EXPECT_EQ(progress.ends, 0);
    EXPECT_EQ(ReadBytes(source_), source_bytes_);
    EXPECT_EQ(ListFolder(dir_.path()), listing_);   // no temporary, no partial copy
    EXPECT_EQ(ReadBytes(target_), target_bytes_);
    EXPECT_EQ(catalogue.GetPath(), source_);
    EXPECT_TRUE(catalogue.IsChanged());

    // Still usable: Save goes to the source, a retried copy works, and after
    // Close the source loads again.
    ASSERT_TRUE(catalogue.Save());
    EXPECT_EQ(ReadBytes(source_), changed_bytes_);
    CountingProgress retry;
    ASSERT_TRUE(catalogue.SaveAs(target_, retry));
    EXPECT_EQ(retry.ends, 1);
    EXPECT_EQ(ReadBytes(target_), changed_bytes_);
    catalogue.Close();
    EXPECT_FALSE(catalogue.IsOpen());
    CHashSetCatalogue again(files);
    EXPECT_TRUE(again.Load(source_).ok());
    EXPECT_EQ(again.GetCount(), 4040u);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, SaveAsFaultTest,
                         ::testing::Values(Target::kMissing, Target::kExisting, Target::kLink),
                         [](const auto& info) {
                           switch (info.param) {
                             case Target::kMissing: return "NewFile";
                             case Target::kExisting: return "ExistingFile";
                             case Target::kLink: return "LinkToFile";
                           }
                           return "Unknown";
                         });

}  // namespace
