#pragma once
// The guard: the small process that holds a locked keyboard for the forms process (kestrom.exe),
// from the first moment of the lock to its end. Plain Xlib on the lock core and nothing of the
// toolkit: its death is the one that would free the keyboard, so it is the part kept small.
//
// kestrom.exe's first act is to grab the keyboard and fork its guard, which keeps that connection
// (fork.h); a guard started later (after one died, or where none could be forked) is this
// program (main.cpp). The guard holds the
// keyboard (every key reported to it alone) and passes each key on over its socket; kestrom.exe
// hands them to its forms. Where a lock window is about to show it puts a window of its own,
// painted by the server, so the desktop is covered before kestrom.exe has drawn anything;
// kestrom.exe's windows lie above it.
// When kestrom.exe dies (a crash, a kill, the OOM killer, its X connection killed) nothing is
// released: the guard grabs the pointer too, covers the screen, keeps its windows on top and
// starts kestrom.exe again in the state it last reported. When its own X connection is killed it
// opens the display again and takes its grab and windows back. Its decisions are in
// guard_core.h.
//
// It ends when kestrom.exe releases the lock on purpose ("release"), or when the keyboard cannot
// be had at the start. The signals a terminal or a session sends (SIGINT, SIGHUP, SIGTERM,
// SIGQUIT) are ignored: the guard is the part that must outlive the rest.

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

#include "guard/guard_core.h"
#include "guard/protocol.h"
#include "xlock/lock_core.h"

namespace vellomar::guard {

// What a guard forked from kestrom.exe (fork.h) takes over: the connection whose
// keyboard grab was asked for, and the window already covering the lock window's place (0: none).
struct FirstHold {
  Display* display = nullptr;
  Window area_window = 0;
  Area area;
};

// A window of the guard's: named as the guard, kept from the window manager, painted by the
// server in `area`'s colour.
Window MakeGuardWindow(Display* display, const Area& area);

class Guard : public GuardHost {
 public:
  // `link` is the socket to the forms process; `forms` the program that starts it again. Without
  // `first` the guard opens its own connection.
  Guard(int link, std::string forms, std::optional<FirstHold> first = std::nullopt);
  ~Guard() override;
  // Runs until the lock is released on purpose (0) or cannot begin (1).
  int Run();

 private:
  // GuardHost
  bool GrabKeyboard() override;
  bool GrabPointer() override;
  void UngrabPointer() override;
  void DisableGrabBreak() override;
  void AdoptGrabBreak(const std::string& text) override;
  void ShowArea(const std::optional<Area>& area) override;
  void CoverWhole(bool cover) override;
  void KeepOnTop(bool keep) override;
  void WarnUnsafe(bool warn) override;
  void Tell(const std::string& line) override;
  void StartForms(const std::string& greeting) override;

  // Opens the display and makes this guard's X resources; false when it cannot be opened.
  bool Connect();
  // Makes this guard's X resources on an open display, the keyboard grabbed first.
  void Adopt(Display* display);
  // Drops everything of a display whose connection is gone (or at the end).
  void Disconnect();
  void OnXEvents();
  void OnLink();
  void FormsGone();
  void Restack();
  void DrawWarning();
  long Now() const;

  int link_;
  std::string forms_;
  std::optional<FirstHold> first_;
  LineReader reader_;
  Display* display_ = nullptr;
  bool connection_lost_ = false;  // set by Xlib's I/O error handler
  Window root_ = 0;
  std::unique_ptr<ui::LockWindows> keeping_;
  std::unique_ptr<ui::GrabBreakKeys> grab_break_;
  std::string grab_break_saved_;  // what this guard (or one before it) took out of the keymap
  Window area_window_ = 0;
  Area area_shown_;  // what area_window_ covers
  Window whole_window_ = 0;
  Window warning_window_ = 0;
  bool keep_on_top_ = false;
  std::unique_ptr<GuardCore> core_;
};

// The guard's whole life in this process: the signals a terminal or session sends ignored, the
// OOM killer asked to spare it, no core file, then the guard itself (see Guard). Returns its exit
// status.
int RunGuard(int link, std::string forms, std::optional<FirstHold> first = std::nullopt);

}  // namespace vellomar::guard
