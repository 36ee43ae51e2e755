#pragma once
// Small Xlib helpers: whether a window is on screen, the hints that give ordinary forms a dialog
// frame, names and the screen size. Plain Xlib only.

#include <X11/Xlib.h>

namespace vellomar::ui {

// True for the events StructureNotify and SubstructureNotify report (a window mapped, unmapped,
// moved, restacked, made, destroyed or reparented).
bool StructureEvent(int type);

// True when `window` is mapped and all its ancestors are (it can take the focus).
bool WindowViewable(Display* display, Window window);

// Asks the window manager for a dialog frame: title bar, border and close box, moving and closing
// allowed, no minimise, maximise or resize. Window managers read these when they take the window
// on, not later: set them before the window is first mapped (the runtime holds the server while it
// maps one).
void SetDialogFrameHints(Display* display, Window window);

// Asks the window manager to give the window no taskbar (or pager) button. Like the frame hints,
// set before the window is first mapped.
void SetNoTaskbarButton(Display* display, Window window);

// Names a window the way a managed one is named (WM_NAME, WM_CLASS "kestrom"): the toolkit
// leaves override-redirect windows nameless, and tools find windows by name.
void NameWindow(Display* display, Window window, const char* name);

// The root window's size in pixels, asked from the server (current after a change of mode).
void RootSize(Display* display, int& width, int& height);

}  // namespace vellomar::ui
