// A check for updates against the reference site on loopback, timed in the same
// run as the baselines it is compared with (median of 20 each):
//   OrdwinCheckProgram  `ordwin --check`, from process start to exit
//   OrdwinUsage         `ordwin` with an option it does not know: the same program,
//                       loaded and ended at once with its usage text (what starting
//                       ordwin costs)
//   SpawnTrue           starting and waiting for /bin/true (what any program costs)
//   FetchUpdateSite     the transfer alone, in process
//   PlainCurlGet        one bare libcurl GET of the same page (what HTTP costs)
// The site serves the demo manifest; Ordwin.ini in a private settings folder
// points at it. At the end the ratios are printed, and the connections the
// server saw for one check and the bytes kept from a 1 MiB body.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "tools/update_client/site_server.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"

extern char** environ;

namespace {

struct Site {
  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::mutex mutex;
  std::set<int> client_ports;   // one per connection
  std::string url;
  std::string long_url;
};

Site& TheSite() {
  static Site site;
  return site;
}

void StartSite() {
  Site& site = TheSite();
  Manifest manifest;
  std::string error;
  if (!LoadManifest(VELMORA_DEMO_MANIFEST, manifest, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  InstallUpdateSiteRoutes(site.server, manifest);
  site.server.Get("/long", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(1 << 20, 'x'), "text/html");
  });
  site.server.set_logger([&site](const httplib::Request& request, const httplib::Response&) {
    std::lock_guard<std::mutex> lock(site.mutex);
    site.client_ports.insert(request.remote_port);
  });
  site.port = site.server.bind_to_any_port("127.0.0.1");
  site.thread = std::thread([&site] { site.server.listen_after_bind(); });
  while (!site.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string host = "127.0.0.1:" + std::to_string(site.port);
  site.url = UpdateSiteUrl(kLatestVersionsAction, host);
  site.long_url = "http://" + host + "/long";

  std::string folder = (std::filesystem::temp_directory_path() / "ordwin-bench-XXXXXX").string();
  if (!::mkdtemp(folder.data())) std::exit(1);
  std::ofstream(folder + "/Ordwin.ini") << "[Ordwin]\nUpdateSiteHost=" << host << "\n";
  ::setenv("VELMORA_CONFIG_DIR", folder.c_str(), 1);
  for (const char* name : {"http_proxy", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
}

void StopSite() {
  Site& site = TheSite();
  site.server.stop();
  site.thread.join();
  std::filesystem::remove_all(std::getenv("VELMORA_CONFIG_DIR"));
}

double SpawnAndWait(const char* program, const char* argument, int expected_status = 0) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int status = -1;
  if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  const auto took = std::chrono::steady_clock::now() - start;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != expected_status) {
    std::fprintf(stderr, "%s %s ended with status %d\n", program, argument ? argument : "", status);
  }
  return std::chrono::duration<double>(took).count();
}

void OrdwinCheckProgram(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(SpawnAndWait(ORDWIN_PROGRAM, "--check"));
}

void OrdwinUsage(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(SpawnAndWait(ORDWIN_PROGRAM, "--usage-only", 2));
}

void SpawnTrue(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(SpawnAndWait("/bin/true", nullptr));
}

void FetchUpdateSiteInProcess(benchmark::State& state) {
  for (auto _ : state) {
    CUpdateSession session;
    benchmark::DoNotOptimize(FetchUpdateSite(session, TheSite().url));
  }
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

void PlainCurlGet(benchmark::State& state) {
  for (auto _ : state) {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, TheSite().url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
  }
}

BENCHMARK(OrdwinCheckProgram)->UseManualTime()->Iterations(1)->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(OrdwinUsage)->UseManualTime()->Iterations(1)->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(SpawnTrue)->UseManualTime()->Iterations(1)->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FetchUpdateSiteInProcess)->Iterations(1)->Repetitions(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlainCurlGet)->Iterations(1)->Repetitions(20)->Unit(benchmark::kMillisecond);

// Keeps the medians for the ratio summary.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median" && run.iterations > 0) {
        medians[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;   // seconds
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  StartSite();
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // One check: how many connections, and what is kept of a long body.
  {
    std::lock_guard<std::mutex> lock(TheSite().mutex);
    TheSite().client_ports.clear();
  }
  CUpdateSession session;
  FetchUpdateSite(session, TheSite().url);
  session.Close();
  // The server logs a request after its reply has gone out.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::size_t connections = 0;
  {
    std::lock_guard<std::mutex> lock(TheSite().mutex);
    connections = TheSite().client_ports.size();
  }
  CUpdateSession long_session;
  std::size_t kept = FetchUpdateSite(long_session, TheSite().long_url).size();
  long_session.Close();
  StopSite();

  auto& m = reporter.medians;
  auto ratio = [&](const char* a, const char* b) {
    return m.count(a) && m.count(b) && m[b] > 0 ? m[a] / m[b] : 0.0;
  };
  const double after_start = m["OrdwinCheckProgram"] - m["OrdwinUsage"];
  std::printf("\nmedians: ordwin --check %.2f ms, ordwin usage %.2f ms, /bin/true %.2f ms, "
              "fetch %.3f ms, curl GET %.3f ms\n",
              m["OrdwinCheckProgram"] * 1e3, m["OrdwinUsage"] * 1e3, m["SpawnTrue"] * 1e3,
              m["FetchUpdateSiteInProcess"] * 1e3, m["PlainCurlGet"] * 1e3);
  std::printf("ordwin --check / ordwin usage:      %.3f\n", ratio("OrdwinCheckProgram", "OrdwinUsage"));
  std::printf("check after the start / 50 ms:      %.3f\n", after_start / 0.050);
  std::printf("ordwin --check (whole) / 50 ms:     %.3f\n", m["OrdwinCheckProgram"] / 0.050);
  std::printf("ordwin usage / spawn /bin/true:     %.2f\n", ratio("OrdwinUsage", "SpawnTrue"));
  std::printf("FetchUpdateSite / plain curl GET:   %.2f\n",
              ratio("FetchUpdateSiteInProcess", "PlainCurlGet"));
  std::printf("connections for one check: %zu; bytes kept of a 1 MiB body: %zu\n", connections, kept);
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
