#include "ui/application.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

#include "platform/errors.h"

namespace vellomar::ui {

namespace {

TraceEvent Event(std::string ev) {
  TraceEvent event;
  event.ev = std::move(ev);
  return event;
}

const char* PropertyName(Property property) {
  switch (property) {
    case Property::Caption:
      return "caption";
    case Property::Text:
      return "text";
    case Property::Visible:
      return "visible";
    case Property::Enabled:
      return "enabled";
    case Property::Value:
      return "value";
  }
  return "";
}

// A password box's text reaches the trace as its mask shows it: the trace is a file, and what the
// program puts into such a box is as secret as what is typed there.
std::string MaskedForTrace(const Control& control, Property property, const std::string& value) {
  if (property != Property::Text || control.kind() != ControlKind::TextBox) return value;
  const char mask = static_cast<const TextBox&>(control).password_char;
  return mask == 0 ? value : std::string(value.size(), mask);
}

// Entering an event loop: handlers delivered from inside it start a new level (depth 0), and the
// caller's level comes back when the loop returns or unwinds.
class LoopLevel {
 public:
  explicit LoopLevel(int& depth) : depth_(depth), saved_(depth) { depth_ = 0; }
  ~LoopLevel() { depth_ = saved_; }
  LoopLevel(const LoopLevel&) = delete;
  LoopLevel& operator=(const LoopLevel&) = delete;

