// Talvane's list with a big database, offscreen, each figure against a baseline
// timed in the same run:
//   open to painted list  against Load alone (Open through the window: close,
//                         Load, fill, then one full paint of the window);
//   one heading click     (ascending, descending, file order) against Load;
//   one FindItem over every row without a hit (case folded, the slowest kind)
//                         against Load;
//   peak resident memory  of a process that opens the database in the window
//                         and paints it, against the size of the record table;
//   start to first paint  Talvane's start as a process (registry stand-in,
//                         default database, window shown and painted) with the
//                         big database against the same start with 40 sets, in
//                         alternating pairs; and the peak memory the big one
//                         adds over the small one, against the record table.
// A 10,000-set database is opened to a painted list as well.
//
// The databases are generated under $VELMORA_BENCH_DIR (default: the current
// folder) and deleted at the end; $VELMORA_BENCH_SETS (default 1,000,000) sets
// the size of the big one.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QProgressBar>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "flag_editor/flag_editor_dlg.h"
#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "platform/registry.h"

namespace {

using bench::EnvNumber;
using bench::Time;

// The window's questions: Open always answers with one path, nothing else is asked.
class Answers : public MessageBoxes, public FileDialogs {
 public:
  std::string path;
  BoxAnswer Show(const std::string& text, const std::string&, BoxButtons, BoxIcon) override {
    std::fprintf(stderr, "unexpected box: %s\n", text.c_str());
    return BoxAnswer::Cancel;
  }
  std::optional<QString> AskOpenFileName() override { return QString::fromStdString(path); }
  std::optional<QString> AskSaveAsFileName(const QString&) override { return std::nullopt; }
};

// A registry with no keys: the window starts without a database.
class EmptyRegistry : public Registry {
 public:
  std::optional<RegistryKey> OpenKey(const std::string&, const std::string&) override { return {}; }
  std::optional<std::string> QueryValue(RegistryKey, const std::string&, std::size_t) override {
    return {};
  }
  void CloseKey(RegistryKey) override {}
  bool SetValue(const std::string&, const std::string&, const std::string&,
                const std::string&) override {
    return false;
  }
};

struct Setup {
  std::string big;
  std::string small;
  std::string start_big;  // settings folders whose registry names a database
  std::string start_small;
  std::uint32_t sets = 0;
  double big_load_seconds = 0;  // Load alone, from BM_OpenToPaintedList
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

// The main window, started without a database (no start-up lookup runs).
class Window {
 public:
  Window() { dlg_ = std::make_unique<CFlagEditorDlg>(answers_, answers_, registry_); }
  CFlagEditorDlg& dlg() { return *dlg_; }
  // Open through the File menu, then paint the window once, as a user sees it.
  void OpenAndPaint(const std::string& path) {
    answers_.path = path;
    dlg_->OnFileOpen();
    (void)dlg_->grab();
  }

