// Arbitrary database bytes with one file fault planted anywhere in Load, Save
// or SaveAs. Input: 4 bytes of plan, then the file.
//   byte 0  which call fails (open, create, rename, read, write, seek, length, flush)
//   byte 1  the how-many-th call of that kind, counted from before Load
//   byte 2  bit 0: the write stores part of its bytes; bits 1-3: the cause
//   byte 3  bit 0: SaveAs (else Save); bit 1: the copy's target exists
// Whatever fails, nothing is lost: a failed Load leaves the catalogue closed
// and the file as it was, a failed Save leaves each byte old or new, a failed
// SaveAs leaves the source, the target and the folder as they were; and once
// the fault is gone the same catalogue does the job.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hashdb/hash_set_catalogue.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/fuzz/work_folder.h"
#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"

namespace {

constexpr FileCall kCalls[] = {FileCall::kOpen,    FileCall::kCreateReplacement,
                               FileCall::kReplace, FileCall::kRead,
                               FileCall::kWrite,   FileCall::kSeek,
                               FileCall::kLength,  FileCall::kFlush};
constexpr int kCauses[] = {10, 13, 5, 2, 11, 1, 9, 4};

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "hdb_fault_fuzzer: %s\n", what);
  std::abort();
}

class EndCounter final : public SaveProgress {
 public:
  void Begin(std::uint64_t) override {}
  void Advance(std::uint64_t) override {}
  void End() override { ++ends; }
  int ends = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return StartWorkFolder(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const FileCall call = kCalls[data[0] % 8];
  const int nth = data[1] % 16 + 1;
  const bool short_write = (data[2] & 1) != 0;
  const int cause = kCauses[(data[2] >> 1) % 8];
  const bool save_as = (data[3] & 1) != 0;
  const bool target_exists = (data[3] & 2) != 0;
  const std::string input(reinterpret_cast<const char*>(data) + 4, size - 4);

  const std::string source = *work / "in.hdb";
  const std::string target = *work / "copy.hdb";
  const std::string previous = "previous contents";
  WriteBytes(source, input);
  if (target_exists) WriteBytes(target, previous);
  const std::string listing = ListFolder(work->path());

  bool loadable = false;
  {
    CHashSetCatalogue plain;
    loadable = plain.Load(source).ok();
  }

  {
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files);
    if (short_write) {
      files.ShortWriteOn(nth, data[2] >> 4);
    } else {
      files.FailOn(call, nth, cause);
    }
    if (!catalogue.Load(source).ok()) {
      Require(!catalogue.IsOpen() && catalogue.GetCount() == 0,
              "a failed Load left something open");
      Require(ReadBytes(source) == input && ListFolder(work->path()) == listing,
              "a failed Load changed a file");
      files.ClearFaults();
      Require(catalogue.Load(source).ok() == loadable, "after a failed Load the next one differs");
      if (!loadable) return 0;
    }

    Require(loadable, "a file that does not load plainly loaded");
    std::string expected = input;
    for (std::uint32_t i = 0; i < catalogue.GetCount() && i < 3; ++i) {
      const bool on = !catalogue.GetAlert(i);
      catalogue.SetAlert(i, on);
      expected.replace(AlertOffset(i), 4, Le32(on ? 1 : 0));
    }
    const bool changed = catalogue.IsChanged();

    if (!save_as) {
      const SaveResult saved = catalogue.Save();
      if (!saved) {
        Require(saved.error.has_value(), "a failed Save without an error");
        Require(catalogue.IsChanged() == changed, "a failed Save lost the changed flag");
        const std::string now = ReadBytes(source);
        Require(now.size() == input.size(), "a failed Save changed the length");
        for (std::size_t i = 0; i < now.size(); ++i) {
          Require(now[i] == input[i] || now[i] == expected[i],
                  "a failed Save wrote a byte of neither");
        }
        files.ClearFaults();
        Require(bool(catalogue.Save()), "Save failed once the fault was gone");
      }
      Require(ReadBytes(source) == expected, "the saved file is not the input with the flags set");
    } else {
      EndCounter progress;
      const SaveResult saved = catalogue.SaveAs(target, progress);
      if (!saved) {
        Require(saved.error || saved.refusal, "a failed SaveAs without a reason");
        Require(progress.ends == 0, "End after a failed SaveAs");
        Require(ReadBytes(source) == input, "a failed SaveAs changed the source");
        Require(ListFolder(work->path()) == listing, "a failed SaveAs left a file behind");
        Require(!target_exists || ReadBytes(target) == previous,
                "a failed SaveAs changed the target");
        Require(catalogue.GetPath() == source && catalogue.IsChanged() == changed,
                "a failed SaveAs moved the catalogue");
        files.ClearFaults();
        EndCounter retry;
        Require(bool(catalogue.SaveAs(target, retry)) && retry.ends == 1,
                "SaveAs failed once the fault was gone");
      } else {
        Require(progress.ends == 1, "no End after SaveAs");
        Require(ReadBytes(source) == input, "SaveAs wrote into the source");
      }
      Require(ReadBytes(target) == expected, "the copy is not the input with the flags set");
      Require(catalogue.GetPath() == target, "the catalogue did not move to the copy");
    }
    catalogue.Close();
  }
  ::unlink(target.c_str());
  return 0;
}
