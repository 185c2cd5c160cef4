#pragma once

// Runs part of a test in a forked child: bounded in time, so a call that hangs
// fails the test instead of stopping the run, and optionally as the unprivileged
// user "nobody", since root may read any file whatever its permission bits.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

struct ChildOutcome {
  enum Kind {
    kExited,            // code is what the body returned
    kTimedOut,          // killed when the limit passed
    kCrashed,           // ended by a signal of its own
    kCannotSwitchUser,  // the switch to "nobody" was not possible here
  };
  Kind kind = kExited;
  int code = 0;
};

inline constexpr uid_t kNobody = 65534;

inline ChildOutcome RunInChild(const std::function<int()>& body,
                               std::chrono::milliseconds limit = std::chrono::seconds(10),
                               bool as_nobody = false) {
  constexpr int kSwitchFailed = 125;
  const pid_t child = ::fork();
  if (child < 0) return {ChildOutcome::kCrashed, -1};
  if (child == 0) {
    if (as_nobody && (::geteuid() != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 ||
                      ::setuid(kNobody) != 0)) {
      ::_exit(kSwitchFailed);
    }
    ::_exit(body());
  }
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (std::chrono::steady_clock::now() > end) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return {ChildOutcome::kTimedOut, -1};
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!WIFEXITED(status)) return {ChildOutcome::kCrashed, -1};
  if (as_nobody && WEXITSTATUS(status) == kSwitchFailed)
    return {ChildOutcome::kCannotSwitchUser, 0};
  return {ChildOutcome::kExited, WEXITSTATUS(status)};
}

// One run of a program with its output caught: what it wrote to standard
// output and standard error, and how it ended. The output goes through two
// files in scratch, removed afterwards.
struct ProgramRun {
  ChildOutcome outcome;
  std::string out;
  std::string err;
};

inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const std::filesystem::path& scratch,
                             std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  const std::string out_path = (scratch / "program-stdout.txt").string();
  const std::string err_path = (scratch / "program-stderr.txt").string();
  ProgramRun run;
  run.outcome = RunInChild(
      [&] {
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) return 126;
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
          argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        return 127;
      },
      limit);
  auto slurp = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return run;
}

}  // namespace testing_support