 private:
  int& depth_;
  int saved_;
};

// Sets a flag for the lifetime of a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

// The classic runtime numbers a few failures of its own; everything else arrives as a
// RuntimeError carrying its number.
constexpr int kOutOfMemory = 7;

}  // namespace

template <class Done>
void Application::RunUntil(Done done) {
  LoopLevel level(depth_);
  while (true) {
    if (ended_) throw EndProgram{};
    if (done()) return;
    backend_.WaitForEvents();
  }
}

template <class Handler>
void Application::Dispatch(Handler handler) {
  if (depth_ > 0) {
    // Called by a running handler (Show runs Form_Load, Unload runs Form_Unload): its End and
    // its run-time errors belong to the calling handler.
    if (ended_) throw EndProgram{};
    handler();
    return;
  }
  if (ended_ || failing_) return;
  std::optional<std::pair<int, std::string>> failure;
  {
    LoopLevel level(depth_);
    depth_ = 1;
    try {
      handler();
    } catch (const EndProgram&) {
      ended_ = true;
    } catch (const RuntimeError& error) {
      failure.emplace(error.code(), error.what());
    } catch (const std::bad_alloc&) {
      failure.emplace(kOutOfMemory, "Out of memory");
    } catch (const std::exception& error) {
      failure.emplace(errc::kInvalidProcedureCall, error.what());
    }
  }
  if (failure) Fail(failure->first, failure->second);
}

Application::Application(Backend& backend, platform::Services services, std::string command_line,
                         Trace* trace)
    : backend_(backend),
      services_(services),
      command_line_(std::move(command_line)),
      trace_(trace) {
  backend_.Attach(*this);
}

Application::~Application() {
  backend_.Detach();
}

int Application::RunStartup(Form& form) {
  Dispatch([&] { Show(form, false); });
  try {
    // Like the classic runtime, the program also ends once no form is loaded any more.
    RunUntil([&] { return !AnyFormLoaded(); });
  } catch (const EndProgram&) {
    // End from any depth of modal loops arrives here.
  }
  MarkEnded();
  return exit_status_;
}

void Application::Created(Form& form) {
  forms_.push_back(&form);
  Dispatch([&] { form.Form_Initialize(); });
}

// Loading creates the window and its controls afresh: every property starts from its default,
// then from the form's design-time values; what the program changed before an Unload is gone.
void Application::Load(Form& form) {
  FlagScope loading(form.loading_);
  form.hidden_during_load_ = false;
  form.focus_ = nullptr;
  form.InitCaption("");
  for (Control* control : form.controls_) {
    control->InitCaption("");
    control->InitVisible(true);
    control->InitEnabled(true);
    if (auto* box = dynamic_cast<TextBox*>(control)) box->InitText("");
    if (auto* valued = dynamic_cast<ValueControl*>(control)) valued->InitValue(0);
  }
  for (ui::Timer* timer : form.timers_) {
    timer->InitInterval(0);
    timer->InitEnabled(true);
  }
  form.InitializeComponent();
  form.loaded_ = true;
  for (ui::Timer* timer : form.timers_) {
    if (timer->Running()) backend_.TimerChanged(*timer);
  }
  Dispatch([&] { form.Form_Load(); });
}

void Application::Show(Form& form, bool modal) {
  if (!form.loaded_) {
    Load(form);
    // A form that hid or unloaded itself while loading stays off screen.
    if (!form.loaded_ || form.hidden_during_load_) return;
  }
  form.hidden_during_load_ = false;
  const bool newly_shown = !form.visible_;
  if (newly_shown) {
    form.visible_ = true;
    form.modal_ = modal;
  }
  backend_.ShowWindow(form);  // creates it, or brings it to the front when already shown
  if (newly_shown) {
    TraceEvent event = Event("show");
    event.fields = {{"form", form.name()}, {"modal", modal}};
    Record(std::move(event));
    // The focus goes back where the program last put it, else to the first control in tab order.
    Control* focus =
        form.focus_ != nullptr && CanTakeFocus(*form.focus_) ? form.focus_ : FirstInTabOrder(form);
    if (focus != nullptr) FocusRequested(*focus);
  }
  if (active_ != &form) {
    active_ = &form;
    Dispatch([&] { form.Form_Activate(); });
  }
  if (modal) RunUntil([&] { return !form.visible_ || !form.loaded_; });
}

void Application::Hide(Form& form) {
  // Like any reference to a form, Hide loads it first when it is not loaded.
  if (!form.loaded_) Load(form);
  if (form.loading_) form.hidden_during_load_ = true;
  if (!form.visible_) return;
  form.visible_ = false;
  form.modal_ = false;
  if (active_ == &form) active_ = nullptr;
  backend_.HideWindow(form);
  TraceEvent event = Event("hide");
  event.fields = {{"form", form.name()}};
  Record(std::move(event));
}

void Application::Unload(Form& form) {
  if (!form.loaded_ || form.unloading_) return;
  int cancel = 0;
  Dispatch([&] { form.Form_QueryUnload(cancel, 1); });
  if (cancel != 0 || ended_) return;
  UnloadNow(form);
}

void Application::UnloadNow(Form& form) {
  if (!form.loaded_ || form.unloading_) return;
  FlagScope unloading(form.unloading_);
  Dispatch([&] { form.Form_Unload(); });
  std::vector<ui::Timer*> running;
  for (ui::Timer* timer : form.timers_) {
    if (timer->Running()) running.push_back(timer);
  }
  form.loaded_ = false;
  form.visible_ = false;
  form.modal_ = false;
  form.hidden_during_load_ = true;  // unloaded during its own Load: not shown afterwards
  if (active_ == &form) active_ = nullptr;
  backend_.DestroyWindow(form);
  for (ui::Timer* timer : running) backend_.TimerChanged(*timer);
  TraceEvent event = Event("unload");
  event.fields = {{"form", form.name()}};
  Record(std::move(event));
}

void Application::MsgBox(const std::string& text, const std::string& title) {
  if (ended_) throw EndProgram{};
  const int id = next_box_id_++;
  open_boxes_.push_back(id);
  // When End unwinds through the box it is no longer open either.
  struct Closer {
    std::vector<int>& boxes;
    int id;
    ~Closer() { boxes.erase(std::remove(boxes.begin(), boxes.end(), id), boxes.end()); }
  } closer{open_boxes_, id};
  TraceEvent event = Event("msgbox");
  event.fields = {{"title", title}, {"text", text}};
  Record(std::move(event));
  backend_.OpenMessageBox(id, title, text);
  RunUntil(
      [&] { return std::find(open_boxes_.begin(), open_boxes_.end(), id) == open_boxes_.end(); });
}

void Application::DoEvents() {
  if (ended_) throw EndProgram{};
  {
    LoopLevel level(depth_);
    backend_.ProcessPendingEvents();
  }
  if (ended_) throw EndProgram{};
}

void Application::Wait(double seconds) {
  platform::Wait(clock(), seconds);
}

void Application::End(int status) {
  if (!ended_) exit_status_ = status;
  MarkEnded();
  throw EndProgram{};
}

void Application::ReleaseAndEnd(int status) {
  SetScreenSaverRunning(false);
  End(status);
}

long Application::SetScreenSaverRunning(bool engage) {
  platform::KeyboardLock& lock = backend_.keyboard_lock();
  if (engage) {
    lock.Engage();
  } else {
    lock.Release();
  }
  if (lock.Engaged() != lock_engaged_) {
    lock_engaged_ = lock.Engaged();
    TraceEvent event = Event("keyboard_lock");
    event.fields = {{"engaged", lock_engaged_}};
    Record(std::move(event));
  }
  return 1;
}

void Application::ReportLockState(const LockState& state) {
  asked_ = state;
  LockState merged = state;
  merged.guess_wait = pacer_.Waiting(Timer());
  if (merged == reported_) return;
  reported_ = merged;
  backend_.LockStateChanged(merged);
}

void Application::ResumeFrom(const LockState& state) {
  resumed_ = state;
  if (state.guess_wait) pacer_.Failed(Timer());
}

void Application::RecordReadAtLoad(const std::string& record) {
  record_at_load_ = record;
  backend_.RecordReadAtLoad(record);
}

void Application::ResumeRecord(std::string record) {
  resumed_record_ = std::move(record);
}

void Application::WrongPassword() {
  pacer_.Failed(Timer());
  ReportLockState(asked_);
}

void Application::GuessWaitOver(Form& form) {
  form.guess_wait_timer_.SetEnabled(false);
  if (held_ == nullptr || &held_->owner() != &form) return;
  CommandButton& button = *std::exchange(held_, nullptr);
  // A form that went meanwhile (the prompt's minute ran out) checks nothing any more.
  if (form.visible_) Click(button);
}

void Application::SetWindowPosTopmost(Form& form, int x, int y, int width, int height) {
  if (!form.loaded_) Load(form);
  // SWP_SHOWWINDOW: a hidden window is shown (without activation).
  if (!form.visible_) {
    form.visible_ = true;
    form.modal_ = false;
    form.hidden_during_load_ = false;
    backend_.ShowWindow(form);
    TraceEvent event = Event("show");
    event.fields = {{"form", form.name()}, {"modal", false}};
    Record(std::move(event));
  }
  backend_.PlaceTopmost(form, x, y, width, height);
  TraceEvent event = Event("place");
  event.fields = {{"form", form.name()}, {"x", long{x}},      {"y", long{y}},
                  {"w", long{width}},    {"h", long{height}}, {"topmost", true}};
  Record(std::move(event));
}

void Application::DeliverClick(Control& control) {
  Dispatch([&] { Click(control); });
}

// What a click does to the control itself, before its Click handler runs.
void Application::Click(Control& control) {
  if (!control.owner().loaded_ || !control.Visible() || !control.Enabled()) return;
  if (control.kind() == ControlKind::CheckBox) {
    auto& box = static_cast<CheckBox&>(control);
    box.SetValue(box.Value() == 0 ? 1 : 0);
  } else if (control.kind() == ControlKind::OptionButton) {
    static_cast<OptionButton&>(control).SetValue(1);
    for (Control* other : control.owner().controls_) {
      if (other != &control && other->kind() == ControlKind::OptionButton) {
        static_cast<OptionButton*>(other)->SetValue(0);
      }
    }
  }
  if (control.kind() == ControlKind::CommandButton &&
      static_cast<CommandButton&>(control).checks_password) {
    const double left = pacer_.Remaining(Timer());
    if (left > 0) {
      // Held until the wait is over; a second press meanwhile adds nothing.
      held_ = &static_cast<CommandButton&>(control);
      ui::Timer& wait = control.owner().guess_wait_timer_;
      wait.SetInterval(static_cast<int>(std::ceil(left * 1000)));
      wait.SetEnabled(true);
      return;
    }
    ReportLockState(asked_);  // the wait is over: a restarted run need not wait again
  }
  if (control.on_click) control.on_click();
}

void Application::DeliverTyping(TextBox& box, const std::string& text) {
  Dispatch([&] {
    if (box.owner().loaded_ && box.Visible() && box.Enabled()) box.UserSetText(text);
  });
}

void Application::DeliverEnter(Form& form, Control* focused) {
  Dispatch([&] {
    if (focused != nullptr && &focused->owner() == &form &&
        focused->kind() == ControlKind::CommandButton && CanTakeFocus(*focused)) {
      Click(*focused);
      return;
    }
    for (Control* control : form.controls_) {
      auto* button = dynamic_cast<CommandButton*>(control);
      if (button != nullptr && button->is_default && button->Visible() && button->Enabled()) {
        Click(*button);
        return;
      }
    }
  });
}

void Application::DeliverEscape(Form& form) {
  Dispatch([&] {
    for (Control* control : form.controls_) {
      auto* button = dynamic_cast<CommandButton*>(control);
      if (button != nullptr && button->is_cancel && button->Visible() && button->Enabled()) {
        Click(*button);
        return;
      }
    }
  });
}

namespace {

// Tab order: by tab index, a label before the control that shares its index (the label names it).
bool TabsBefore(const Control* a, const Control* b) {
  if (a->tab_index != b->tab_index) return a->tab_index < b->tab_index;
  return a->kind() == ControlKind::Label && b->kind() != ControlKind::Label;
}

}  // namespace

void Application::DeliverAccessKey(Form& form, char key) {
  Dispatch([&] {
    if (!form.loaded_ || !form.visible_) return;
    const char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
    auto it = std::find_if(form.controls_.begin(), form.controls_.end(), [&](Control* control) {
      return control->Visible() && control->Enabled() && AccessKey(control->Caption()) == wanted;
    });
    if (it == form.controls_.end()) return;
    Control* owner = *it;
    if (owner->kind() != ControlKind::Label) {
      if (!CanTakeFocus(*owner)) return;
      FocusRequested(*owner);
      if (owner->kind() != ControlKind::TextBox) Click(*owner);
      return;
    }
    // The next control after the label in tab order, wrapping round to the first.
    std::vector<Control*> order = form.controls_;
    std::stable_sort(order.begin(), order.end(), TabsBefore);
    const auto at = std::find(order.begin(), order.end(), owner);
    std::rotate(order.begin(), at, order.end());
    for (Control* next : order) {
      if (CanTakeFocus(*next)) {
        FocusRequested(*next);
        return;
      }
    }
  });
}

bool Application::CanTakeFocus(const Control& control) {
  switch (control.kind()) {
    case ControlKind::TextBox:
    case ControlKind::CommandButton:
    case ControlKind::CheckBox:
    case ControlKind::OptionButton:
      return control.Visible() && control.Enabled();
    default:
      return false;
  }
}

Control* Application::FirstInTabOrder(const Form& form) {
  Control* first = nullptr;
  for (Control* control : form.controls_) {
    if (CanTakeFocus(*control) && (first == nullptr || control->tab_index < first->tab_index)) {
      first = control;
    }
  }
  return first;
}

char Application::AccessKey(const std::string& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
  }
  return 0;
}

