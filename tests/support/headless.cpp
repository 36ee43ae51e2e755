#include "support/headless.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace vellomar::ui {

namespace {

// Thrown from WaitForEvents when the runtime is destroyed while the program still runs, so that
// the program thread unwinds and can be joined. Not a std::exception: no handler catches it.
struct Abandoned {};

constexpr double kSecondsPerDay = 86400.0;

// Virtual time in microseconds since the start of the run; only Sleep and the runtime move it.
class VirtualClock : public platform::Clock {
 public:
  explicit VirtualClock(double start_time_of_day) : start_(start_time_of_day) {}

  float Timer() override {
    return static_cast<float>(
        std::fmod(start_ + static_cast<double>(now_us) / 1e6, kSecondsPerDay));
  }
  void Sleep(double seconds) override {
    if (seconds <= 0) return;
    // At least one microsecond, so that a sleep toward a deadline always makes progress.
    now_us += std::max<std::int64_t>(1, std::llround(seconds * 1e6));
  }

  std::int64_t now_us = 0;

 private:
  double start_;
};

Trace::Keep TraceKeep(const HeadlessRuntime::Options& options) {
  return options.keep_events ? Trace::Keep::kEvents : Trace::Keep::kNothing;
}

bool Focusable(const Control& control) {
  return Application::CanTakeFocus(control);
}

}  // namespace

struct HeadlessRuntime::Impl : public Backend {
  struct Box {
    int id;
    std::string title;
    std::string text;
  };

  Impl(platform::Services services, Options opts, std::function<int(Application&)> start_fn)
      : options(std::move(opts)),
        trace(options.trace_path.empty() ? Trace(TraceKeep(options))
                                         : Trace(options.trace_path, TraceKeep(options))),
        clock_(options.start_time_of_day),
        screen_width(options.screen_width),
        screen_height(options.screen_height),
        start(std::move(start_fn)),
        app(std::make_unique<Application>(*this, services, options.command_line, &trace)) {}

  // --- Backend: called on the program thread ---

  void Attach(Application& application) override {
    application.ResumeFrom(options.resume);
    if (options.resume_record) application.ResumeRecord(*options.resume_record);
  }
  void RecordReadAtLoad(const std::string& record) override { record_read_at_load = record; }
  void LockStateChanged(const LockState& state) override {
    if (options.keep_events) lock_states.push_back(state);
  }
  platform::Clock& clock() override { return clock_; }
  platform::KeyboardLock& keyboard_lock() override { return lock; }
  ScreenMetrics Screen() override {
    return ScreenMetrics{screen_width * 15, screen_height * 15, 15, 15};
  }
  long ElapsedMs() override { return static_cast<long>(clock_.now_us / 1000); }

  void ShowWindow(Form&) override {}
  void HideWindow(Form& form) override { DropFocus(form); }
  void DestroyWindow(Form& form) override { DropFocus(form); }
  void PlaceTopmost(Form& form, int x, int y, int width, int height) override {
    placements[form.name()] = Placement{x, y, width, height, true};
  }
  void FormChanged(Form&) override {}
  void ControlChanged(Control& control, Property property) override {
    if (&control == focused && (property == Property::Visible || property == Property::Enabled) &&
        !Focusable(control)) {
      focused = nullptr;
    }
  }
  void SetFocus(Control& control) override { focused = &control; }

  void TimerChanged(Timer& timer) override {
    if (timer.Running()) {
      schedule[&timer] = Due{clock_.now_us + timer.Interval() * std::int64_t{1000}, ++generation};
    } else {
      schedule.erase(&timer);
    }
  }

  void OpenMessageBox(int id, const std::string& title, const std::string& text) override {
    boxes = OpenBoxes();  // forget the ones closed since
    boxes.push_back(Box{id, title, text});
  }

  // The program's only blocking point: a scripted action, else a timer due by the time being
  // advanced to, else the program is idle and the test takes over.
  void WaitForEvents() override {
    while (true) {
      if (pending) {
        std::function<void()> action = std::move(pending);
        pending = nullptr;
        action();
        return;
      }
      const std::int64_t limit = advancing ? target_us : clock_.now_us;
      if (Timer* timer = NextDue(limit, {})) {
        Fire(*timer);
        return;
      }
      if (advancing) {
        clock_.now_us = std::max(clock_.now_us, target_us);
        advancing = false;
      }
      HandToTest();
    }
  }

