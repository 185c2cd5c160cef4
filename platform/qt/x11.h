#pragma once

#include <cstdint>

// X11 window properties that Qt does not set the way the programs need. Each
// does nothing where Qt does not run on X11 (or libxcb was not there to build with).

struct xcb_connection_t;

// The connection of Qt's xcb platform; nullptr on any other platform.
xcb_connection_t* X11Connection();

// The atom of name on connection; 0 (None) when the server gives none.
std::uint32_t X11Atom(xcb_connection_t* connection, const char* name);

// Leaves the title bar of window empty: Qt names a window whose title is empty
// after the application.
void ClearX11Title(std::uintptr_t window);

// Makes window transient for the window parent (WM_TRANSIENT_FOR), so the window
// manager keeps it above parent. Qt removes the property from a plain top-level
// window each time it shows it, so this goes after every show.
void SetX11TransientFor(std::uintptr_t window, std::uint32_t parent);
