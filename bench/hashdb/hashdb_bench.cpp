// The hash database's work, each against the fastest honest way to do the same
// work on this machine, obtained the same way (same memory kind, same flush,
// the same process starts on both sides), timed in alternating pairs:
//   Load          against one read of the header and record table into the
//                 same kind of memory (huge pages where offered);
//   Save          with one change, against writing the header and that one
//                 record through an open descriptor, then fdatasync;
//   SaveAs        against an in-process copy through a 1 MiB buffer, fsync;
//   hdbtool copy  against `cp --reflink=never` + `sync` and against
//                 `dd bs=1M conv=fsync` (the device's limit), all via sh -c;
//   hdbtool list  against `head -c` of the same bytes, output to /dev/null;
//   hdbtool set   against a process that reads the table and writes one
//                 record, then fdatasync (this program in baseline mode).
//   hdbtool diff and hdbtool apply --from, between the database and a "new
//                 release" of it (records in reverse order, alerts off, every
//                 100th set renamed), against two `hdbtool list` runs, one of
//                 each file: what reading both databases costs. apply saves
//                 each time (alternately from the database and from the
//                 pristine release, so every run changes the same sets).
//   a first screen from a private mapping (map the table, decode 40 rows)
//                 against Load: what not reading the table before the first
//                 paint would buy (a measurement for a decision; nothing in
//                 the programs maps the table).
// Load's peak resident memory is measured in a child process of its own.
//
// The database (default 1,000,000 sets and a 1 GiB tail) is generated under
// $VELMORA_BENCH_DIR (default: the current folder) and deleted at the end.
// $VELMORA_BENCH_SETS and $VELMORA_BENCH_TAIL_MIB make it smaller for a trial;
// $VELMORA_BENCH_PAIRS sets the pairs per measure (default 7).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "platform/large_buffer.h"

namespace {

using bench::EnvNumber;
using bench::Pairs;
using bench::Time;

struct Setup {
  std::string self;
  std::string database;
  std::string copy;
  std::string release;  // the database as a new release
  std::string release_pristine;
  std::uint32_t sets = 0;
  std::uint64_t table_bytes = 0;
  std::uint64_t file_bytes = 0;
  int pairs = 7;
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// Reads the whole file once so the page cache is warm.
void Warm(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buffer(1 << 20);
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
}

bool ReadFully(int fd, std::uint8_t* buffer, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteFully(int fd, const std::uint8_t* buffer, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::pwrite(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// The header and record table read at once into memory of the kind Load uses.
void ReadTable(const std::string& path, std::uint64_t size) {
  LargeBuffer buffer(size);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ReadFully(fd, buffer.data(), size, 0);
  ::close(fd);
  benchmark::DoNotOptimize(buffer.data());
}

double Shell(benchmark::State& state, const std::string& command) {
  return Time([&] {
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
  });
}

// One pair of two shell commands, ours and the baseline.
void ShellPair(benchmark::State& state, Pairs& pairs, const std::string& ours,
               const std::string& baseline) {
  pairs.Run(
      state, [&] { return Shell(state, ours); }, [&] { return Shell(state, baseline); });
}

void BM_Load(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          CHashSetCatalogue catalogue;
          return Time([&] {
            if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
          });
        },
        [&] { return Time([&] { ReadTable(s.database, s.table_bytes); }); });
  }
  pairs.Report(state);
}

// Peak resident memory of a process that does nothing but Load, against the
// record table's size.
void BM_LoadPeakMemory(benchmark::State& state) {
  const Setup& s = TheSetup();
  for (auto _ : state) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) state.SkipWithError("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      CHashSetCatalogue catalogue;
      const bool ok = catalogue.Load(s.database).ok();
      struct rusage usage {};
      ::getrusage(RUSAGE_SELF, &usage);
      const long kib = ok ? usage.ru_maxrss : -1;
      (void)!::write(pipe_fds[1], &kib, sizeof kib);
      ::_exit(0);
    }
    long kib = -1;
    (void)!::read(pipe_fds[0], &kib, sizeof kib);
    ::waitpid(child, nullptr, 0);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    if (kib < 0) state.SkipWithError("Load failed");
    const double peak = static_cast<double>(kib) * 1024;
    state.SetIterationTime(1);
    state.counters["peak_MiB"] = peak / (1 << 20);
    state.counters["table_MiB"] = static_cast<double>(s.table_bytes) / (1 << 20);
    state.counters["ratio"] = peak / static_cast<double>(s.table_bytes);
  }
}

