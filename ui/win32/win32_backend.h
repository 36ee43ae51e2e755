#pragma once
// The Win32 runtime: every form a top-level window with real controls (STATIC, EDIT, BUTTON),
// message boxes by MessageBoxA, the keyboard lock platform/win32/keyboard_lock.h. Includes no
// Win32 header so that app/ stays toolkit-free.

#include <memory>
#include <string>

#include "ui/backend.h"

namespace vellomar::ui {

// Registers the window classes and makes the runtime; throws std::runtime_error when Windows
// refuses them.
std::unique_ptr<Backend> MakeWin32Backend();

// The text after the program's name on this process's command line, verbatim.
std::string Win32CommandLine();

}  // namespace vellomar::ui