  // Ticks already due (each timer at most once); no scripted action is pending inside a handler.
  void ProcessPendingEvents() override {
    std::set<Timer*> fired;
    while (Timer* timer = NextDue(clock_.now_us, fired)) {
      fired.insert(timer);
      Fire(*timer);
    }
  }

  // --- Timers ---

  struct Due {
    std::int64_t at_us = 0;
    unsigned generation = 0;  // changes whenever the timer is rescheduled
  };

  // The earliest running timer due at or before `limit`; ties go to the form created first and
  // then to the timer declared first.
  Timer* NextDue(std::int64_t limit, const std::set<Timer*>& excluded) {
    Timer* best = nullptr;
    std::int64_t best_at = 0;
    for (Form* form : app->forms()) {
      for (Timer* timer : form->timers()) {
        auto it = schedule.find(timer);
        if (it == schedule.end() || excluded.count(timer) != 0) continue;
        if (it->second.at_us <= limit && (best == nullptr || it->second.at_us < best_at)) {
          best = timer;
          best_at = it->second.at_us;
        }
      }
    }
    return best;
  }

  void Fire(Timer& timer) {
    const std::int64_t due = schedule[&timer].at_us;
    const std::int64_t interval = timer.Interval() * std::int64_t{1000};
    clock_.now_us = std::max(clock_.now_us, due);
    const unsigned generation_now = ++generation;
    schedule[&timer] = Due{due + interval, generation_now};
    app->DeliverTimer(timer);
    // Ticks missed while the handler slept are dropped; a handler that changed the timer has
    // rescheduled it already.
    auto it = schedule.find(&timer);
    if (it != schedule.end() && it->second.generation == generation_now) {
      while (it->second.at_us < clock_.now_us) it->second.at_us += interval;
    }
  }

  void DropFocus(Form& form) {
    if (focused != nullptr && &focused->owner() == &form) focused = nullptr;
  }

  // --- Lock-step between the test thread and the program thread ---

  enum class Turn { kTest, kProgram };

  // Program side: idle; wait until the test has something for the program to do.
  void HandToTest() {
    std::unique_lock<std::mutex> lock_guard(mutex);
    turn = Turn::kTest;
    changed.notify_all();
    changed.wait(lock_guard, [this] { return turn == Turn::kProgram; });
    if (abandon) throw Abandoned{};
  }

  // Test side: let the program run until it is idle or has ended.
  void HandToProgram() {
    std::unique_lock<std::mutex> lock_guard(mutex);
    turn = Turn::kProgram;
    changed.notify_all();
    changed.wait(lock_guard, [this] { return turn == Turn::kTest; });
    if (failure) {
      std::exception_ptr error = failure;
      failure = nullptr;
      std::rethrow_exception(error);
    }
  }

  void ProgramThread() {
    {
      std::unique_lock<std::mutex> lock_guard(mutex);
      changed.wait(lock_guard, [this] { return turn == Turn::kProgram; });
    }
    if (!abandon) {
      try {
        exit_code = start(*app);
      } catch (const Abandoned&) {
        // The runtime is being destroyed.
      } catch (...) {
        failure = std::current_exception();
      }
    }
    std::lock_guard<std::mutex> lock_guard(mutex);
    finished = true;
    turn = Turn::kTest;
    changed.notify_all();
  }

  // --- Checks made by the scripted actions (test thread, program idle) ---

  void RequireRunning() const {
    if (!started) throw std::logic_error("the program has not been started");
    if (finished) throw std::logic_error("the program has ended");
  }

  Form& FormNamed(const std::string& name) const {
    Form* form = app->FindForm(name);
    if (form == nullptr) throw std::logic_error("no form named " + name + " has been created");
    return *form;
  }

  Control& ControlNamed(const std::string& form, const std::string& name) const {
    Control* control = FormNamed(form).FindControl(name);
    if (control == nullptr) throw std::logic_error("form " + form + " has no control " + name);
    return *control;
  }

  // A form the user can act on: loaded, on screen and not covered by a message box.
  Form& OnScreen(const std::string& name) const {
    RequireRunning();
    Form& form = FormNamed(name);
    if (!form.Loaded()) throw std::logic_error("form " + name + " is not loaded");
    if (!form.Visible()) throw std::logic_error("form " + name + " is hidden");
    RequireNoBox(name);
    return form;
  }

  void RequireNoBox(const std::string& name) const {
    if (!app->MessageBoxOpen()) return;
    throw std::logic_error("a message box is open above form " + name + ": \"" +
                           OpenBoxes().back().text + "\"");
  }

