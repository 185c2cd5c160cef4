#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/launch.h"

namespace {

std::string ReplacementOpener() {
  char value[MAX_PATH * 4];
  const DWORD length = ::GetEnvironmentVariableA("VELMORA_OPEN_COMMAND", value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace

std::string QuotedCommandLineArgument(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

bool OpenWithDesktop(const std::string& address) {
  // An address with a NUL would be cut short on its way.
  if (address.find('\0') != std::string::npos) return false;
  const std::string opener = ReplacementOpener();
  if (opener.empty()) {
    // The shell's handler for the address's kind (the web browser for a
    // link); it starts on its own and is not waited for.
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
  }
  // The program named, with the address as its one argument; no command
  // interpreter between.
  std::string command_line =
      QuotedCommandLineArgument(opener) + " " + QuotedCommandLineArgument(address);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(opener.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}
