#pragma once
// The application object: owns the forms (single instances, created on first use), runs the event
// loop and nested modal loops, delivers user input and timer ticks to the forms' handlers, and
// writes the trace. Every runtime (headless, FLTK, Win32) drives forms through it, so the
// behaviour and the trace are the same in all of them.

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeindex>
#include <vector>

#include "base/lock_state.h"
#include "platform/platform.h"
#include "ui/backend.h"
#include "ui/form.h"
#include "ui/guess_pacer.h"
#include "ui/trace.h"

namespace vellomar::ui {

// Ends the program: thrown by Application::End, caught only at the top of Run. It is not a
// std::exception, so no handler that catches run-time errors swallows it.
struct EndProgram {};

class Application {
 public:
  // `command_line` is the text after the program's name.
  Application(Backend& backend, platform::Services services, std::string command_line,
              Trace* trace = nullptr);
  ~Application();

  // Runs the program: creates the startup form F, loads it, shows it unless its Load hid it, and
  // processes events until End (or until no form is loaded). Returns the exit status End gave
  // (1 after a run-time error).
  template <class F>
  int Run() {
    return RunStartup(Get<F>());
  }

  // The single instance of a form (or of any object constructible from Application&, such as a
  // state holder shared by several forms), created on first use.
  template <class T>
  T& Get() {
    auto it = singletons_.find(std::type_index(typeid(T)));
    if (it != singletons_.end()) return *static_cast<T*>(it->second.get());
    if constexpr (std::is_abstract_v<T>) {
      throw std::logic_error(std::string("nothing provides ") + typeid(T).name());
    } else {
      auto holder = std::make_shared<T>(*this);
      T& ref = *holder;
      singletons_.emplace(std::type_index(typeid(T)), holder);
      if constexpr (std::is_base_of_v<Form, T>) Created(ref);
      return ref;
    }
  }

  // Makes Get<Interface>() answer with Get<Impl>(): a form reaches a form of a layer above its own
  // through an interface of its own layer, which the layer above implements and the form a run
  // starts in provides. Until then Get<Interface>() throws std::logic_error.
  template <class Interface, class Impl>
  void Provide() {
    const std::type_index key(typeid(Interface));
    if (singletons_.count(key)) return;
    Interface& implementation = Get<Impl>();
    singletons_.emplace(key, std::shared_ptr<void>(singletons_.at(typeid(Impl)), &implementation));
  }

  // Run-time services the forms use.
  const std::string& Command() const { return command_line_; }
  platform::FileSystem& files() { return services_.files; }
  platform::Registry& registry() { return services_.registry; }
  platform::ShellLinks& links() { return services_.links; }
  platform::Clock& clock() { return backend_.clock(); }
  float Timer() { return clock().Timer(); }
  ScreenMetrics Screen() { return backend_.Screen(); }

  void Show(Form& form, bool modal);
  void Hide(Form& form);
  void Unload(Form& form);
  // A modal message box with an OK button only; returns when it is dismissed. Timers keep firing.
  void MsgBox(const std::string& text, const std::string& title);
  void DoEvents();
  // Sleeps `seconds` on the clock; processes no events.
  void Wait(double seconds);
  // Ends the program with exit status `status`: 0 for the endings a user asked for, non-zero
  // after an error message.
  [[noreturn]] void End(int status = 0);
  // Releases the keyboard lock, then ends: the fail-safe ending of every error path.
  [[noreturn]] void ReleaseAndEnd(int status);
  bool Ended() const { return ended_; }
  int ExitStatus() const { return exit_status_; }

  // SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, flag, ...): engage (-1/true) or release (0).
  // Engaging may throw RuntimeError when the lock cannot be had.
  long SetScreenSaverRunning(bool engage);
  bool KeyboardLocked() const { return lock_engaged_; }
  // Where a locked run stands (lock_state.h): the runtime passes it on to whatever would restart
  // the program after a crash, with the wait after a wrong password added. Only changes are
  // passed on.
  void ReportLockState(const LockState& state);
  // The state a restarted run resumes from ("other" for every ordinary start); main sets it. A
  // wait that was running starts again in full.
  const LockState& Resumed() const { return resumed_; }
  void ResumeFrom(const LockState& state);
  // The password record a form's load took (its text as read, a valid record): kept, and passed
  // on to the runtime, which hands it to a run restarted after a crash. Nothing until a load read
  // one.
  void RecordReadAtLoad(const std::string& record);
  const std::optional<std::string>& RecordAtLoad() const { return record_at_load_; }
  // The record a restarted run was handed over: the one read when the lock started, so that a
  // file damaged meanwhile cannot end the lock (lock/record_at_ok.h). Nothing for an ordinary
  // start; the runtime sets it before the run starts.
  const std::optional<std::string>& ResumedRecord() const { return resumed_record_; }
  void ResumeRecord(std::string record);
  // A form's check found the typed password wrong: until the wait is over (guess_pacer.h), a
  // press of a button that checks a password is held, and acts when the wait ends.
  void WrongPassword();
  // SetWindowPos(hwnd, HWND_TOPMOST, x, y, w, h, SWP_NOACTIVATE | SWP_SHOWWINDOW).
  void SetWindowPosTopmost(Form& form, int x, int y, int width, int height);

