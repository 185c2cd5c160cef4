#include "platform/launch.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

extern char** environ;

namespace {

std::string OpenerProgram() {
  const char* replacement = std::getenv("VELMORA_OPEN_COMMAND");
  return replacement && *replacement ? std::string(replacement) : std::string("xdg-open");
}

void* ReapChild(void* arg) {
  const auto pid = static_cast<pid_t>(reinterpret_cast<std::intptr_t>(arg));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return nullptr;
}

// Waits for the child on a small detached thread, so the caller never blocks
// and no finished child stays behind as a zombie.
void ReapWhenDone(pid_t pid) {
  pthread_attr_t attr;
  pthread_t thread;
  bool started = false;
  if (::pthread_attr_init(&attr) == 0) {
    ::pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    started = ::pthread_create(&thread, &attr, ReapChild,
                               reinterpret_cast<void*>(static_cast<std::intptr_t>(pid))) == 0;
    ::pthread_attr_destroy(&attr);
  }
  if (!started) {
    int status = 0;
    (void)::waitpid(pid, &status, WNOHANG);
  }
}

}  // namespace

bool OpenWithDesktop(const std::string& address) {
  std::string program = OpenerProgram();
  char* argv[] = {program.data(), const_cast<char*>(address.c_str()), nullptr};

  // The child starts with default signal handling and nothing blocked, whatever
  // this program changed for itself (an ignored SIGPIPE, for one).
  posix_spawnattr_t attr;
  if (::posix_spawnattr_init(&attr) != 0) return false;
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setsigdefault(&attr, &defaults);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int result = ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv, environ);
  ::posix_spawnattr_destroy(&attr);
  if (result != 0) return false;
  ReapWhenDone(pid);
  return true;
}