  Control& OnScreenControl(const std::string& form, const std::string& name) {
    OnScreen(form);
    Control& control = ControlNamed(form, name);
    if (!control.Visible()) throw std::logic_error(form + "." + name + " is hidden");
    return control;
  }

  std::vector<Box> OpenBoxes() const {
    std::vector<Box> open;
    for (const Box& box : boxes) {
      const auto& ids = app->open_message_boxes();
      if (std::find(ids.begin(), ids.end(), box.id) != ids.end()) open.push_back(box);
    }
    return open;
  }

  // Runs `action` on the program thread inside whatever loop it waits in, and returns when the
  // program is idle again or has ended.
  void Perform(std::function<void()> action) {
    pending = std::move(action);
    HandToProgram();
    pending = nullptr;
  }

  Options options;
  Trace trace;
  VirtualClock clock_;
  platform::RecordingKeyboardLock lock;
  std::vector<LockState> lock_states;
  std::optional<std::string> record_read_at_load;
  int screen_width;
  int screen_height;
  std::function<int(Application&)> start;
  std::unique_ptr<Application> app;

  std::map<std::string, Placement> placements;
  Control* focused = nullptr;
  std::vector<Box> boxes;
  std::map<Timer*, Due> schedule;
  unsigned generation = 0;

  std::function<void()> pending;
  bool advancing = false;
  std::int64_t target_us = 0;

  std::thread program;
  std::mutex mutex;
  std::condition_variable changed;
  Turn turn = Turn::kTest;
  bool started = false;
  bool finished = false;
  bool abandon = false;
  int exit_code = 0;
  std::exception_ptr failure;
};

HeadlessRuntime::HeadlessRuntime(platform::Services services, Options options,
                                 std::function<int(Application&)> start)
    : impl_(std::make_unique<Impl>(services, std::move(options), std::move(start))) {}

HeadlessRuntime::~HeadlessRuntime() {
  if (!impl_->program.joinable()) return;
  {
    std::lock_guard<std::mutex> lock_guard(impl_->mutex);
    if (!impl_->finished) {
      impl_->abandon = true;
      impl_->turn = Impl::Turn::kProgram;
      impl_->changed.notify_all();
    }
  }
  impl_->program.join();
}

void HeadlessRuntime::Start() {
  if (impl_->started) throw std::logic_error("the program was started already");
  impl_->started = true;
  impl_->program = std::thread([this] { impl_->ProgramThread(); });
  impl_->HandToProgram();
}

void HeadlessRuntime::Type(const std::string& form, const std::string& control,
                           const std::string& text) {
  Control& target = impl_->OnScreenControl(form, control);
  auto* box = dynamic_cast<TextBox*>(&target);
  if (box == nullptr) throw std::logic_error(form + "." + control + " is not a text box");
  impl_->Perform([this, box, text] {
    if (Focusable(*box)) impl_->focused = box;
    impl_->app->DeliverTyping(*box, text);
  });
}

void HeadlessRuntime::Click(const std::string& form, const std::string& control) {
  Control* target = &impl_->OnScreenControl(form, control);
  impl_->Perform([this, target] {
    if (Focusable(*target)) impl_->focused = target;
    impl_->app->DeliverClick(*target);
  });
}

void HeadlessRuntime::PressEnter(const std::string& form) {
  Form* target = &impl_->OnScreen(form);
  impl_->Perform([this, target] {
    Control* focused = impl_->focused;
    impl_->app->DeliverEnter(*target,
                             focused != nullptr && &focused->owner() == target ? focused : nullptr);
  });
}

void HeadlessRuntime::PressAccessKey(const std::string& form, char key) {
  Form* target = &impl_->OnScreen(form);
  impl_->Perform([this, target, key] { impl_->app->DeliverAccessKey(*target, key); });
}

void HeadlessRuntime::Focus(const std::string& form, const std::string& control) {
  Control* target = &impl_->OnScreenControl(form, control);
  impl_->Perform([this, target] {
    if (Focusable(*target)) impl_->focused = target;
  });
}

void HeadlessRuntime::PressEscape(const std::string& form) {
  Form* target = &impl_->OnScreen(form);
  impl_->Perform([this, target] { impl_->app->DeliverEscape(*target); });
}

