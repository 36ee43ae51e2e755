#pragma once
// X protocol errors while the lock is up. Other clients destroy the windows we are looking at,
// send us messages naming windows that never existed, unmap or reparent ours between two of our
// requests: each of those makes one of our requests fail. Xlib's default handler then prints the
// error and exits, and with the process go the grabs and the covering windows. The handler here
// counts the error and carries on instead, for every request: none of ours is worth the lock.
// Only a lost connection ends the program (Xlib's I/O error handler), and nothing can hold a
// lock over a connection that is gone.

#include <X11/Xlib.h>

namespace vellomar::ui {

// Installs the recording handler for the whole process. Call once the display is open.
void InstallX11ErrorHandler();

// Protocol errors seen since the handler was installed.
unsigned long X11ErrorCount();

}  // namespace vellomar::ui
