#pragma once

#include <optional>

// Num Lock as the window system knows it: the X server's keyboard indicator
// (asked over the display connection, so it holds on a remote or virtual
// display too), or nothing when the window system cannot tell (Wayland,
// offscreen, a server without the keyboard extension).
std::optional<bool> AfxGetNumLockIndicator();
