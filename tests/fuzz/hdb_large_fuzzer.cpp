// Load on databases built from a description rather than from raw bytes, so
// record counts reach millions and the files gigabytes or terabytes (sparse,
// on tmpfs) without the input growing. Input:
//   bytes 0-3  the header's count (little-endian)
//   byte 4     bits 0-1: the file's length: 0 short of the record table by
//              1 + bytes 5-8 (mod the table's end), 1 exactly the table,
//              2 the table and a tail of bytes 5-8 (mod 1 MiB) bytes,
//              3 shorter than the header (byte 5 mod 20);
//              bit 2: the count is 0xFFFFFFFF less its low 16 bits,
//              bit 3: the count is 8,259,552 (the largest table of the format)
//              less its low 8 bits;
//              bit 4: a table that loads may have up to kMostLoaded records
//              (else up to 65,536, so most runs stay quick)
//   bytes 5-8  see above
//   then up to 8 records: 4 bytes of index (mod the count), 1 byte of length
//   (255: the whole 260) and that many bytes placed at the record's start (the
//   alert word, then the name field)
// A file too short for its table is refused with cause 14 after reading no
// more than the header and without taking memory for the table; one that
// holds its table loads with the count of the header and every record as
// placed (the rest all zero). Tables that load are kept to kMostLoaded
// records, so memory stays bounded (run with -rss_limit_mb).
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "hashdb/hash_set_catalogue.h"
#include "tests/fuzz/work_folder.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/fault_file_system.h"

namespace {

// 2,000,000 records: a table of 520 MB.
constexpr std::uint32_t kMostLoaded = 2'000'000;
constexpr std::uint32_t kLargestTable = 8'259'552;

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "hdb_large_fuzzer: %s\n", what);
  std::abort();
}

std::uint32_t Word(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The address space this process holds, in bytes.
std::uint64_t AddressSpace() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::strtoull(line.c_str() + 7, nullptr, 10) << 10;
  }
  return 0;
}

// While one lives, the process may take at most 128 MiB more address space:
// a table of more than that which is even mapped fails to be.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
    Require(::getrlimit(RLIMIT_AS, &saved_) == 0, "getrlimit");
    struct rlimit capped = saved_;
    capped.rlim_cur = AddressSpace() + (128u << 20);
    Require(::setrlimit(RLIMIT_AS, &capped) == 0, "setrlimit");
  }
  ~AddressSpaceCap() { ::setrlimit(RLIMIT_AS, &saved_); }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

 private:
  struct rlimit saved_ {};
};

void PutBytes(int fd, std::uint64_t offset, const std::string& bytes, std::uint64_t length) {
  if (offset >= length) return;
  const std::size_t size =
      static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), length - offset));
  Require(
      ::pwrite(fd, bytes.data(), size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size),
      "the test file could not be written");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return StartWorkFolder(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const int length_kind = data[4] & 3;
  std::uint32_t count = Word(data);
  if (data[4] & 4) count = 0xFFFFFFFFu - (count & 0xFFFFu);
  if (data[4] & 8) count = kLargestTable - (count & 0xFFu);
  const bool fits = length_kind == 1 || length_kind == 2;
  const std::uint32_t most = (data[4] & 16) ? kMostLoaded : 65'536;
  if (fits && count > most) count %= most + 1;
  const std::uint64_t table_end = TailOffset(count);
  std::uint64_t length = table_end;
  if (length_kind == 0) length = table_end - 1 - Word(data + 5) % table_end;
  if (length_kind == 2) length = table_end + Word(data + 5) % (1u << 20);
  if (length_kind == 3) length = data[5] % kHeaderSize;

  // The records as placed, in full; later placements overwrite earlier ones.
  std::map<std::uint32_t, std::string> placed;
  std::size_t at = 9;
  for (int i = 0; i < 8 && count > 0 && at + 5 <= size; ++i) {
    const std::uint32_t index = Word(data + at) % count;
    const std::size_t wanted = data[at + 4] == 255 ? kRecordSize : data[at + 4];
    const std::size_t bytes = std::min(wanted, size - at - 5);
    std::string& record = placed.try_emplace(index, kRecordSize, '\0').first->second;
    record.replace(0, bytes, reinterpret_cast<const char*>(data) + at + 5, bytes);
    at += 5 + bytes;
  }

  const std::string path = *work / "large.hdb";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  Require(fd >= 0, "the test file could not be made");
  Require(::ftruncate(fd, static_cast<off_t>(length)) == 0, "the test file could not be sized");
  PutBytes(fd, 0, std::string("PREAMBLE-16-BYTE") + Le32(count), length);
  for (const auto& [index, record] : placed) PutBytes(fd, AlertOffset(index), record, length);
  ::close(fd);

  {
    FaultFileSystem files;
    CHashSetCatalogue catalogue(files);
    if (!fits) {
      // Refused before any memory is taken for the table: with the address
      // space capped, a table mapped first would fail as "no memory" (cause 1).
      LoadResult loaded;
      {
        const AddressSpaceCap cap;
        loaded = catalogue.Load(path);
      }
      Require(loaded.failure && !loaded.error && loaded.failure->cause == 14,
              "a file too short for its table was not refused with cause 14");
      Require(!catalogue.IsOpen() && catalogue.GetCount() == 0,
              "a refused load left something open");
      Require(files.Calls(FileCall::kRead) <= 1,
              "a file too short for its table was read past its header");
    } else {
      const LoadResult loaded = catalogue.Load(path);
      Require(loaded.ok(), "a file that holds its table did not load");
      Require(catalogue.GetCount() == count, "the count is not the header's");
      const std::string zero(kRecordSize, '\0');
      for (const std::uint32_t index : {0u, count / 2, count - 1}) {
        if (count > 0 && !placed.count(index)) placed.emplace(index, zero);
      }
      for (const auto& [index, record] : placed) {
        const std::string field = record.substr(4);
        const std::string name = field.substr(0, field.find('\0'));
        Require(catalogue.GetName(index) == name, "a name is not the bytes placed");
        Require(catalogue.GetNameView(index) == name, "a name's view is not the bytes placed");
        Require(catalogue.GetAlert(index) == (record.compare(0, 4, zero, 0, 4) != 0),
                "an alert flag is not the word placed");
      }
      Require(catalogue.GetName(count).empty() && !catalogue.GetAlert(count),
              "a record past the end");
    }
  }
  ::unlink(path.c_str());
  return 0;
}
