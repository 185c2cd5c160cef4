// A fault at every file call Load, Save and SaveAs make, one run per call:
// whichever step fails, the source stays as it was (or, for Save, keeps its
// changed flag for the next try), nothing half-written is left beside a copy's
// target, and the catalogue goes on working.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"
#include "tests/robustness/memory_folders.h"

namespace {

// The copy in 64 KiB chunks, so a small tail still takes several steps to fault.
constexpr std::size_t kChunk = 65536;

const FileCall kCalls[] = {FileCall::kOpen,    FileCall::kCreateReplacement,
                           FileCall::kReplace, FileCall::kRead,
                           FileCall::kWrite,   FileCall::kSeek,
                           FileCall::kLength,  FileCall::kFlush};

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

struct Fault {
  FileCall call;
  int nth;
  bool short_write;  // the write stores a part, as on a full disk
};

using CallCounts = std::map<FileCall, int>;

// How many calls of each kind run() makes through files.
CallCounts CallsDuring(FaultFileSystem& files, const std::function<void()>& run) {
  CallCounts before;
  for (FileCall call : kCalls) before[call] = files.Calls(call);
  run();
  CallCounts made;
  for (FileCall call : kCalls) made[call] = files.Calls(call) - before[call];
  return made;
}

// One failing call at each position, and a short write at each write.
std::vector<Fault> EveryFault(const CallCounts& calls) {
  std::vector<Fault> faults;
  for (const auto& [call, count] : calls) {
    for (int nth = 1; nth <= count; ++nth) {
      faults.push_back({call, nth, false});
      if (call == FileCall::kWrite) faults.push_back({call, nth, true});
    }
  }
  return faults;
}

void Plan(FaultFileSystem& files, const Fault& fault) {
  if (fault.short_write) {
    files.ShortWriteOn(fault.nth, 100);
  } else {
    files.FailOn(fault.call, fault.nth, 10);
  }
}

std::string Describe(const Fault& fault) {
  return std::string(fault.short_write ? "short " : "failing ") + CallName(fault.call) + " #" +
         std::to_string(fault.nth);
}

// Where the copy goes: a new name, an existing file, or a link to one.
enum class Target { kMissing, kExisting, kLink };

const char* TargetName(Target target) {
  switch (target) {
    case Target::kMissing: return "NewFile";
    case Target::kExisting: return "ExistingFile";
    case Target::kLink: return "LinkToFile";
  }
  return "Unknown";
}

void PrintTo(Target target, std::ostream* out) { *out << TargetName(target); }

// Each target on the file system as it is (the copy unnamed until it is
// placed) and as where there are no unnamed files (a hidden name throughout).
class SaveAsFaultTest : public ::testing::TestWithParam<std::tuple<Target, bool>> {
 protected:
  Target TargetKind() const { return std::get<0>(GetParam()); }
  FileSystem& Files() const {
    return std::get<1>(GetParam()) ? FileSystemWithoutUnnamedFiles() : DefaultFileSystem();
  }

