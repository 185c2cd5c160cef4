#pragma once

// Runs part of a test in a forked child: bounded in time, so a call that hangs
// fails the test instead of stopping the run, and optionally as the unprivileged
// user "nobody", since root may read any file whatever its permission bits.

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

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
    if (as_nobody && (::geteuid() != 0 || ::setgroups(0, nullptr) != 0 ||
                      ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
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
  if (as_nobody && WEXITSTATUS(status) == kSwitchFailed) return {ChildOutcome::kCannotSwitchUser, 0};
  return {ChildOutcome::kExited, WEXITSTATUS(status)};
}

}  // namespace testing_support
