#pragma once

#include <functional>

// The platform's "something failed" sound. A test installs a hook to count the
// beeps instead of sounding them; with a hook set the sound is not made.
void MessageBeep(unsigned nType);

using BeepHook = std::function<void(unsigned nType)>;

// Returns the previous hook so that a test can restore it; an empty hook
// restores the sound.
BeepHook AfxSetBeepHook(BeepHook hook);
