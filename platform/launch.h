#pragma once

#include <string>

// Whether address is a web address the desktop may be handed: it begins with
// "http://" or "https://" (the scheme in any letter case).
bool IsWebAddress(const std::string& address);

// Hands a web address to the desktop's default handler: starts `xdg-open
// ADDRESS` (or $VELMORA_OPEN_COMMAND in its place) with the address as its one
// argument, byte for byte, without a shell, and returns at once; the child is
// reaped when it ends. Addresses that are not web addresses (links come from
// the network) are not started. Returns whether a process was started.
bool OpenWebAddress(const std::string& address);