void Application::DeliverClose(Form& form, int reason) {
  Dispatch([&] {
    if (!form.loaded_ || form.unloading_) return;
    int cancel = 0;
    form.Form_QueryUnload(cancel, reason);
    if (cancel == 0) UnloadNow(form);
  });
}

void Application::DeliverMouseMove(Form& form) {
  Dispatch([&] {
    if (form.loaded_) form.Form_MouseMove();
  });
}

void Application::DeliverGotFocus(Form& form) {
  Dispatch([&] {
    if (form.loaded_) form.Form_GotFocus();
  });
}

void Application::DeliverTimer(ui::Timer& timer) {
  Dispatch([&] {
    if (timer.Running() && timer.on_timer) timer.on_timer();
  });
}

void Application::DeliverMessageBoxClosed(int id) {
  auto it = std::find(open_boxes_.begin(), open_boxes_.end(), id);
  if (it == open_boxes_.end()) return;
  open_boxes_.erase(it);
  Record(Event("msgbox_closed"));
}

void Application::PropertyChanged(Control& control, Property property, const std::string& value) {
  backend_.ControlChanged(control, property);
  TraceEvent event = Event("set");
  event.fields = {{"form", control.owner().name()},
                  {"control", control.name()},
                  {"prop", std::string(PropertyName(property))}};
  switch (property) {
    case Property::Visible:
    case Property::Enabled:
      event.fields.emplace_back("value", value == "true");
      break;
    case Property::Value:
      event.fields.emplace_back("value", std::stol(value));
      break;
    default:
      event.fields.emplace_back("value", MaskedForTrace(control, property, value));
  }
  Record(std::move(event));
}

