// Load on arbitrary file bytes, then Save, SaveAs and a Save into the copy.
// A database that loads must come back byte for byte (with exactly the alert
// words that were set replaced); one that is refused leaves the catalogue
// closed and no file behind. Reads and writes outside buffers are the
// sanitizers' to catch.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "hashdb/hash_set_catalogue.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/fuzz/work_folder.h"
#include "tests/platform/test_files.h"

namespace {

class CheckedProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t total) override {
    if (begins++ != 0 || ends != 0) Fail("Begin twice or after End");
    begin_total = total;
  }
  void Advance(std::uint64_t done) override {
    if (begins != 1 || ends != 0) Fail("Advance outside Begin and End");
    if (done <= last_done) Fail("Advance did not rise");
    last_done = done;
  }
  void End() override {
    if (begins != 1 || ends++ != 0) Fail("End without Begin, or twice");
  }

  static void Fail(const char* what) {
    std::fprintf(stderr, "hdb_catalogue_fuzzer: %s\n", what);
    std::abort();
  }

  int begins = 0;
  int ends = 0;
  std::uint64_t begin_total = 0;
  std::uint64_t last_done = 0;
};

void Require(bool holds, const char* what) {
  if (!holds) CheckedProgress::Fail(what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return StartWorkFolder(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string source = *work / "in.hdb";
  const std::string copy = *work / "copy.hdb";
  WriteBytes(source, input);

  {
    CHashSetCatalogue catalogue;
    const LoadResult loaded = catalogue.Load(source);
    if (!loaded.ok()) {
      Require(!catalogue.IsOpen() && catalogue.GetCount() == 0,
              "a refused load left something open");
      CheckedProgress progress;
      Require(!catalogue.Save() && !catalogue.SaveAs(copy, progress), "a closed catalogue saved");
      Require(ListFolder(work->path()) == "in.hdb ", "a refused load left a file behind");
      Require(ReadBytes(source) == input, "a refused load changed the file");
      return 0;
    }

    const std::uint32_t count = catalogue.GetCount();
    Require(TailOffset(count) <= size, "more records than the file holds");
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::string name = catalogue.GetName(i);
      Require(name.size() <= 256 && input.compare(24 + 260ull * i, name.size(), name) == 0,
              "a name that is not the record's bytes");
    }
    Require(catalogue.GetName(count).empty() && !catalogue.SetAlert(count, true),
            "an index past the end");

    Require(bool(catalogue.Save()), "Save failed");
    Require(ReadBytes(source) == input, "Save of an unchanged database changed it");

    CheckedProgress progress;
    Require(bool(catalogue.SaveAs(copy, progress)), "SaveAs failed");
    Require(progress.ends == 1 && progress.begin_total == size &&
                progress.last_done == size - TailOffset(count),
            "progress of the copy");
    Require(ReadBytes(copy) == input, "the copy differs from its source");
    Require(ListFolder(work->path()) == "copy.hdb in.hdb ", "SaveAs left a file behind");

    // Flip the first few flags and save into the copy: exactly those words change.
    std::string expected = input;
    for (std::uint32_t i = 0; i < count && i < 4; ++i) {
      const bool on = !catalogue.GetAlert(i);
      Require(catalogue.SetAlert(i, on), "SetAlert of a flipped flag changed nothing");
      expected.replace(AlertOffset(i), 4, Le32(on ? 1 : 0));
    }
    Require(bool(catalogue.Save()), "Save into the copy failed");
    Require(ReadBytes(copy) == expected, "the saved copy is not the input with the flags set");
    Require(ReadBytes(source) == input, "a save into the copy reached the source");
    catalogue.Close();
  }
  ::unlink(copy.c_str());
  return 0;
}
