#pragma once
// The lock core: the code whose failure would unlock the screen, kept small, in plain Xlib and
// apart from the toolkit, so that a fault in the code that draws the forms cannot open the
// desktop through it.
//
// Who runs it: the guard process (guard/guard.h), small and apart from the toolkit, holds the
// keyboard from the first moment of a lock to its end (the forms process grabs on a connection of
// its own as its first act and forks the guard, which keeps it: guard/fork.h) and passes each key
// to the forms process, which draws and checks; the forms process keeps its own windows and, in
// the full-screen lock, the pointer. Either may die; only the forms process's word after the right
// password ends the lock.
//
// What it defends against, from any other client of the same X server (careless or hostile):
//   - keys and clicks reaching other clients: an active keyboard grab on the root window held by
//     the guard (and, for the full-screen lock, a pointer grab), taken back whenever it is lost,
//     with a warning on screen while it is not had (keyboard_lock.h, guard/guard_core.h);
//   - the death of either process, however it comes (a signal, a crash, its X connection killed
//     with XKillClient): the guard holds the keyboard through the forms process's death and
//     starts it again; the forms process grabs at once when the guard dies and starts another;
//     the guard opens the display again when its connection is killed;
//   - the desktop shown: covering windows kept in place, size, shape, parent, mapping, stacking
//     and override-redirect, whatever another client does to them, in the Composite overlay where
//     the server has one and no compositing manager runs, the overlay itself kept the same way
//     with a window of ours beneath it; under a compositing manager, whatever it draws over them
//     painted back at once (lock_windows.h); the guard covers a lock window's place before it is
//     drawn, and the whole screen while the forms process is away;
//   - the program ended by a failed request (a window destroyed under it, a message naming a
//     window that does not exist): every protocol error is counted and survived (errors.h);
//   - the server told to break the grab: the XKB grab-break actions are out of the keymap while
//     locked (grab_break.h), and put back at the end whichever process took them out;
//   - input that does not come from the devices: key, button and motion events another client
//     sends (XSendEvent) are refused in every window of the program (SentByAnotherClient in
//     keyboard_lock.h), and while the guard holds the keyboard the forms process takes keys from
//     it alone, so nobody types or clicks the password in without the keyboard.
// Beyond the core, guessing is slow: a wrong password costs a two-second wait before the next
// check, kept across a restart (ui/guess_pacer.h).
// What it cannot stop (nor can any X11 locker):
//   - without the Composite extension, a client raising its window in a tight loop shows it for
//     part of the time: raising ours again is all X allows; under a compositing manager, for a
//     moment now and then, until the lock has painted over what the manager drew;
//   - a client reading keys through XInput2 raw events or by polling XQueryKeymap: the server
//     reports them whatever grab stands, so another program can see what is typed;
//   - the user's own processes stopping the lock's with SIGSTOP (a stopped lock holds but never
//     opens), or killing both at the same moment (SIGKILL to each, or to the whole session);
//   - a switch to another virtual terminal (Ctrl+Alt+F1...), or killing the X server itself
//     (Ctrl+Alt+Backspace when enabled): the session is then the console's, not ours;
//   - root, who can ptrace the program, or anyone running as the user outside X, who can edit its
//     files (the processes of the lock are not dumpable: the user's other processes cannot
//     ptrace them);
//   - a client that grabs the keyboard before the lock starts and never lets go: the lock says so
//     and does not pretend to hold; one that grabs in a tight loop may win the moment between
//     the guard's death (or its connection's) and the next grab;
//   - XTEST: a client can type as the keyboard does, so it can guess, at the pace the wait
//     allows (1,800 guesses an hour);
//   - a Wayland session: under XWayland a grab holds no key typed into a Wayland window, so the
//     lock refuses to start there (server_check.h) rather than pretend.

#include "xlock/errors.h"
#include "xlock/grab_break.h"
#include "xlock/keyboard_lock.h"
#include "xlock/lock_windows.h"
#include "xlock/server_check.h"