void Application::CaptionChanged(Form& form) {
  backend_.FormChanged(form);
  TraceEvent event = Event("set");
  event.fields = {
      {"form", form.name()}, {"prop", std::string("caption")}, {"value", form.Caption()}};
  Record(std::move(event));
}

void Application::TimerChanged(ui::Timer& timer) {
  backend_.TimerChanged(timer);
}

// Focus goes only to a control the user could reach: a focus request on a hidden window or
// control does nothing (a focus-keeping tick may fall while the window hides behind a box).
void Application::FocusRequested(Control& control) {
  const Form& form = control.owner();
  if (!form.loaded_ || !form.visible_ || !control.Visible() || !control.Enabled()) return;
  control.owner().focus_ = &control;
  backend_.SetFocus(control);
}

Form* Application::FindForm(const std::string& name) const {
  for (Form* form : forms_) {
    if (form->name() == name) return form;
  }
  return nullptr;
}

// A run-time error no handler armed for: shown as the classic runtime shows it, then the keyboard
// lock is released and the program ends, so that nothing stays locked.
void Application::Fail(int code, const std::string& message) {
  failing_ = true;
  try {
    MsgBox("Run-time error '" + std::to_string(code) + "':\n\n" + message, "kestrom");
  } catch (const EndProgram&) {
    // Ended while the box was up; the lock is still released below.
  }
  SetScreenSaverRunning(false);
  if (!ended_) exit_status_ = 1;
  MarkEnded();
}

void Application::MarkEnded() {
  if (ended_) return;
  ended_ = true;
  Record(Event("end"));
}

bool Application::AnyFormLoaded() const {
  return std::any_of(forms_.begin(), forms_.end(), [](const Form* form) { return form->Loaded(); });
}

void Application::Record(TraceEvent event) {
  if (trace_ == nullptr) return;
  event.t = backend_.ElapsedMs();
  trace_->Record(std::move(event));
}

}  // namespace vellomar::ui