 private:
  Answers answers_;
  EmptyRegistry registry_;
  std::unique_ptr<CFlagEditorDlg> dlg_;
};

double LoadSeconds(const std::string& path) {
  CHashSetCatalogue catalogue;
  const double seconds = Time([&] { benchmark::DoNotOptimize(catalogue.Load(path).ok()); });
  catalogue.Close();
  return seconds;
}

// Set once BigWindow made it; it holds the big database until closed.
Window* big_window = nullptr;

Window& BigWindow() {
  static Window* window = [] {
    auto* w = new Window;
    big_window = w;
    w->dlg().resize(800, 600);
    w->dlg().show();
    w->OpenAndPaint(TheSetup().big);
    return w;
  }();
  return *window;
}

void BM_OpenToPaintedList(benchmark::State& state) {
  const std::string& path = state.range(0) == 0 ? TheSetup().big : TheSetup().small;
  Window window;
  window.dlg().resize(800, 600);
  window.dlg().show();
  double open = 0, load = 0;
  int n = 0;
  for (auto _ : state) {
    // Alternate the two so both see the same cache and machine state; the
    // window lets go of the file first, as it holds it exclusively.
    window.dlg().OnFileClose();
    load += LoadSeconds(path);
    const double t = Time([&] { window.OpenAndPaint(path); });
    open += t;
    ++n;
    state.SetIterationTime(t);
  }
  state.counters["open_ms"] = 1000 * open / n;
  state.counters["load_ms"] = 1000 * load / n;
  state.counters["open_per_load"] = open / load;
  state.counters["rows"] = window.dlg().ListModel().RowCount();
  if (state.range(0) == 0) TheSetup().big_load_seconds = load / n;
}
BENCHMARK(BM_OpenToPaintedList)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Peak resident memory of a child that opens the big database in the window
// and paints it; the limit is 2.5 x the record table + 64 MiB.
void BM_PeakMemory(benchmark::State& state) {
  const double table = 20.0 + 260.0 * TheSetup().sets;
  for (auto _ : state) {
    const std::string command =
        "VELMORA_BENCH_CHILD=1 /proc/" + std::to_string(::getpid()) + "/exe";
    FILE* child = ::popen(command.c_str(), "r");
    long kib = -1;
    if (child) {
      if (std::fscanf(child, "%ld", &kib) != 1) kib = -1;
      ::pclose(child);
    }
    if (kib < 0) {
      state.SkipWithError("the child failed");
      return;
    }
    const double peak = kib * 1024.0;
    state.counters["peak_mib"] = peak / (1024 * 1024);
    state.counters["table_mib"] = table / (1024 * 1024);
    state.counters["peak_per_table"] = peak / table;
    state.counters["limit_mib"] = (2.5 * table + 64.0 * 1024 * 1024) / (1024 * 1024);
  }
}
BENCHMARK(BM_PeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SortClick(benchmark::State& state) {
  CFlagEditorDlg& dlg = BigWindow().dlg();
  const double load = TheSetup().big_load_seconds;
  double worst = 0, total = 0;
  int n = 0;
  for (auto _ : state) {
    const double t = Time([&] {
      dlg.OnHeaderItemClick(1);
      (void)dlg.grab();
    });
    worst = std::max(worst, t);
    total += t;
    ++n;
    state.SetIterationTime(t);
  }
  state.counters["click_ms"] = 1000 * total / n;
  state.counters["worst_ms"] = 1000 * worst;
  state.counters["worst_per_load"] = worst / load;
}
BENCHMARK(BM_SortClick)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

void BM_FindItemAllRows(benchmark::State& state) {
  CFlagEditorDlg& dlg = BigWindow().dlg();
  const double load = TheSetup().big_load_seconds;
  // A needle no sample name holds, so every row is read and folded.
  const HashSetListModel& rows = dlg.ListModel();
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    std::optional<int> found;
    const double t = Time([&] { found = FindItem(rows, -1, "zz-no-such-set-zz", FindOptions{}); });
    if (found) state.SkipWithError("the needle was found");
    total += t;
    ++n;
    state.SetIterationTime(t);
  }
  state.counters["find_ms"] = 1000 * total / n;
  state.counters["find_per_load"] = (total / n) / load;
}
BENCHMARK(BM_FindItemAllRows)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Starts this program as Talvane would start with the settings folder config,
// and waits for it: the wall time and the child's peak resident memory.
struct StartRun {
  double seconds = 0;
  double peak_bytes = 0;
};

StartRun StartAndWait(const std::string& config) {
  StartRun run;
  const std::string exe = "/proc/self/exe";
  // The child reports its own peak: a spawned child's ru_maxrss would count
  // this process's memory, which it shares until it runs the program.
  const std::string peak_file = config + "/peak-kib";
  std::remove(peak_file.c_str());
  std::vector<std::string> env_strings = {"VELMORA_BENCH_START=1", "VELMORA_CONFIG_DIR=" + config,
                                          "QT_QPA_PLATFORM=offscreen",
                                          "VELMORA_BENCH_PEAK_FILE=" + peak_file};
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "VELMORA_", 8) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) {
      env_strings.emplace_back(*e);
    }
  }
  std::vector<char*> env;
  for (auto& e : env_strings) env.push_back(e.data());
  env.push_back(nullptr);
  char arg0[] = "talvane-start";
  char* argv[] = {arg0, nullptr};
  run.seconds = Time([&] {
    pid_t pid = 0;
    if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, env.data()) != 0) return;
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) run.peak_bytes = -1;
  });
  if (run.peak_bytes == 0) {
    std::ifstream in(peak_file);
    double kib = 0;
    if (in >> kib) run.peak_bytes = kib * 1024.0;
  }
  return run;
}