// One changed record, saved in place: what a user's tick and Ctrl+S cost.
void BM_SaveOneChange(benchmark::State& state) {
  const Setup& s = TheSetup();
  CHashSetCatalogue catalogue;
  if (!catalogue.Load(s.database).ok()) {
    state.SkipWithError("Load failed");
    return;
  }
  const std::uint32_t middle = s.sets / 2;
  std::uint8_t head[20];
  std::uint8_t record[260];
  {
    const int fd = ::open(s.database.c_str(), O_RDONLY | O_CLOEXEC);
    ReadFully(fd, head, sizeof head, 0);
    ReadFully(fd, record, sizeof record, static_cast<off_t>(20 + 260ull * middle));
    ::close(fd);
  }
  // The baseline writes through a descriptor of its own, opened before timing as
  // the catalogue's is. Both hold the file; the catalogue's lock is advisory.
  const int fd = ::open(s.database.c_str(), O_WRONLY | O_CLOEXEC);
  Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          catalogue.SetAlert(middle, !catalogue.GetAlert(middle));
          return Time([&] {
            if (!catalogue.Save()) state.SkipWithError("Save failed");
          });
        },
        [&] {
          return Time([&] {
            WriteFully(fd, head, sizeof head, 0);
            WriteFully(fd, record, sizeof record, static_cast<off_t>(20 + 260ull * middle));
            ::fdatasync(fd);
          });
        });
  }
  ::close(fd);
  if (catalogue.GetAlert(middle) != (record[0] != 0)) {
    catalogue.SetAlert(middle, record[0] != 0);
    catalogue.Save();
  }
  pairs.Report(state);
}

class NoProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t) override {}
  void Advance(std::uint64_t done) override { benchmark::DoNotOptimize(done); }
  void End() override {}
};

// The fastest plain copy in this process: 1 MiB reads and writes, then fsync.
void CopyFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<std::uint8_t> buffer(1 << 20);
  off_t at = 0;
  for (ssize_t got; (got = ::read(in, buffer.data(), buffer.size())) > 0; at += got) {
    if (!WriteFully(out, buffer.data(), static_cast<std::size_t>(got), at)) break;
  }
  ::fsync(out);
  ::close(out);
  ::close(in);
}

void BM_SaveAs(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          std::remove(s.copy.c_str());
          CHashSetCatalogue catalogue;
          if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
          NoProgress progress;
          const double t = Time([&] {
            if (!catalogue.SaveAs(s.copy, progress)) state.SkipWithError("SaveAs failed");
          });
          catalogue.Close();
          return t;
        },
        [&] {
          std::remove(s.copy.c_str());
          return Time([&] { CopyFile(s.database, s.copy); });
        });
  }
  std::remove(s.copy.c_str());
  pairs.Report(state);
}

void BM_MappedFirstScreen(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          return Time([&] {
            const int fd = ::open(s.database.c_str(), O_RDONLY | O_CLOEXEC);
            void* map = ::mmap(nullptr, s.table_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
            if (map == MAP_FAILED) {
              state.SkipWithError("mmap failed");
            } else {
              std::size_t length = 0;
              const auto* bytes = static_cast<const char*>(map);
              for (std::uint32_t i = 0; i < 40 && i < s.sets; ++i) {
                length += ::strnlen(bytes + 20 + 260ull * i + 4, 256);
              }
              benchmark::DoNotOptimize(length);
              ::munmap(map, s.table_bytes);
            }
            ::close(fd);
          });
        },
        [&] {
          CHashSetCatalogue catalogue;
          return Time([&] {
            if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
          });
        });
  }
  pairs.Report(state);
}

