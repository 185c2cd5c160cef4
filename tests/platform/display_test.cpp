// The check both programs make before Qt starts, and the programs themselves
// started without a display: one plain line and exit code 1 instead of Qt's
// abort.
#include "platform/qt/display.h"
#include "velmora_version.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/child_process.h"
#include "tests/platform/test_files.h"

extern char** environ;

namespace {

using testing_support::ChildOutcome;
using testing_support::ProgramRun;
using testing_support::RunProgram;

const char* const kDisplayVariables[] = {"DISPLAY", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY"};

// Sets the display variables for one test (nullopt: unset) and puts the
// previous values back afterwards.
class DisplayEnvironment {
 public:
  DisplayEnvironment() {
    for (const char* name : kDisplayVariables) {
      const char* value = std::getenv(name);
      saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
  }
  ~DisplayEnvironment() {
    for (const auto& [name, value] : saved_) Set(name, value);
  }
  static void Set(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  void Only(std::optional<std::string> display, std::optional<std::string> platform,
            std::optional<std::string> wayland) {
    Set("DISPLAY", display);
    Set("QT_QPA_PLATFORM", platform);
    Set("WAYLAND_DISPLAY", wayland);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// A display number no X server uses here.
std::string UnusedDisplay() {
  for (int n = 97; n < 200; ++n) {
    if (!Exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
        !Exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      return ":" + std::to_string(n);
    }
  }
  return ":199";
}

bool Available(std::vector<std::string> arguments = {}) {
  arguments.insert(arguments.begin(), "program");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return DisplayProbe(static_cast<int>(arguments.size()), argv.data()).Found();
}

TEST(DisplayCheck, WithoutAnXServer) {
  DisplayEnvironment environment;
  const std::string nowhere = UnusedDisplay();
  struct Case {
    const char* what;
    std::optional<std::string> display, platform, wayland;
    std::vector<std::string> arguments;
    bool available;
  };
  const Case cases[] = {
      {"nothing set", std::nullopt, std::nullopt, std::nullopt, {}, false},
      {"DISPLAY empty", "", std::nullopt, std::nullopt, {}, false},
      {"DISPLAY names no server", nowhere, std::nullopt, std::nullopt, {}, false},
      {"xcb asked for by name", nowhere, "xcb", std::nullopt, {}, false},
      {"xcb asked for, a Wayland session there", nowhere, "xcb", "wayland-0", {}, false},
      {"-display names no server",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       {"-display", nowhere},
       false},
      {"offscreen", std::nullopt, "offscreen", std::nullopt, {}, true},
      {"offscreen with options",
       std::nullopt,
       "offscreen:fontengine=freetype",
       std::nullopt,
       {},
       true},
      {"wayland first, xcb after", std::nullopt, "wayland;xcb", std::nullopt, {}, true},
      {"-platform offscreen",
       std::nullopt,
       std::nullopt,
       std::nullopt,
       {"-platform", "offscreen"},
       true},
      {"--platform vnc over xcb", std::nullopt, "xcb", std::nullopt, {"--platform", "vnc"}, true},
      {"a Wayland session, Qt left to choose", std::nullopt, std::nullopt, "wayland-0", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    environment.Only(c.display, c.platform, c.wayland);
    EXPECT_EQ(Available(c.arguments), c.available);
  }
}

// A fresh Xvfb on an unused display, stopped at the end of the test.
class Xvfb {
 public:
  Xvfb() : display_(UnusedDisplay()) {
    const char* program = "/usr/bin/Xvfb";
    if (::access(program, X_OK) != 0) return;
    std::vector<std::string> arguments = {program,   display_, "-nolisten", "tcp",
                                          "-screen", "0",      "640x480x24"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program, nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    const std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
    for (int i = 0; pid_ != 0 && i < 500 && !Exists(socket); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Xvfb() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  bool Running() const { return pid_ != 0; }
  const std::string& Display() const { return display_; }

 private:
  std::string display_;
  pid_t pid_ = 0;
};

// A real X server is found through DISPLAY and through -display.
TEST(DisplayCheck, WithAnXServer) {
  Xvfb server;
  if (!server.Running()) GTEST_SKIP() << "Xvfb is not installed";
  DisplayEnvironment environment;
  environment.Only(server.Display(), std::nullopt, std::nullopt);
  // One probe kept open through the test, so the server does not reset
  // between the others (each leaves again at once).
  char name[] = "program";
  char* no_arguments[] = {name, nullptr};
  const DisplayProbe held(1, no_arguments);
  ASSERT_TRUE(held.Found());
  EXPECT_TRUE(Available());
  environment.Only(server.Display(), "xcb", std::nullopt);
  EXPECT_TRUE(Available());
  environment.Only(std::nullopt, std::nullopt, std::nullopt);
  EXPECT_TRUE(Available({"-display", server.Display()}));
}

// Where there is a display the check lets the programs start: each program,
// the first client of a fresh server, is still running when stopped.
TEST(DisplayCheck, TheProgramsStartOnAFreshXServer) {
  DisplayEnvironment environment;
  TempDir scratch;
  ::setenv("VELMORA_CONFIG_DIR", scratch.path().c_str(), 1);
  std::vector<std::string> programs;
#ifdef ORDWIN_PROGRAM
  programs.push_back(ORDWIN_PROGRAM);
#endif
#ifdef TALVANE_PROGRAM
  programs.push_back(TALVANE_PROGRAM);
#endif
  if (programs.empty()) GTEST_SKIP() << "neither program is part of this build";
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    Xvfb server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb is not installed";
    environment.Only(server.Display(), std::nullopt, std::nullopt);
    const ProgramRun run = RunProgram(program, {}, scratch.path(), std::chrono::milliseconds(2000));
    EXPECT_EQ(run.outcome.kind, ChildOutcome::kTimedOut) << "still running: it started";
    EXPECT_EQ(run.err.find("Reinstalling"), std::string::npos) << run.err;
  }
  ::unsetenv("VELMORA_CONFIG_DIR");
}

// The programs, as a user starts them in a session without a display.
TEST(DisplayCheck, TheProgramsSayThereIsNoDisplayAndExitOne) {
  DisplayEnvironment environment;
  environment.Only(std::nullopt, std::nullopt, std::nullopt);
  TempDir scratch;
  ::setenv("VELMORA_CONFIG_DIR", scratch.path().c_str(), 1);
  struct Case {
    const char* program;
    std::string message;
  };
  const std::vector<Case> cases = {
#ifdef ORDWIN_PROGRAM
      {ORDWIN_PROGRAM,
       "ordwin: no display found (DISPLAY is not set or cannot be opened); "
       "`ordwin --check` works without one\n"},
#endif
#ifdef TALVANE_PROGRAM
      {TALVANE_PROGRAM, "talvane: no display found (DISPLAY is not set or cannot be opened)\n"},
#endif
  };
  if (cases.empty()) GTEST_SKIP() << "neither program is part of this build";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const ProgramRun run = RunProgram(c.program, {}, scratch.path());
    ASSERT_EQ(run.outcome.kind, ChildOutcome::kExited) << "2 means the program aborted";
    EXPECT_EQ(run.outcome.code, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
  ::unsetenv("VELMORA_CONFIG_DIR");
}

// Every program answers the two command-line conventions on standard output
// with exit 0, also where there is no display.
TEST(DisplayCheck, HelpAndVersionNeedNoDisplay) {
  DisplayEnvironment environment;
  environment.Only(std::nullopt, std::nullopt, std::nullopt);
  TempDir scratch;
  struct Case {
    const char* program;
    std::string version;
  };
  const std::vector<Case> cases = {
#ifdef ORDWIN_PROGRAM
      {ORDWIN_PROGRAM, std::string("ordwin ") + kOrdwinVersion + "\n"},
#endif
#ifdef TALVANE_PROGRAM
      {TALVANE_PROGRAM, std::string("talvane ") + kTalvaneVersion + "\n"},
#endif
  };
  if (cases.empty()) GTEST_SKIP() << "neither program is part of this build";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const ProgramRun version = RunProgram(c.program, {"--version"}, scratch.path());
    ASSERT_EQ(version.outcome.kind, ChildOutcome::kExited);
    EXPECT_EQ(version.outcome.code, 0);
    EXPECT_EQ(version.out, c.version);
    const ProgramRun help = RunProgram(c.program, {"--help"}, scratch.path());
    ASSERT_EQ(help.outcome.kind, ChildOutcome::kExited);
    EXPECT_EQ(help.outcome.code, 0);
    EXPECT_EQ(help.out.rfind("usage: ", 0), 0u) << help.out;
    EXPECT_EQ(help.err, "");
  }
}

}  // namespace