  void SetUp() override {
    SampleOptions options;
    options.sets = 4040;          // the record table goes out in two blocks
    options.tail_bytes = 200000;  // four chunks of tail
    ASSERT_FALSE(WriteSampleDatabase(source_, options));
    source_bytes_ = ReadBytes(source_);
    switch (TargetKind()) {
      case Target::kMissing: target_ = dir_ / "new.hdb"; break;
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

  const TemporaryFoldersInMemory in_memory_;
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
  CallCounts calls;
  {
    FaultFileSystem files(Files());
    CHashSetCatalogue catalogue(files, kChunk);
    ASSERT_NO_FATAL_FAILURE(Open(catalogue));
    CountingProgress progress;
    calls = CallsDuring(files, [&] { ASSERT_TRUE(catalogue.SaveAs(target_, progress)); });
    EXPECT_EQ(progress.ends, 1);
    EXPECT_EQ(ReadBytes(target_), changed_bytes_);
  }
  // The copy has four tail chunks, so these are the least a copy makes.
  EXPECT_GE(calls[FileCall::kWrite], 5);
  EXPECT_GE(calls[FileCall::kRead], 5);
  EXPECT_EQ(calls[FileCall::kOpen], TargetKind() == Target::kMissing ? 0 : 1);

  for (const Fault& fault : EveryFault(calls)) {
    SCOPED_TRACE(Describe(fault));
    WriteBytes(source_, source_bytes_);
    if (TargetKind() != Target::kMissing)
      WriteBytes(target_, target_bytes_);
    else
      ::unlink(target_.c_str());

    FaultFileSystem files(Files());
    CHashSetCatalogue catalogue(files, kChunk);
    ASSERT_NO_FATAL_FAILURE(Open(catalogue));
    Plan(files, fault);
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
    EXPECT_EQ(ListFolder(dir_.path()), listing_);  // no temporary, no partial copy
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
                         ::testing::Combine(::testing::Values(Target::kMissing, Target::kExisting,
                                                              Target::kLink),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(TargetName(std::get<0>(info.param))) +
                                  (std::get<1>(info.param) ? "UnderAHiddenName" : "Unnamed");
                         });

class LoadSaveFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SampleOptions options;
    options.sets = 9000;  // the record table comes in three blocks
    options.tail_bytes = 1000;
    ASSERT_FALSE(WriteSampleDatabase(path_, options));
    bytes_ = ReadBytes(path_);
  }

  const TemporaryFoldersInMemory in_memory_;
  TempDir dir_;
  std::string path_ = dir_ / "db.hdb";
  std::string bytes_;
};

TEST_F(LoadSaveFaultTest, EveryLoadStepFailsClosed) {
  CallCounts calls;
  {
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files, kChunk);
    calls = CallsDuring(files, [&] { ASSERT_TRUE(catalogue.Load(path_).ok()); });
  }
  EXPECT_GE(calls[FileCall::kRead], 4);  // the header and three blocks
  for (const Fault& fault : EveryFault(calls)) {
    SCOPED_TRACE(Describe(fault));
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files, kChunk);
    Plan(files, fault);
    const LoadResult result = catalogue.Load(path_);
    files.ClearFaults();
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(catalogue.IsOpen());
    EXPECT_EQ(catalogue.GetCount(), 0u);
    EXPECT_EQ(ReadBytes(path_), bytes_);
    catalogue.Close();
    // Nothing of the failed load lingers: not its records, not its hold.
    ASSERT_TRUE(catalogue.Load(path_).ok());
    EXPECT_EQ(catalogue.GetCount(), 9000u);
  }
}

TEST_F(LoadSaveFaultTest, EverySaveStepKeepsTheChangeForTheNextTry) {
  std::string changed = bytes_;
  CallCounts calls;
  {
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files, kChunk);
    ASSERT_TRUE(catalogue.Load(path_).ok());
    const bool was = catalogue.GetAlert(8999);
    ASSERT_TRUE(catalogue.SetAlert(8999, !was));
    changed.replace(AlertOffset(8999), 4, Le32(was ? 0 : 1));
    calls = CallsDuring(files, [&] { ASSERT_TRUE(catalogue.Save()); });
  }
  EXPECT_GE(calls[FileCall::kWrite], 2);  // the header and the changed record
  for (const Fault& fault : EveryFault(calls)) {
    SCOPED_TRACE(Describe(fault));
    WriteBytes(path_, bytes_);
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files, kChunk);
    ASSERT_TRUE(catalogue.Load(path_).ok());
    ASSERT_TRUE(catalogue.SetAlert(8999, !catalogue.GetAlert(8999)));
    Plan(files, fault);
    const SaveResult result = catalogue.Save();
    files.ClearFaults();
    EXPECT_FALSE(result);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->cause, fault.short_write ? 13 : 10);
    EXPECT_EQ(result.error->path, path_);
    EXPECT_TRUE(catalogue.IsChanged());
    EXPECT_EQ(ReadBytes(path_).size(), bytes_.size());  // never truncated, never grown
    ASSERT_TRUE(catalogue.Save());
    EXPECT_FALSE(catalogue.IsChanged());
    EXPECT_EQ(ReadBytes(path_), changed);
    catalogue.Close();
    CHashSetCatalogue again(files);
    EXPECT_TRUE(again.Load(path_).ok());
  }
}

}  // namespace
