#pragma once

// Helpers of the update-site client tests: servers on 127.0.0.1 that the test
// starts itself, a progress recorder and a private settings folder.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/platform/config_folder.h"
#include "update_client/transfer.h"
#include "update_manager/progress_steps.h"

namespace testing_support {

// An httplib server on a free loopback port, run on its own thread.
class LoopbackServer {
 public:
  LoopbackServer() = default;
  ~LoopbackServer() { Stop(); }

  httplib::Server& Routes() { return server_; }

  void Start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }

  void Stop() {
    if (!thread_.joinable()) return;
    // stop() only acts once the accept loop runs.
    for (int i = 0; i < 500 && !server_.is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    server_.stop();
    thread_.join();
  }

  int Port() const { return port_; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Url(const std::string& object) const { return "http://" + Host() + object; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
};

// A port on 127.0.0.1 held by a bound socket for as long as the object lives,
// so no one else gets it:
//   kRefusing      not listening: connecting is refused;
//   kStalling      listening: the kernel accepts connections, nobody answers;
//   kNotAccepting  listening with its queue already full: connects hang.
class LoopbackPort {
 public:
  enum Kind { kRefusing, kStalling, kNotAccepting };
  explicit LoopbackPort(Kind kind);
  ~LoopbackPort();
  int Port() const { return port_; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int filler_ = -1;
  int port_ = -1;
};

struct RefusingPort : LoopbackPort {
  RefusingPort() : LoopbackPort(kRefusing) {}
};
struct StallingPort : LoopbackPort {
  StallingPort() : LoopbackPort(kStalling) {}
};
struct NotAcceptingPort : LoopbackPort {
  NotAcceptingPort() : LoopbackPort(kNotAccepting) {}
};

using Step = std::pair<unsigned, int>;

// Records the phases as the progress steps Ordwin shows for them; the cancel
// question is answered from on_poll (true: go on, the default), noting when it
// was asked.
class RecordingProgress : public TransferObserver {
 public:
  void OnPhase(TransferPhase phase, std::size_t) override {
    const ProgressStep step = ProgressStepOf(phase);
    steps.emplace_back(step.string_id, step.percent);
  }
  bool CancelRequested() override {
    poll_times.push_back(std::chrono::steady_clock::now());
    return on_poll ? !on_poll() : false;
  }

  std::vector<Step> steps;
  std::vector<std::chrono::steady_clock::time_point> poll_times;
  std::function<bool()> on_poll;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Waits, up to limit, until done() holds.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

}  // namespace testing_support
