#pragma once
// What a runtime supplies to the Application: windows for forms, a source of user input and
// timer ticks, message boxes, the screen and the clock. The Application owns every semantic
// (load order, modal nesting, close requests, trace); a backend only draws and reports input
// back through the Application's Deliver* calls.

#include <string>

#include "base/lock_state.h"
#include "platform/clock.h"
#include "platform/keyboard_lock.h"
#include "ui/controls.h"

namespace vellomar::ui {

class Application;
class Form;

struct ScreenMetrics {
  int width_twips = 0;
  int height_twips = 0;
  int twips_per_pixel_x = 15;
  int twips_per_pixel_y = 15;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual void Attach(Application& app) = 0;
  // The application is going away: nothing may be delivered to it any more (a runtime that
  // closes its windows afterwards still sees events from them).
  virtual void Detach() {}
  virtual platform::Clock& clock() = 0;
  virtual platform::KeyboardLock& keyboard_lock() = 0;
  virtual ScreenMetrics Screen() = 0;
  // Where a locked run stands, for a runtime that can restart the program after a crash.
  virtual void LockStateChanged(const LockState&) {}
  // The password record a form's load took (its text as read), for a runtime that restarts the
  // program after a crash: the restarted run gets it back (Application::ResumeRecord).
  virtual void RecordReadAtLoad(const std::string&) {}
  // Milliseconds since the run started (the trace's `t`).
  virtual long ElapsedMs() = 0;

  // Windows. ShowWindow creates the window on first use; DestroyWindow is the unload.
  virtual void ShowWindow(Form& form) = 0;
  virtual void HideWindow(Form& form) = 0;
  virtual void DestroyWindow(Form& form) = 0;
  // SetWindowPos(HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW): outer size in pixels.
  virtual void PlaceTopmost(Form& form, int x, int y, int width, int height) = 0;
  virtual void FormChanged(Form& form) = 0;  // caption
  virtual void ControlChanged(Control& control, Property property) = 0;
  virtual void SetFocus(Control& control) = 0;

  // Timers: the backend calls Application::DeliverTimer(timer) every Interval() ms while it runs.
  // A change of interval or enabled state calls TimerChanged; ticks missed while a handler was
  // busy are dropped, not caught up.
  virtual void TimerChanged(Timer& timer) = 0;

  // A modal message box (title, text, one OK button, no icon). It only opens the box and returns;
  // the Application runs the loop until DeliverMessageBoxClosed(id).
  virtual void OpenMessageBox(int id, const std::string& title, const std::string& text) = 0;

  // Blocks until at least one event (user input, timer tick, message box closed) has been
  // delivered to the Application, then returns.
  virtual void WaitForEvents() = 0;
  // Delivers every event already pending, without blocking ("process pending events once").
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace vellomar::ui