// hdbtool copy as a whole process against a copying command; arg 0: cp + sync,
// arg 1: dd bs=1M conv=fsync.
void BM_HdbtoolCopy(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  const std::string ours =
      Quoted(HDBTOOL_PATH) + " copy " + Quoted(s.database) + " " + Quoted(s.copy);
  const std::string baseline = state.range(0) == 0
                                   ? "cp --reflink=never " + Quoted(s.database) + " " +
                                         Quoted(s.copy) + " && sync " + Quoted(s.copy)
                                   : "dd if=" + Quoted(s.database) + " of=" + Quoted(s.copy) +
                                         " bs=1M conv=fsync status=none";
  state.SetLabel(state.range(0) == 0 ? "vs cp --reflink=never + sync" : "vs dd bs=1M conv=fsync");
  Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          std::remove(s.copy.c_str());
          return Shell(state, ours);
        },
        [&] {
          std::remove(s.copy.c_str());
          return Shell(state, baseline);
        });
  }
  std::remove(s.copy.c_str());
  pairs.Report(state);
}

void BM_HdbtoolList(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  const std::string ours = Quoted(HDBTOOL_PATH) + " list " + Quoted(s.database) + " >/dev/null";
  const std::string baseline =
      "head -c " + std::to_string(s.table_bytes) + " " + Quoted(s.database) + " >/dev/null";
  Pairs pairs;
  for (auto _ : state) ShellPair(state, pairs, ours, baseline);
  pairs.Report(state);
}

void BM_HdbtoolSet(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Pairs pairs;
  bool on = true;
  for (auto _ : state) {
    const std::string flag = on ? "1" : "0";
    const std::string ours =
        Quoted(HDBTOOL_PATH) + " set " + Quoted(s.database) + (on ? " --on 0" : " --off 0");
    const std::string baseline =
        Quoted(s.self) + " --baseline-set " + Quoted(s.database) + " " + flag;
    ShellPair(state, pairs, ours, baseline);
    on = !on;
  }
  pairs.Report(state);
}

// The database as a new release: its records in reverse order, every alert
// off, every 100th set renamed; a small tail. Written twice: the release that
// apply changes, and a pristine copy to restore its flags from.
bool WriteRelease(const Setup& s) {
  const int in = ::open(s.database.c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<std::uint8_t> table(s.table_bytes);
  const bool read = in >= 0 && ReadFully(in, table.data(), table.size(), 0);
  if (in >= 0) ::close(in);
  if (!read) return false;
  std::vector<std::uint8_t> release(table.size() + (1 << 20));
  std::copy(table.begin(), table.begin() + 20, release.begin());
  for (std::uint32_t j = 0; j < s.sets; ++j) {
    const std::uint32_t i = s.sets - 1 - j;
    std::uint8_t* record = release.data() + 20 + 260ull * j;
    std::memcpy(record, table.data() + 20 + 260ull * i, 260);
    std::memset(record, 0, 4);
    if (i % 100 == 0) {
      const char* name = reinterpret_cast<const char*>(record + 4);
      const std::size_t length = std::min<std::size_t>(::strnlen(name, 256), 240);
      std::memcpy(record + 4 + length, " (renamed)", 11);
    }
  }
  for (const std::string& path : {s.release, s.release_pristine}) {
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written = out >= 0 && WriteFully(out, release.data(), release.size(), 0);
    if (out >= 0) ::close(out);
    if (!written) return false;
  }
  return true;
}

std::string ListBoth(const Setup& s) {
  return Quoted(HDBTOOL_PATH) + " list " + Quoted(s.database) + " >/dev/null && " +
         Quoted(HDBTOOL_PATH) + " list " + Quoted(s.release) + " >/dev/null";
}

void BM_HdbtoolDiff(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Warm(s.release);
  // Exit 1 (the alerts differ) is the expected answer.
  const std::string ours = Quoted(HDBTOOL_PATH) + " diff " + Quoted(s.database) + " " +
                           Quoted(s.release) + " >/dev/null; test $? -eq 1";
  const std::string baseline = ListBoth(s);
  Pairs pairs;
  for (auto _ : state) ShellPair(state, pairs, ours, baseline);
  pairs.Report(state);
}

void BM_HdbtoolApply(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  Warm(s.release);
  Warm(s.release_pristine);
  const std::string baseline = ListBoth(s);
  Pairs pairs;
  bool from_database = true;
  for (auto _ : state) {
    const std::string ours = Quoted(HDBTOOL_PATH) + " apply " + Quoted(s.release) + " --from " +
                             Quoted(from_database ? s.database : s.release_pristine) +
                             " >/dev/null 2>&1";
    ShellPair(state, pairs, ours, baseline);
    from_database = !from_database;
  }
  pairs.Report(state);
}

// Baseline mode of this program for `hdbtool set`: read the header and record
// table as Load does, write record 0's alert word, flush the data.
int BaselineSet(const char* path, const char* flag) {
  const int fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0) return 1;
  std::uint8_t head[20];
  if (!ReadFully(fd, head, sizeof head, 0)) return 1;
  std::uint32_t count = 0;
  std::memcpy(&count, head + 16, 4);
  LargeBuffer table(260ull * count);
  if (!ReadFully(fd, table.data(), table.size(), 20)) return 1;
  const std::uint8_t word[4] = {static_cast<std::uint8_t>(flag[0] == '1'), 0, 0, 0};
  if (!WriteFully(fd, word, sizeof word, 20)) return 1;
  ::fdatasync(fd);
  ::close(fd);
  return 0;
}

