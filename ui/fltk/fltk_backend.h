#pragma once
// The real-window runtime: every form a top-level FLTK window on X11, the keyboard lock an X
// keyboard (and pointer) grab. Includes no FLTK or X11 header so that app/ stays toolkit-free.

#include <memory>
#include <string>

#include "guard/fork.h"
#include "ui/backend.h"

namespace vellomar::ui {

// Starts the guard, which takes the keyboard at once (the command line goes to it, for a
// restart) and covers the place of the lock window the run shows at once (`first_window`), opens
// the display and makes the runtime; throws std::runtime_error when there is no display.
std::unique_ptr<Backend> MakeFltkBackend(const std::string& command_line,
                                         const guard::FirstLockWindow& first_window);

}  // namespace vellomar::ui
