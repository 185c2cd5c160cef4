#pragma once

#include <cstdint>

// The window Talvane was started for (/parent=N), as the window system knows it.
// On X11 the identifier is an X window; elsewhere nothing is known about it.

// Whether the window that has the keyboard focus now is the parent window or a
// window inside it. False where the window system does not tell.
bool FocusIsInParentWindow(std::uint32_t parent);

// Gives the keyboard focus to window at once, whatever took it last (the window
// system may refuse a later-dated request otherwise). Nothing where unknown.
void TakeFocus(std::uintptr_t window);