// Windows shutting down (reason 2) reaches every loaded window, hidden ones and those under a
// message box included; the close box and the task list only reach a window on screen.
void HeadlessRuntime::Close(const std::string& form, int reason) {
  Form* target = nullptr;
  if (reason == 2) {
    impl_->RequireRunning();
    target = &impl_->FormNamed(form);
    if (!target->Loaded()) throw std::logic_error("form " + form + " is not loaded");
  } else {
    target = &impl_->OnScreen(form);
  }
  impl_->Perform([this, target, reason] { impl_->app->DeliverClose(*target, reason); });
}

void HeadlessRuntime::MoveMouse(const std::string& form) {
  Form* target = &impl_->OnScreen(form);
  impl_->Perform([this, target] { impl_->app->DeliverMouseMove(*target); });
}

void HeadlessRuntime::DismissMessageBox() {
  impl_->RequireRunning();
  if (!impl_->app->MessageBoxOpen()) throw std::logic_error("no message box is open");
  const int id = impl_->app->open_message_boxes().back();
  impl_->Perform([this, id] { impl_->app->DeliverMessageBoxClosed(id); });
}

void HeadlessRuntime::AdvanceTime(long ms) {
  impl_->RequireRunning();
  if (ms < 0) throw std::logic_error("time cannot go back");
  impl_->target_us = impl_->clock_.now_us + ms * std::int64_t{1000};
  impl_->advancing = true;
  impl_->HandToProgram();
  impl_->advancing = false;
}

void HeadlessRuntime::SetScreenSize(int width, int height) {
  impl_->screen_width = width;
  impl_->screen_height = height;
}

bool HeadlessRuntime::Ended() const {
  return impl_->finished;
}
int HeadlessRuntime::ExitCode() const {
  return impl_->exit_code;
}
bool HeadlessRuntime::KeyboardLocked() const {
  return impl_->lock.Engaged();
}
const platform::RecordingKeyboardLock& HeadlessRuntime::keyboard_lock() const {
  return impl_->lock;
}

platform::RecordingKeyboardLock& HeadlessRuntime::keyboard_lock() {
  return impl_->lock;
}
Application& HeadlessRuntime::app() {
  return *impl_->app;
}
Form& HeadlessRuntime::form(const std::string& name) {
  return impl_->FormNamed(name);
}

bool HeadlessRuntime::FormVisible(const std::string& name) const {
  const Form* form = impl_->app->FindForm(name);
  return form != nullptr && form->Visible();
}

bool HeadlessRuntime::FormLoaded(const std::string& name) const {
  const Form* form = impl_->app->FindForm(name);
  return form != nullptr && form->Loaded();
}

std::string HeadlessRuntime::Caption(const std::string& form, const std::string& control) const {
  return impl_->ControlNamed(form, control).Caption();
}

std::string HeadlessRuntime::Text(const std::string& form, const std::string& control) const {
  auto* box = dynamic_cast<TextBox*>(&impl_->ControlNamed(form, control));
  if (box == nullptr) throw std::logic_error(form + "." + control + " is not a text box");
  return box->Text();
}

bool HeadlessRuntime::ControlVisible(const std::string& form, const std::string& control) const {
  return impl_->ControlNamed(form, control).Visible();
}

std::string HeadlessRuntime::Focused() const {
  const Control* focused = impl_->focused;
  if (focused == nullptr) return "";
  return focused->owner().name() + "." + focused->name();
}

std::vector<std::pair<std::string, std::string>> HeadlessRuntime::MessageBoxes() const {
  std::vector<std::pair<std::string, std::string>> open;
  for (const Impl::Box& box : impl_->OpenBoxes()) open.emplace_back(box.title, box.text);
  return open;
}

HeadlessRuntime::Placement HeadlessRuntime::PlacementOf(const std::string& form) const {
  auto it = impl_->placements.find(form);
  if (it == impl_->placements.end()) throw std::logic_error("form " + form + " was never placed");
  return it->second;
}

const std::vector<TraceEvent>& HeadlessRuntime::events() const {
  return impl_->trace.events();
}

std::string HeadlessRuntime::Transcript() const {
  std::string out;
  for (const TraceEvent& event : impl_->trace.events()) out += event.JsonWithoutTime() + "\n";
  return out;
}

double HeadlessRuntime::VirtualSeconds() const {
  return static_cast<double>(impl_->clock_.now_us) / 1e6;
}

const std::vector<LockState>& HeadlessRuntime::lock_states() const {
  return impl_->lock_states;
}

const std::optional<std::string>& HeadlessRuntime::record_read_at_load() const {
  return impl_->record_read_at_load;
}

}  // namespace vellomar::ui
