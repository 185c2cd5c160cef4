// Ordwin's window, timed in the same run as the baselines it is compared with
// (median of 20 each):
//   OrdwinStart         start_probe ordwin: process start to the painted main
//                       window, start-up offer off
//   BareWindowStart     start_probe bare: a Qt main window with a menu, a label
//                       and a status bar, painted (what any Qt program costs)
//   WindowCheck         Check for updates in the window: progress dialog up,
//                       transfer, reply applied, list refreshed, dialog gone
//   HeadlessCheck       the same transfer and ApplyVersionReply without a window
// All against the reference site on loopback serving the demo manifest.
#include <QApplication>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/qt/qt_message_boxes.h"
#include "platform/registry.h"
#include "tests/update_client/loopback.h"
#include "tools/update_client/site_server.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/ordwin_app.h"
#include "update_manager/ordwin_view.h"
#include "update_manager/product_table.h"

extern char** environ;

namespace {

testing_support::LoopbackServer& Site() {
  static testing_support::LoopbackServer site;
  return site;
}

std::filesystem::path& ConfigFolder() {
  static std::filesystem::path folder;
  return folder;
}

void StartSite() {
  Manifest manifest;
  std::string error;
  if (!LoadManifest(VELMORA_DEMO_MANIFEST, manifest, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  InstallUpdateSiteRoutes(Site().Routes(), manifest);
  Site().Start();
  std::string folder = (std::filesystem::temp_directory_path() / "ordwin-bench-XXXXXX").string();
  if (!::mkdtemp(folder.data())) std::exit(1);
  ConfigFolder() = folder;
  std::ofstream(ConfigFolder() / "Ordwin.ini")
      << "[Ordwin]\nUpdateSiteHost=" << Site().Host()
      << "\nMakerWebHost=www.velmora.test\nCheckForUpdateOnStartup=0\n";
  ::setenv("VELMORA_CONFIG_DIR", folder.c_str(), 1);
  for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
}

double SpawnAndWait(const char* mode) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(START_PROBE), const_cast<char*>(mode), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, START_PROBE, &actions, nullptr, argv, environ) == 0) {
    waitpid(pid, &status, 0);
  }
  const auto took = std::chrono::steady_clock::now() - start;
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) std::fprintf(stderr, "start_probe %s exited with %d\n", mode, status);
  return std::chrono::duration<double>(took).count();
}

void OrdwinStart(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(SpawnAndWait("ordwin"));
}

void BareWindowStart(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(SpawnAndWait("bare"));
}

class NoQuestions : public MessageBoxes {
 public:
  BoxAnswer Show(const std::string&, const std::string&, BoxButtons, BoxIcon) override {
    return BoxAnswer::No;  // the demo site reports Ordwin 1.2: keep Ordwin running
  }
};

void WindowCheck(benchmark::State& state) {
  NoQuestions boxes;
  IniFileRegistry registry;
  CProductTable table;
  COrdwinApp app(boxes, registry, table, "/opt/velmora/bin/ordwin");
  app.InitInstance();
  for (auto _ : state) app.View()->CheckForUpdates();
  if (table[1].latest_version.empty()) state.SkipWithError("the check learned nothing");
}

void HeadlessCheck(benchmark::State& state) {
  CProductTable table;
  table.Rebuild();
  const std::string url = UpdateSiteUrl(kLatestVersionsAction);
  for (auto _ : state) {
    CUpdateSession session;
    const std::string reply = FetchUpdateSite(session, url);
    ApplyVersionReply(reply, table);
    session.Close();
  }
  if (table[1].latest_version.empty()) state.SkipWithError("the check learned nothing");
}

BENCHMARK(OrdwinStart)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BareWindowStart)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(WindowCheck)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(HeadlessCheck)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->Unit(benchmark::kMillisecond);

// Keeps the medians for the ratio summary.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;  // milliseconds
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  benchmark::Initialize(&argc, argv);
  StartSite();
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& m = reporter.medians;
  auto ratio = [&](const char* a, const char* b) {
    return m.count(a) && m.count(b) && m[b] > 0 ? m[a] / m[b] : 0.0;
  };
  std::printf(
      "\nmedians: OrdwinStart %.1f ms (target < 300 ms), WindowCheck %.1f ms (target < 100 ms)\n",
      m["OrdwinStart"], m["WindowCheck"]);
  std::printf("OrdwinStart / BareWindowStart = %.2f\n", ratio("OrdwinStart", "BareWindowStart"));
  std::printf("WindowCheck / HeadlessCheck   = %.2f\n", ratio("WindowCheck", "HeadlessCheck"));
  Site().Stop();
  std::filesystem::remove_all(ConfigFolder());
  benchmark::Shutdown();
  return 0;
}
