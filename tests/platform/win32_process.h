#pragma once

// Other programs started by tests on Windows, where there is no fork: with
// CreateProcessA, each argument quoted, no command interpreter.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/launch.h"

namespace testing_support {

// Starts program; null when it cannot be started.
inline HANDLE StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command_line = QuotedCommandLineArgument(program);
  for (const std::string& argument : arguments) command_line += " " + QuotedCommandLineArgument(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return nullptr;
  }
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

// The exit code of program run to its end (-1 when it could not start or
// ran past 20 seconds).
inline int RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  const HANDLE process = StartProgram(program, arguments);
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
  ::CloseHandle(process);   // the last handle: the id is free again
  return id;
}

}  // namespace testing_support