void BM_StartToFirstPaint(benchmark::State& state) {
  const double table = 20.0 + 260.0 * TheSetup().sets;
  // The window of the other measures holds the big database exclusively.
  if (big_window) big_window->dlg().OnFileClose();
  bench::Pairs pairs;
  std::vector<double> big_peaks, small_peaks;
  for (auto _ : state) {
    pairs.Run(
        state,
        [&] {
          const StartRun run = StartAndWait(TheSetup().start_big);
          big_peaks.push_back(run.peak_bytes);
          return run.seconds;
        },
        [&] {
          const StartRun run = StartAndWait(TheSetup().start_small);
          small_peaks.push_back(run.peak_bytes);
          return run.seconds;
        });
  }
  if (bench::Pairs::Min(big_peaks) <= 0 || bench::Pairs::Min(small_peaks) <= 0) {
    state.SkipWithError("a start failed");
    return;
  }
  pairs.Report(state);
  const double big_peak = bench::Pairs::Median(big_peaks);
  const double small_peak = bench::Pairs::Median(small_peaks);
  state.counters["peak_mib"] = big_peak / (1 << 20);
  state.counters["empty_window_peak_mib"] = small_peak / (1 << 20);
  state.counters["table_mib"] = table / (1 << 20);
  state.counters["added_peak_per_table"] = (big_peak - small_peak) / table;
}
BENCHMARK(BM_StartToFirstPaint)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

// The child of BM_StartToFirstPaint: Talvane's start, ended once painted.
int StartAndPaint() {
  IniFileRegistry registry;
  Answers answers;
  CFlagEditorDlg dialog(answers, answers, registry);
  dialog.OnInitDialog();
  dialog.show();
  dialog.repaint();
  // The peak resident memory of this process so far (VmHWM, in KiB).
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      if (const char* file = std::getenv("VELMORA_BENCH_PEAK_FILE")) {
        std::ofstream(file) << std::strtoll(line.c_str() + 6, nullptr, 10) << "\n";
      }
    }
  }
  return dialog.ListModel().RowCount() > 0 ? 0 : 1;
}

bool WriteStartFolder(const std::string& folder, const std::string& database) {
  ::mkdir(folder.c_str(), 0700);
  std::ofstream out(folder + "/registry.ini", std::ios::binary | std::ios::trunc);
  out << "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]\nPath=" << database
      << "\n";
  return static_cast<bool>(out);
}

void RemoveStartFolder(const std::string& folder) {
  std::remove((folder + "/registry.ini").c_str());
  std::remove((folder + "/peak-kib").c_str());
  ::rmdir(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string folder = bench::BenchFolder();
  Setup& setup = TheSetup();
  setup.sets = static_cast<std::uint32_t>(EnvNumber("VELMORA_BENCH_SETS", 1000000));
  setup.big = folder + "/talvane-bench-big.hdb";
  setup.small = folder + "/talvane-bench-10k.hdb";

  QApplication application(argc, argv);
  if (std::getenv("VELMORA_BENCH_START")) return StartAndPaint();
  if (std::getenv("VELMORA_BENCH_CHILD")) {
    Window window;
    window.dlg().resize(800, 600);
    window.dlg().show();
    window.OpenAndPaint(setup.big);
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", window.dlg().ListModel().RowCount() == static_cast<int>(setup.sets)
                             ? usage.ru_maxrss
                             : -1L);
    return 0;
  }

  SampleOptions big;
  big.sets = setup.sets;
  big.tail_bytes = 1 << 20;
  SampleOptions small;
  small.sets = 10000;
  small.tail_bytes = 1 << 20;
  SampleOptions forty;
  forty.sets = 40;
  forty.tail_bytes = 1 << 20;
  const std::string forty_path = folder + "/talvane-bench-40.hdb";
  setup.start_big = folder + "/talvane-start-big";
  setup.start_small = folder + "/talvane-start-40";
  if (WriteSampleDatabase(setup.big, big) || WriteSampleDatabase(setup.small, small) ||
      WriteSampleDatabase(forty_path, forty) || !WriteStartFolder(setup.start_big, setup.big) ||
      !WriteStartFolder(setup.start_small, forty_path)) {
    std::fprintf(stderr, "cannot write the databases under %s\n", folder.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(setup.big.c_str());
  std::remove(setup.small.c_str());
  std::remove(forty_path.c_str());
  RemoveStartFolder(setup.start_big);
  RemoveStartFolder(setup.start_small);
  return 0;
}
