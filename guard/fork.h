#pragma once
// Starting the first guard without a gap: the keyboard is grabbed on a new connection first, and
// a forked child keeps that connection as the guard (guard.h), so no moment passes between the
// grab and the guard holding it, and no other program is loaded first. kestrom.exe does this as
// its first act, before the toolkit loads; its toolkit opens a connection of its own.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace vellomar::guard {

// The lock window the forms show at once, for a screen of `width` x `height` pixels: its width
// and height at the top left corner; nothing when they show none at once.
using FirstLockWindow = std::function<std::optional<std::pair<int, int>>(int width, int height)>;

struct ForkedGuard {
  int fd = -1;       // the socket to the guard
  pid_t pid = 0;     // the guard's process, a child of this one
  std::string area;  // the "area" line the guard was told (empty: none), so it covers at once
};

// Grabs the keyboard and forks the guard, which covers `first_window`'s place in the lock's
// grey at once; `forms` is the program the guard starts again should this process die. Nothing when
// the display cannot be opened or the process cannot fork: the caller starts the guard the ordinary
// way, which reports why.
std::optional<ForkedGuard> ForkGuard(const std::string& forms, const FirstLockWindow& first_window);

}  // namespace vellomar::guard
