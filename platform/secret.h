#pragma once
// Typed passwords in memory: wiped once they have been checked, and kept out of swap where the
// system allows it.

#include <string>

namespace vellomar::platform {

// Overwrites every byte `text` has room for (what was erased from its end too) with zeros, in a
// way the compiler cannot leave out, and empties it. Its room stays, so text put in afterwards
// lands in the same memory.
void WipeSecret(std::string& text);

// Asks the system to keep the memory that holds `text` (its whole room) out of swap: mlock on
// POSIX, VirtualLock on Windows. Best effort: a limit or a refusal leaves it where it is.
void KeepOutOfSwap(const std::string& text);

}  // namespace vellomar::platform
