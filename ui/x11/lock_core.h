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
//     locked (grab_break.h);
//   - input that does not come from the devices: key, button and motion events another client
//     sends (XSendEvent) are refused in every window of the program (SentByAnotherClient in
//     keyboard_lock.h), so nobody types or clicks the password in without the keyboard.
// Beyond the core, guessing is slow: a wrong password costs a two-second wait before the next
// check, kept across a restart (ui/guess_pacer.h).
// What it cannot stop:
//   - a switch to another virtual terminal (Ctrl+Alt+F1...), or killing the X server itself
//     (Ctrl+Alt+Backspace when enabled): the session is then the console's, not ours;
//   - root, who can ptrace the program, or anyone running as the user outside X, who can edit its
//     files or kill it (the processes of the lock are not dumpable: the user's other processes
//     cannot ptrace them). Killing one process of the lock is survived: while the keyboard is
//     locked a guard process built on this core (guard/guard.h) keeps the screen covered and
//     grabbed when the forms process dies, starts it again, and is started again itself when it
//     is the one that died. Killing both at the same moment (SIGKILL to each, or to the whole user
//     session) opens the desktop, as does a guard that cannot be started (it is said on stderr).
//   - a client that grabs the keyboard before the lock starts and never lets go: the lock says so
//     and does not pretend to hold;
//   - XTEST: a client can type as the keyboard does, so it can guess, at the pace the wait
//     allows (1,800 guesses an hour);
//   - a Wayland session: under XWayland a grab holds no key typed into a Wayland window, so the
//     lock refuses to start there (server_check.h) rather than pretend.

#include "ui/x11/errors.h"
#include "ui/x11/grab_break.h"
#include "ui/x11/keyboard_lock.h"
#include "ui/x11/lock_windows.h"
#include "ui/x11/server_check.h"
