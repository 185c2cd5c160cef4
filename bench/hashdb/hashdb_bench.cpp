// Load, Save and SaveAs of a large database, each against the plain file work it
// cannot beat, timed alternately in the same run:
//   Load   against one sequential read of the header and record table,
//   Save   against one write of the same bytes (both flushed),
//   SaveAs against `cp --reflink=never` of the same file (both flushed).
// Load's peak resident memory is measured in a child process of its own.
//
// The database (default 1,000,000 sets and a 1 GiB tail) is generated under
// $VELMORA_BENCH_DIR (default: the current folder) and deleted at the end.
// $VELMORA_BENCH_SETS and $VELMORA_BENCH_TAIL_MIB make it smaller for a trial.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"

namespace {

using bench::EnvNumber;
using bench::Time;

struct Setup {
  std::string folder;
  std::string database;
  std::string copy;
  std::uint32_t sets = 0;
  std::uint64_t table_bytes = 0;
  std::uint64_t file_bytes = 0;
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

// Reads the whole file once so the page cache is warm.
void Warm(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::vector<char> buffer(1 << 20);
  while (::read(fd, buffer.data(), buffer.size()) > 0) {
  }
  ::close(fd);
}

// Sums of both timings over the iterations; the ratio is taken of the sums.
struct Timings {
  double subject = 0;
  double baseline = 0;
  int runs = 0;

  void Add(benchmark::State& state, double subject_seconds, double baseline_seconds) {
    state.SetIterationTime(subject_seconds);
    subject += subject_seconds;
    baseline += baseline_seconds;
    ++runs;
  }
  // ratio: our time over the baseline's (at most the target).
  void Report(benchmark::State& state) const {
    if (runs == 0) return;
    state.counters["baseline_ms"] = baseline * 1000 / runs;
    state.counters["ratio"] = subject / baseline;
  }
};

// Reads the header and record table with one read into buffer.
void ReadTable(const std::string& path, char* buffer, std::size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, buffer + done, size - done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  benchmark::DoNotOptimize(buffer);
}

// Two baselines: the read into a new buffer (what any load must do: memory for
// the table, then the bytes), and the read into a buffer already in memory.
void BM_Load(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  std::vector<char> resident(s.table_bytes);
  Timings timings;
  double prefaulted = 0;
  for (auto _ : state) {
    const double baseline = Time([&] {
      auto buffer = std::make_unique_for_overwrite<char[]>(s.table_bytes);
      ReadTable(s.database, buffer.get(), s.table_bytes);
    });
    prefaulted += Time([&] { ReadTable(s.database, resident.data(), resident.size()); });
    CHashSetCatalogue catalogue;
    const double subject = Time([&] {
      if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
    });
    catalogue.Close();
    timings.Add(state, subject, baseline);
  }
  timings.Report(state);
  state.counters["ratio_resident"] = timings.subject / prefaulted;
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
    state.counters["limit_MiB"] = (1.3 * static_cast<double>(s.table_bytes) + 32.0 * (1 << 20)) / (1 << 20);
    state.counters["ratio"] = peak / static_cast<double>(s.table_bytes);
  }
}

void BM_Save(benchmark::State& state) {
  const Setup& s = TheSetup();
  std::vector<char> table(s.table_bytes);
  {
    const int fd = ::open(s.database.c_str(), O_RDONLY);
    (void)!::read(fd, table.data(), table.size());
    ::close(fd);
  }
  Timings timings;
  for (auto _ : state) {
    const double baseline = Time([&] {
      const int fd = ::open(s.database.c_str(), O_WRONLY);
      std::size_t done = 0;
      while (done < table.size()) {
        const ssize_t put = ::pwrite(fd, table.data() + done, table.size() - done, static_cast<off_t>(done));
        if (put <= 0) break;
        done += static_cast<std::size_t>(put);
      }
      ::fsync(fd);
      ::close(fd);
    });
    CHashSetCatalogue catalogue;
    if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
    catalogue.SetAlert(0, !catalogue.GetAlert(0));
    const double subject = Time([&] {
      if (!catalogue.Save()) state.SkipWithError("Save failed");
    });
    catalogue.SetAlert(0, !catalogue.GetAlert(0));
    catalogue.Save();
    catalogue.Close();
    timings.Add(state, subject, baseline);
  }
  timings.Report(state);
}

class NoProgress final : public SaveProgress {
 public:
  void Begin(std::uint64_t) override {}
  void Advance(std::uint64_t done) override { benchmark::DoNotOptimize(done); }
  void End() override {}
};

void BM_SaveAs(benchmark::State& state) {
  const Setup& s = TheSetup();
  Warm(s.database);
  const std::string cp = "cp --reflink=never '" + s.database + "' '" + s.copy + "' && sync '" + s.copy + "'";
  std::uint64_t bytes = 0;
  Timings timings;
  for (auto _ : state) {
    std::remove(s.copy.c_str());
    const double baseline = Time([&] {
      if (std::system(cp.c_str()) != 0) state.SkipWithError("cp failed");
    });
    std::remove(s.copy.c_str());
    CHashSetCatalogue catalogue;
    if (!catalogue.Load(s.database).ok()) state.SkipWithError("Load failed");
    NoProgress progress;
    const double subject = Time([&] {
      if (!catalogue.SaveAs(s.copy, progress)) state.SkipWithError("SaveAs failed");
    });
    catalogue.Close();
    std::remove(s.copy.c_str());
    timings.Add(state, subject, baseline);
    bytes += s.file_bytes;
  }
  timings.Report(state);
  // Throughput against cp's: its time over ours (at least 0.8 is the target).
  if (timings.subject > 0) state.counters["throughput_ratio"] = timings.baseline / timings.subject;
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

BENCHMARK(BM_Load)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadPeakMemory)->UseManualTime()->Iterations(1);
BENCHMARK(BM_Save)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveAs)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  Setup& s = TheSetup();
  s.folder = bench::BenchFolder();
  s.database = s.folder + "/bench-large.hdb";
  s.copy = s.folder + "/bench-large-copy.hdb";
  s.sets = static_cast<std::uint32_t>(EnvNumber("VELMORA_BENCH_SETS", 1000000));
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
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(s.database.c_str());
  std::remove(s.copy.c_str());
  return 0;
}
