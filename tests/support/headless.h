#pragma once
// The headless runtime: no display, a virtual clock, and a script interface for tests.
//
// The program runs on its own thread in lock-step with the test: the test starts a run, the
// program goes until it waits for input (idle), then each scripted action (type, click, Enter,
// close, advance time, dismiss a message box) is carried out inside whatever loop the program is
// in, modal loops and message boxes included, and the call returns when the program is idle again
// or has ended. Only one of the two threads runs at a time. A 60-second scenario takes
// milliseconds of real time.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/recording_keyboard_lock.h"
#include "ui/application.h"
#include "ui/trace.h"

namespace vellomar::ui {

class HeadlessRuntime {
 public:
  struct Options {
    std::string command_line;
    int screen_width = 1024;  // pixels
    int screen_height = 768;
    // Virtual time of day at start, seconds since midnight (tests of midnight set 86370 etc.).
    double start_time_of_day = 12 * 3600.0;
    std::string trace_path;  // also write the trace to this file when not empty
    // Keep every trace event and lock state for events(), Transcript() and lock_states(); a soak
    // test turns it off to run the way the real program does.
    bool keep_events = true;
    // The state a run restarted after a crash resumes from, and the record it is handed over
    // (the one read when the lock started).
    LockState resume;
    std::optional<std::string> resume_record;
  };

  // `start` runs the program on the application, typically [](Application& a){ return
  // a.Run<PassMain>(); }.
  HeadlessRuntime(platform::Services services, Options options,
                  std::function<int(Application&)> start);
  ~HeadlessRuntime();  // ends a program still running

  // Starts the program and returns when it is idle or has ended.
  void Start();

  // Scripted user actions; each returns when the program is idle again or has ended. They fail
  // the test (throw std::logic_error) when the target is not on screen, e.g. typing into a hidden
  // form or clicking while a message box is open on top.
  void Type(const std::string& form, const std::string& control, const std::string& text);
  void Click(const std::string& form, const std::string& control);
  void PressEnter(const std::string& form);  // on whatever control has the focus
  void PressEscape(const std::string& form);
  void PressAccessKey(const std::string& form, char key);  // Alt+key
  // Moves the focus to a control as Tab or a click on it would, without clicking it.
  void Focus(const std::string& form, const std::string& control);
  void Close(const std::string& form, int reason);  // 0 close box, 2 shutdown, 3 task list
  void MoveMouse(const std::string& form);
  void DismissMessageBox();                   // presses OK on the topmost message box
  void AdvanceTime(long ms);                  // timers fire at their due times
  void SetScreenSize(int width, int height);  // pixels

  // State to assert on.
  bool Ended() const;
  int ExitCode() const;
  bool KeyboardLocked() const;
  const platform::RecordingKeyboardLock& keyboard_lock() const;
  platform::RecordingKeyboardLock& keyboard_lock();  // tests make the lock fail through it
  Application& app();
  Form& form(const std::string& name);
  bool FormVisible(const std::string& name) const;
  bool FormLoaded(const std::string& name) const;
  std::string Caption(const std::string& form, const std::string& control) const;
  std::string Text(const std::string& form, const std::string& control) const;
  bool ControlVisible(const std::string& form, const std::string& control) const;
  std::string Focused() const;  // "Form.Control" of the focused control, "" when none
  // Open message boxes, oldest first: {title, text}.
  std::vector<std::pair<std::string, std::string>> MessageBoxes() const;
  // Last placement of a form: x, y, w, h in pixels and top-most.
  struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool topmost = false;
  };
  Placement PlacementOf(const std::string& form) const;
  // Every trace event so far, and a readable transcript (one event per line, without time);
  // empty when the options said not to keep them.
  const std::vector<TraceEvent>& events() const;
  std::string Transcript() const;
  double VirtualSeconds() const;  // virtual time since start
  // Every lock state the program reported, in order.
  const std::vector<LockState>& lock_states() const;
  // The record the last load passed on for a restart; nothing before one did.
  const std::optional<std::string>& record_read_at_load() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vellomar::ui
