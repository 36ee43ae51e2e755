#pragma once
// The guard: a second, small process that keeps a locked screen locked when the process that
// draws the forms dies (a crash, a kill, the OOM killer, its X connection killed). Plain Xlib on
// the lock core and nothing of the toolkit.
//
// While the forms process lives, the guard only watches: it mirrors each window that covers the
// screen with one of its own just below it, painted by the server in the same colour, and holds
// its own reference to the Composite overlay they live in. When the forms process dies the
// server drops its windows and grabs at once: the guard's windows are already there, so the
// desktop never shows, and the guard grabs the keyboard and the pointer and keeps its windows in
// place (the lock core). It then starts the forms process again, in the state it last reported
// (the timed prompt with the seconds it had used, the lockout, or else the same command line).
// The new process asks for the keyboard ("take"): the guard puts the focus on its own window,
// lets go, and the new process grabs; once the new process's windows are up the guard drops its
// own and watches again.
//
// It ends when the forms process releases the lock on purpose ("release") or the X server goes
// away. The signals a terminal or a session sends (SIGINT, SIGHUP, SIGTERM, SIGQUIT) are ignored:
// the guard is the part that must outlive the rest.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "guard/protocol.h"
#include "ui/x11/lock_core.h"

namespace vellomar::guard {

class Guard {
 public:
  // `link` is the socket to the forms process; `forms` the program that starts it again, with the
  // command line the forms process sends first ("command", protocol.h).
  Guard(Display* display, int link, std::string forms);
  ~Guard();
  // Runs until the lock is released on purpose; returns the exit status.
  int Run();

 private:
  enum class Mode { kWatching, kHolding, kHandingOver };
  using Clock = std::chrono::steady_clock;

  void GrabKeysPassively();
  void OnPassiveKey();
  bool OnLine(const std::string& line);  // false on "release"
  void OnFormsGone();
  void OnWitnessGone();
  void TakeOver();
  void HandOver();
  void Tell(const char* message);  // a line to the forms process
  // Back to watching: our own windows and their keeping go.
  void Watch();
  // Whether `cover` covers every window of ours.
  bool Covers(const Cover& cover) const;
  void Mirror(const Cover& cover);
  void DropMirror();
  void HoldOverlay(bool hold);
  bool Grab();
  void StartForms();
  Window MakeWindow(Window parent, const CoverWindow& rect, unsigned long pixel);
  int PollTimeoutMs() const;

  Display* display_;
  Window root_;
  int link_;
  std::string forms_;
  std::string command_line_;
  std::string record_;  // the record the forms process last read at a load, for a restart
  LineReader reader_;
  std::string state_ = "other";
  Cover cover_;  // as last reported
  Mode mode_ = Mode::kWatching;

  Window identity_ = 0;         // unmapped, named: the guard's own X resource
  Window witness_ = 0;          // the forms process's: destroyed with its connection
  std::vector<Window> mirror_;  // ours, one below each of the forms' covering windows
  std::vector<CoverWindow> mirror_rects_;
  bool overlay_held_ = false;

  std::unique_ptr<ui::LockWindows> keeping_;  // while holding
  ui::GrabBreakKeys grab_break_;
  bool keyboard_held_ = false;
  bool pointer_held_ = false;
  int restarts_ = 0;  // forms processes started since the last one that took the keyboard
  std::optional<Clock::time_point> start_at_;  // when the forms process is started again
  Clock::time_point handed_over_at_{};
};

}  // namespace vellomar::guard