  // Input from the runtime. Each runs the form's handler; a handler's End is remembered and the
  // loops unwind; an unhandled run-time error is shown and ends the program, releasing the lock.
  void DeliverClick(Control& control);  // button, check box, option button, text box click
  void DeliverTyping(TextBox& box, const std::string& text);
  // Keyboard input on `form`; the rules are the same in every runtime.
  // Enter: a command button holding the focus (`focused`) is pressed; otherwise the default
  // button, if there is one.
  void DeliverEnter(Form& form, Control* focused = nullptr);
  // Esc: the cancel button, if there is one.
  void DeliverEscape(Form& form);
  // Alt+`key`: the control whose caption marks `key` with '&' (any letter case). A label's access
  // key gives the focus to the control that follows the label in tab order; a text box takes the
  // focus; a button, check box or option button takes the focus and is clicked.
  void DeliverAccessKey(Form& form, char key);
  void DeliverClose(Form& form, int reason);
  void DeliverMouseMove(Form& form);
  void DeliverGotFocus(Form& form);
  void DeliverTimer(ui::Timer& timer);
  void DeliverMessageBoxClosed(int id);

  // Reported by controls and forms when the program changes them.
  void PropertyChanged(Control& control, Property property, const std::string& value);
  void CaptionChanged(Form& form);
  void TimerChanged(ui::Timer& timer);
  void FocusRequested(Control& control);

  // Whether `control` can hold the keyboard focus: a visible, enabled text box, button, check
  // box or option button.
  static bool CanTakeFocus(const Control& control);
  // The control that has the focus when `form` opens: the first in tab order that can take it.
  static Control* FirstInTabOrder(const Form& form);
  // The access key a caption marks with '&' ("&&" is a plain '&'), lower-cased; 0 when none.
  static char AccessKey(const std::string& caption);

  // Forms in creation order.
  const std::vector<Form*>& forms() const { return forms_; }
  Form* FindForm(const std::string& name) const;
  bool MessageBoxOpen() const { return !open_boxes_.empty(); }
  // Ids of the message boxes still open, oldest first.
  const std::vector<int>& open_message_boxes() const { return open_boxes_; }

 private:
  friend class Form;
  int RunStartup(Form& form);
  // The wait after a wrong password is over on `form`: the press held meanwhile acts now.
  void GuessWaitOver(Form& form);
  void Created(Form& form);
  void Load(Form& form);
  // Runs events until `done` or End; rethrows EndProgram after End.
  template <class Done>
  void RunUntil(Done done);
  template <class Handler>
  void Dispatch(Handler handler);
  void UnloadNow(Form& form);
  void Click(Control& control);
  void Fail(int code, const std::string& message);
  void MarkEnded();
  bool AnyFormLoaded() const;
  void Record(TraceEvent event);

  Backend& backend_;
  platform::Services services_;
  std::string command_line_;
  Trace* trace_;
  std::map<std::type_index, std::shared_ptr<void>> singletons_;
  std::vector<Form*> forms_;
  std::vector<int> open_boxes_;
  int next_box_id_ = 1;
  bool ended_ = false;
  int exit_status_ = 0;
  bool lock_engaged_ = false;
  LockState asked_;     // the state the forms last reported
  LockState reported_;  // that state with the wait added, as passed on
  LockState resumed_;
  std::optional<std::string> record_at_load_;
  std::optional<std::string> resumed_record_;
  GuessPacer pacer_;
  CommandButton* held_ = nullptr;  // a press that waits for the end of the wait
  // Handlers running in the current loop level: 0 when the next handler is delivered by a
  // runtime (its End and run-time errors stop here), above 0 when one handler calls another
  // synchronously (errors go to the calling handler, as in the classic runtime).
  int depth_ = 0;
  bool failing_ = false;    // the run-time error box is up: no handler runs any more
  Form* active_ = nullptr;  // the form last activated by Show
};

}  // namespace vellomar::ui
