#pragma once

#include <string>

// Hands an address to the desktop's default handler: starts `xdg-open ADDRESS`
// (or $VELMORA_OPEN_COMMAND in its place) with the address as its one
// argument, byte for byte, without a shell, and returns at once; the child is
// reaped when it ends. On Windows the shell opens it (ShellExecute), or the
// program in $VELMORA_OPEN_COMMAND is started with CreateProcess, never
// through cmd.exe. The caller decides what may be handed over (links come
// from the network). Returns whether a process was started.
bool OpenWithDesktop(const std::string& address);

#ifdef _WIN32
// One argument for a Windows command line, quoted so the started program's
// parsing gives it back byte for byte: backslashes are literal except before
// a quote.
std::string QuotedCommandLineArgument(const std::string& argument);
#endif
