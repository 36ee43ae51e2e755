#pragma once
// Window sizes of the lock screens by screen resolution. Kestrom covers the whole screen in full
// mode and leaves a strip for the taskbar otherwise; Lockout always leaves the strip, with the
// same sizes as Kestrom's taskbar mode. The rows are matched exactly, in the order listed; any
// other resolution gets the whole screen, or the screen less 100 pixels of height.

#include <optional>
#include <string>

#include "ui/backend.h"

namespace vellomar {

// The screen in pixels, single precision: twips divided by twips per pixel on each axis.
struct ScreenPixels {
  float width = 0;
  float height = 0;
};

// A window size in whole pixels.
struct WindowSize {
  int width = 0;
  int height = 0;
};

// The size the lock screens use when sizing fails.
inline constexpr WindowSize kFallbackWindowSize{640, 455};

// `WidthPixels` and `HeightPixels` of the screen. Throws RuntimeError (division by zero) when a
// twips-per-pixel value is 0, as the division would.
ScreenPixels ScreenSizeInPixels(const ui::ScreenMetrics& screen);

// Kestrom's window: `full_mode` covers the whole screen, otherwise the taskbar strip is left.
WindowSize LockWindowSize(ScreenPixels screen, bool full_mode);

// Lockout's window: always leaves the taskbar strip.
WindowSize LockoutWindowSize(ScreenPixels screen);

// The mode a command line's lock switch asks for, in any letter case: true for "/LOCKNOWFULL"
// (the whole screen), false for "/LOCKNOW" alone (the taskbar strip left), nothing without one.
std::optional<bool> FullModeSwitch(const std::string& command_line);

// The lock window a run started with `command_line` shows at once (before any form has loaded,
// so that it can be covered first): Kestrom's window for a lock switch, nothing otherwise.
std::optional<WindowSize> FirstLockWindowSize(const std::string& command_line, ScreenPixels screen);

}  // namespace vellomar
