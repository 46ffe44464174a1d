#pragma once

#include <functional>
#include <optional>

class QObject;

// Num Lock as the window system knows it: the X server's keyboard indicator
// (asked over the display connection, so it holds on a remote or virtual
// display too), or nothing when the window system cannot tell (Wayland,
// offscreen, a server without the keyboard extension).
std::optional<bool> AfxGetNumLockIndicator();

// Calls onChange from the event loop, for as long as pOwner lives, after the X
// server reports a change of the keyboard's state: a modifier or a lock key
// such as Num Lock, pressed in this program or in any other. False, and
// nothing watched, where there is no X server with the keyboard extension.
bool AfxWatchKeyboardState(QObject* pOwner, std::function<void()> onChange);
