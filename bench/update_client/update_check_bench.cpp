// A check for updates against the reference site on loopback, each measure
// against its baseline in 20 alternating pairs (min and median):
//   CheckAfterStart  `ordwin --check` against `ordwin` ended at once with its
//                    usage text: the check's own cost once the program runs
//   ProgramStart     `ordwin` ended at once against /bin/true: loading the
//                    program and its libraries (Qt, libcurl)
//   Transfer         the transfer alone, in process, against one bare libcurl
//                    GET of the same page
// The site serves the demo manifest; Ordwin.ini in a private settings folder
// points at it. At the end the connections the server saw for one check and
// the bytes kept of a 1 MiB body are printed.

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
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "bench/bench_support.h"
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
  std::set<int> client_ports;  // one per connection
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

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

double PlainCurlGet() {
  return bench::Time([] {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, TheSite().url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
  });
}

double FetchInProcess() {
  return bench::Time([] {
    CUpdateSession session;
    benchmark::DoNotOptimize(FetchUpdateSite(session, TheSite().url));
  });
}

// The check as administrators run it, against the same program ended at once
// with its usage text: what the check costs once ordwin has started.
void BM_CheckAfterStart(benchmark::State& state) {
  bench::Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state, [] { return SpawnAndWait(ORDWIN_PROGRAM, "--check"); },
        [] { return SpawnAndWait(ORDWIN_PROGRAM, "--usage-only", 2); });
  }
  pairs.Report(state);
}

// Starting ordwin at all (Qt and libcurl loaded) against starting /bin/true.
void BM_ProgramStart(benchmark::State& state) {
  bench::Pairs pairs;
  for (auto _ : state) {
    pairs.Run(
        state, [] { return SpawnAndWait(ORDWIN_PROGRAM, "--usage-only", 2); },
        [] { return SpawnAndWait("/bin/true", nullptr); });
  }
  pairs.Report(state);
}

// The transfer alone, in process, against one bare libcurl GET of the page.
void BM_Transfer(benchmark::State& state) {
  bench::Pairs pairs;
  for (auto _ : state) pairs.Run(state, FetchInProcess, PlainCurlGet);
  pairs.Report(state);
}

BENCHMARK(BM_CheckAfterStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramStart)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  StartSite();
  benchmark::RunSpecifiedBenchmarks();

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
  const std::size_t kept = FetchUpdateSite(long_session, TheSite().long_url).size();
  long_session.Close();
  StopSite();
  std::printf("connections for one check: %zu; bytes kept of a 1 MiB body: %zu\n", connections,
              kept);
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}
