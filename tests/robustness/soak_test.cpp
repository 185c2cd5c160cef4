// Repetition: many database cycles and many update checks in one process must
// not leave open files or memory behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "hashdb/hash_set_catalogue.h"
#include "hashdb/sample_database.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/test_files.h"
#include "tests/robustness/memory_folders.h"
#include "tests/update_client/loopback.h"
#include "tools/update_client/site_server.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/product_table.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_ASAN 1
#endif
#endif

namespace {

struct Usage {
  int fds = 0;
  long rss_kib = 0;
};

Usage Now() {
  Usage usage;
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ignored);
       it != std::filesystem::directory_iterator(); it.increment(ignored)) {
    ++usage.fds;
  }
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  usage.rss_kib = resident * (::sysconf(_SC_PAGESIZE) / 1024);
  return usage;
}

// The figures once the server thread has closed its side of the last
// connection: until the count of descriptors stops falling, at most 2 s.
Usage Settled() {
  Usage usage = Now();
  for (int i = 0; i < 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Usage later = Now();
    if (later.fds >= usage.fds) return later;
    usage = later;
  }
  return usage;
}

// After a warm-up the allocator's pools are filled and resident memory stays
// within a few KiB; a leak of one record table (50 KiB) per database cycle, or
// of a 4 KiB reply buffer per update check, goes well past this. Under
// AddressSanitizer freed memory sits in quarantine, so there resident memory
// is no measure (its leak checker covers that build instead).
constexpr long kRssToleranceKiB = 1024;

void ExpectNoGrowth(const Usage& before, const Usage& after) {
  EXPECT_EQ(after.fds, before.fds) << "open file descriptors grew";
#ifndef VELMORA_ASAN
  EXPECT_LE(after.rss_kib - before.rss_kib, kRssToleranceKiB)
      << "resident memory grew from " << before.rss_kib << " KiB to " << after.rss_kib << " KiB";
#endif
}

// Every 50th cycle saves as the other of two names instead, so the copy's
// buffer, temporary file and change of hold are repeated too.
TEST(Soak, TenThousandOpenTickSaveCloseCycles) {
  const TemporaryFoldersInMemory in_memory;
  TempDir dir;
  const std::string paths[] = {dir / "a.hdb", dir / "b.hdb"};
  SampleOptions options;
  options.sets = 200;
  options.tail_bytes = 16 * 1024;
  ASSERT_FALSE(WriteSampleDatabase(paths[0], options));
  std::string expected = ReadBytes(paths[0]);
  int current = 0;

  class Quiet final : public SaveProgress {
    void Begin(std::uint64_t) override {}
    void Advance(std::uint64_t) override {}
    void End() override {}
  } progress;
  CHashSetCatalogue catalogue;  // one catalogue, as the window keeps one
  constexpr int kCycles = 10000;
  constexpr int kWarmUp = 200;
  Usage before;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    if (cycle == kWarmUp) before = Now();
    const LoadResult loaded = catalogue.Load(paths[current]);
    ASSERT_TRUE(loaded.ok()) << "cycle " << cycle;
    const std::uint32_t index = static_cast<std::uint32_t>(cycle) % options.sets;
    const bool on = !catalogue.GetAlert(index);
    ASSERT_TRUE(catalogue.SetAlert(index, on)) << "cycle " << cycle;
    if (cycle % 50 == 49) {
      current = 1 - current;
      ASSERT_TRUE(catalogue.SaveAs(paths[current], progress)) << "cycle " << cycle;
    } else {
      ASSERT_TRUE(catalogue.Save()) << "cycle " << cycle;
    }
    catalogue.Close();
    expected.replace(AlertOffset(index), 4, Le32(on ? 1 : 0));
  }
  ExpectNoGrowth(before, Now());
  EXPECT_EQ(ReadBytes(paths[current]), expected);
  EXPECT_EQ(ListFolder(dir.path()), "a.hdb b.hdb ");
}

TEST(Soak, FiveHundredUpdateChecksAgainstTheLoopbackSite) {
  testing_support::ScopedConfigFolder config;  // keeps the machine's proxies away
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(
      ParseManifest("OW\t1.1\thttp://127.0.0.1/ordwin.exe\n"
                    "Pellor\t7.2\thttp://127.0.0.1/pellor.exe\n"
                    "Pellor Ashby\t3.0 beta\thttp://127.0.0.1/ashby.exe\n"
                    "Nerith\t2026.12\thttp://127.0.0.1/nerith.exe\n",
                    manifest, error))
      << error;
  testing_support::LoopbackServer server;
  InstallUpdateSiteRoutes(server.Routes(), manifest);
  server.Start();
  ASSERT_GT(server.Port(), 0);
  const std::string url = UpdateSiteUrl(kLatestVersionsAction, server.Host());

  constexpr int kChecks = 500;
  constexpr int kWarmUp = 20;
  Usage before;
  for (int check = 0; check < kChecks; ++check) {
    if (check == kWarmUp) before = Settled();
    CProductTable table;
    table.Rebuild();
    testing_support::RecordingProgress progress;
    {
      CUpdateSession session(&progress);
      const std::string reply = FetchUpdateSite(session, url);
      ApplyVersionReply(reply, table);
      ASSERT_EQ(session.LastOutcome().failure, TransferFailure::kNone) << "check " << check;
      session.Close();
    }
    ASSERT_EQ(table[2].latest_version, "7.2") << "check " << check;
    ASSERT_EQ(table[7].download_link, "http://127.0.0.1/ashby.exe") << "check " << check;
    ASSERT_EQ(table[8].latest_version, "2026.12") << "check " << check;
    ASSERT_EQ(progress.steps.back().second, 80);
  }
  ExpectNoGrowth(before, Settled());
}

}  // namespace
