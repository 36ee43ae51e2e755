#pragma once
// The lock core: the code whose failure would unlock the screen, kept small, in plain Xlib and
// apart from the toolkit, so that a fault in the code that draws the forms cannot open the
// desktop through it.
//
// What it defends against, from any other client of the same X server (careless or hostile):
//   - keys and clicks reaching other clients: an active keyboard grab (and, for the full-screen
//     lock, a pointer grab) on the root window, taken back whenever it is lost (keyboard_lock.h);
//   - the desktop shown: covering windows kept in place, size, shape, parent, mapping, stacking
//     and override-redirect, whatever another client does to them, in the Composite overlay where
//     the server has one (lock_windows.h);
//   - the program ended by a failed request (a window destroyed under it, a message naming a
//     window that does not exist): every protocol error is counted and survived (errors.h);
//   - the server told to break the grab: the XKB grab-break actions are out of the keymap while
//     locked (grab_break.h).
// What it cannot stop:
//   - a switch to another virtual terminal (Ctrl+Alt+F1...), or killing the X server itself
//     (Ctrl+Alt+Backspace when enabled): the session is then the console's, not ours;
//   - root, or anyone running as the user outside X: they can kill the program, ptrace it, or
//     edit its files; while it runs in one process, killing it (SIGKILL, XKillClient, the OOM
//     killer) drops the grabs with the connection.
//   - a client that grabs the keyboard before the lock starts and never lets go: the lock says so
//     and does not pretend to hold.

#include "ui/x11/errors.h"
#include "ui/x11/grab_break.h"
#include "ui/x11/keyboard_lock.h"
#include "ui/x11/lock_windows.h"
