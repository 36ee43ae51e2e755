#pragma once
// The FLTK runtime: the windows of the forms and message boxes, the widgets of the controls, the
// timers, and the runtime's part in keeping a lock (the keeping itself is Xlib only, xlock/).
// Its files: fltk_runtime.cpp (windows, timers, message boxes, the event loop), fltk_windows.cpp
// and fltk_widgets.cpp (what the toolkit draws), lock_keeping.cpp, scaled_clock.cpp. Only
// ui/fltk/ includes this header; the program makes it through MakeFltkBackend.

#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "guard/fork.h"
#include "guard/link.h"
#include "platform/emulated.h"
#include "ui/application.h"

// Xlib after the form model: its `None` macro would clash with the model's enumerators.
#include "xlock/lock_core.h"

class Fl_Widget;
class Fl_Window;

namespace vellomar::ui::fltk {

class FormWindow;
class MessageBoxWindow;

// A clock that runs `speed` times faster than the real one. Only the end-to-end tests use it
// (see ClockSpeedFromEnvironment).
class ScaledClock : public platform::Clock {
 public:
  explicit ScaledClock(double speed);
  float Timer() override;
  void Sleep(double seconds) override;

 private:
  double speed_;
  double start_of_day_;
  std::chrono::steady_clock::time_point start_;
};

// KESTROM_TEST_CLOCK_SPEED (a factor, e.g. 60), honoured only when KESTROM_TRACE is set as well,
// which no installed command line does: it lets the end-to-end tests run the minute in a second.
// 1 otherwise.
double ClockSpeedFromEnvironment();

class Runtime : public Backend {
 public:
  // Starts the guard (with `command_line`, for a restart; covering `first_window`'s place at
  // once) and opens the display; throws std::runtime_error when there is none.
  Runtime(const std::string& command_line, const guard::FirstLockWindow& first_window);
  ~Runtime() override;

  void Attach(Application& app) override {
    app_ = &app;
    app.ResumeFrom(resumed_);
  }
  void Detach() override { app_ = nullptr; }
  platform::Clock& clock() override { return *clock_; }
  platform::KeyboardLock& keyboard_lock() override { return guarded_lock_; }
  void LockStateChanged(const LockState& state) override;
  void RecordReadAtLoad(const std::string& record) override;
  ScreenMetrics Screen() override;
  long ElapsedMs() override;

  void ShowWindow(Form& form) override;
  void HideWindow(Form& form) override;
  void DestroyWindow(Form& form) override;
  void PlaceTopmost(Form& form, int x, int y, int width, int height) override;
  void FormChanged(Form& form) override;
  void ControlChanged(Control& control, Property property) override;
  void SetFocus(Control& control) override;
  void TimerChanged(Timer& timer) override;
  void OpenMessageBox(int id, const std::string& title, const std::string& text) override;
  void WaitForEvents() override;
  void ProcessPendingEvents() override;

  // Called by the widgets and windows: runs one Application::Deliver* call, counts it as a
  // delivered event and keeps anything it throws for the loop that called Fl::wait.
  void Deliver(const std::function<void(Application&)>& call);
  // True while a message box is open over `window` (which then takes no input).
  bool InputBlocked(const Fl_Widget* window) const;
  void MessageBoxClosed(MessageBoxWindow* box);
  // An X event seen before FLTK handles it; true when it is consumed here.
  bool OnXEvent(const XEvent& event);

 private:
  struct TimerSlot;
  // The keyboard lock as the forms see it: the grabs (lock_), and while they are held a guard
  // process that keeps the screen locked should this one die (guard/guard.h).
  class GuardedLock : public platform::KeyboardLock {
   public:
    explicit GuardedLock(Runtime& runtime) : runtime_(runtime) {}
    void Engage() override;
    void Release() override;
    bool Engaged() const override { return runtime_.lock_->Engaged(); }

   private:
    Runtime& runtime_;
  };
  FormWindow& WindowFor(Form& form);
  FormWindow* Find(const Form& form) const;
  void Build(FormWindow& window);
  void DecorateNew(FormWindow& window);
  void UpdateWidget(Control& control, Property property);
  void Arm(TimerSlot& slot);
  static void OnTimer(void* data);
  static void OnGuardTick(void* data);
  static void OnPointerRetry(void* data);
  static void OnDeferredCheck(void* data);
  static void OnRestackDue(void* data);
  void ScheduleCheck();
  void KeepLockWindows();
  void KeepFocus();
  void LockWindowsChanged();
  void FollowScreenSize();
  void Cover(Fl_Window& window, const CoverRect& rect);
  void Uncover(Fl_Window& window);
  void Recreate(Window xid, const CoverRect& rect);
  Window FocusTarget() const;
  bool LockWindowUp() const;
  void RethrowPending();
  // Starts a guard, which grabs the keyboard; false when none can start (said once on stderr).
  bool StartGuard();
  // The first guard: forked from this process, before the toolkit loads, on a connection of its
  // own that grabs the keyboard first (guard/fork.h) and covers `first_window`'s place; false
  // when none could be.
  bool StartGuardFork(const guard::FirstLockWindow& first_window);
  // The OOM killer should pick this process before the guard, which brings it back.
  void YieldToGuardOnOom();
  // Tells a guard, new or the one that restarted us, all it needs to know.
  void GreetGuard();
  static void OnGuardStart(void* data);
  static void OnGuardReadable(int fd, void* data);
  // What the guard sent: keys handed to our windows, its warning allowed above them.
  void FromGuard();
  void InjectKeys();
  // Tells the guard which windows cover the screen now, and where a lock window is to be shown
  // (only what changed).
  void ReportCover();
  void ReportArea();
  void SendArea(const std::optional<guard::Area>& area);

  Application* app_ = nullptr;
  Display* display_ = nullptr;
  std::unique_ptr<X11KeyboardLock> lock_;
  GuardedLock guarded_lock_{*this};
  LockState resumed_;  // read before guard_ takes the variables out of the environment
  guard::GuardLink guard_;
  std::string command_line_;
  bool restarted_ = false;  // a guard started this process again after one died
  int guard_fd_watched_ = -1;
  int oom_score_at_start_ = guard::OomScore();
  std::deque<guard::Key> pending_keys_;  // from the guard, until a window of ours takes them
  bool injecting_ = false;               // a key from the guard is being handed to the toolkit
  bool guard_missing_ = false;           // said once; the lock goes on without a guard
  LockState lock_state_;
  std::string record_;  // the record read at load, for the guard to hand to a restart
  std::string cover_reported_;
  std::string area_reported_;
  std::unique_ptr<LockWindows> cover_;
  std::map<Window, Fl_Window*> covered_;  // the windows cover_ keeps, by their X id
  std::unique_ptr<platform::Clock> clock_;
  double speed_ = 1.0;
  std::chrono::steady_clock::time_point start_;
  std::map<const Form*, std::unique_ptr<FormWindow>> windows_;
  std::vector<FormWindow*> shown_order_;  // oldest first
  std::map<const Control*, Fl_Widget*> widgets_;
  std::map<const Timer*, std::unique_ptr<TimerSlot>> timers_;
  std::vector<MessageBoxWindow*> boxes_;  // oldest first
  long delivered_ = 0;
  std::exception_ptr pending_;
  bool check_scheduled_ = false;
  bool guard_ticking_ = false;
  int guard_ticks_ = 0;
  int pointer_retries_ = 0;
  int screen_width_ = 0;
  int screen_height_ = 0;
};

}  // namespace vellomar::ui::fltk
