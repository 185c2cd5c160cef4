#pragma once

// Other programs started by tests on Windows, where there is no fork: with
// CreateProcessA, each argument quoted, no command interpreter.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/launch.h"

namespace testing_support {

// A file the started program writes its standard output or error to.
inline HANDLE OutputFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts program, its standard output and error into the files named (none:
// inherited); null when it cannot be started.
inline HANDLE StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& out = std::string(),
                           const std::string& err = std::string()) {
  std::string command_line = QuotedCommandLineArgument(program);
  for (const std::string& argument : arguments)
    command_line += " " + QuotedCommandLineArgument(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  const bool redirected = !out.empty();
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = OutputFile(out);
    startup.hStdError = OutputFile(err);
  }
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr,
                                        redirected, 0, nullptr, nullptr, &startup, &process);
  if (redirected) {
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
  }
  if (!started) return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

// The exit code of program run to its end (-1 when it could not start or
// ran past 20 seconds), its output into out and err when named.
inline int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& out = std::string(),
                      const std::string& err = std::string()) {
  const HANDLE process = StartProgram(program, arguments, out, err);
  if (!process) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (::WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
    ::TerminateProcess(process, 1);
  } else {
    ::GetExitCodeProcess(process, &code);
  }
  ::CloseHandle(process);
  return static_cast<int>(code);
}

// The id of a process that has ended and is gone: program run to its end.
inline DWORD FinishedProcessId(const std::string& program) {
  const HANDLE process = StartProgram(program, {});
  if (!process) return 0;
  ::WaitForSingleObject(process, 20000);
  const DWORD id = ::GetProcessId(process);
  ::CloseHandle(process);  // the last handle: the id is free again
  return id;
}

}  // namespace testing_support