void Pairs7(benchmark::internal::Benchmark* b) {
  b->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(TheSetup().pairs);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--baseline-set") == 0)
    return BaselineSet(argv[2], argv[3]);

  Setup& s = TheSetup();
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  s.self = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : argv[0];
  const std::string folder = bench::BenchFolder();
  s.database = folder + "/bench-large.hdb";
  s.copy = folder + "/bench-large-copy.hdb";
  s.release = folder + "/bench-large-release.hdb";
  s.release_pristine = folder + "/bench-large-release-pristine.hdb";
  s.sets = static_cast<std::uint32_t>(EnvNumber("VELMORA_BENCH_SETS", 1000000));
  s.pairs = static_cast<int>(EnvNumber("VELMORA_BENCH_PAIRS", 7));
  s.table_bytes = TailOffset(s.sets);
  SampleOptions options;
  options.sets = s.sets;
  options.tail_bytes = EnvNumber("VELMORA_BENCH_TAIL_MIB", 1024) << 20;
  s.file_bytes = s.table_bytes + options.tail_bytes;
  std::fprintf(stderr, "Generating %u sets and a %llu MiB tail in %s...\n", s.sets,
               static_cast<unsigned long long>(options.tail_bytes >> 20), s.database.c_str());
  if (auto error = WriteSampleDatabase(s.database, options)) {
    std::fprintf(stderr, "%s\n", error->Message().c_str());
    return 1;
  }
  if (!WriteRelease(s)) {
    std::fprintf(stderr, "The new release of %s could not be written.\n", s.database.c_str());
    return 1;
  }

  BENCHMARK(BM_Load)->Apply(Pairs7);
  BENCHMARK(BM_LoadPeakMemory)->UseManualTime()->Iterations(1);
  BENCHMARK(BM_MappedFirstScreen)->Apply(Pairs7)->Unit(benchmark::kMicrosecond);
  BENCHMARK(BM_SaveOneChange)->Apply(Pairs7)->Unit(benchmark::kMicrosecond);
  BENCHMARK(BM_SaveAs)->Apply(Pairs7);
  BENCHMARK(BM_HdbtoolCopy)->Arg(0)->Arg(1)->Apply(Pairs7);
  BENCHMARK(BM_HdbtoolList)->Apply(Pairs7);
  BENCHMARK(BM_HdbtoolSet)->Apply(Pairs7);
  BENCHMARK(BM_HdbtoolDiff)->Apply(Pairs7);
  BENCHMARK(BM_HdbtoolApply)->Apply(Pairs7);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(s.database.c_str());
  std::remove(s.copy.c_str());
  std::remove(s.release.c_str());
  std::remove(s.release_pristine.c_str());
  return 0;
}
