// Ordwin's window, each measure against its baseline in 20 alternating pairs
// (min and median):
//   OrdwinStart   start_probe ordwin (process start to the painted main window,
//                 start-up offer off) against start_probe bare (a Qt main window
//                 with a menu, a label and a status bar, painted)
//   WindowCheck   Check for updates in the window (progress dialog up, transfer,
//                 reply applied, list refreshed, dialog gone) against the same
//                 transfer and ApplyVersionReply without a window
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
#include <memory>
#include <string>

#include "bench/bench_support.h"
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

// Ordwin's start to its painted window against a bare Qt main window's.
void BM_OrdwinStart(benchmark::State& state) {
  bench::Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state, [] { return SpawnAndWait("ordwin"); }, [] { return SpawnAndWait("bare"); });
  }
  pairs.Report(state);
}

class NoQuestions : public MessageBoxes {
 public:
  BoxAnswer Show(const std::string&, const std::string&, BoxButtons, BoxIcon) override {
    return BoxAnswer::No;  // the demo site reports Ordwin 1.2: keep Ordwin running
  }
};

// Check for updates in the window against the same transfer and
// ApplyVersionReply without one.
void BM_WindowCheck(benchmark::State& state) {
  NoQuestions boxes;
  IniFileRegistry registry;
  CProductTable table;
  COrdwinApp app(boxes, registry, table, "/opt/velmora/bin/ordwin");
  app.InitInstance();
  CProductTable headless_table;
  headless_table.Rebuild();
  const std::string url = UpdateSiteUrl(kLatestVersionsAction);
  bench::Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state, [&] { return bench::Time([&] { app.View()->CheckForUpdates(); }); },
        [&] {
          return bench::Time([&] {
            CUpdateSession session;
            const std::string reply = FetchUpdateSite(session, url);
            ApplyVersionReply(reply, headless_table);
            session.Close();
          });
        });
  }
  if (table[1].latest_version.empty() || headless_table[1].latest_version.empty()) {
    state.SkipWithError("the check learned nothing");
  }
  pairs.Report(state);
}

BENCHMARK(BM_OrdwinStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowCheck)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  benchmark::Initialize(&argc, argv);
  StartSite();
  benchmark::RunSpecifiedBenchmarks();
  Site().Stop();
  std::filesystem::remove_all(ConfigFolder());
  benchmark::Shutdown();
  return 0;
}
