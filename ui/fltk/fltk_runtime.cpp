#include "ui/fltk/fltk_parts.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "xlock/errors.h"
#include "xlock/window_hints.h"

namespace vellomar::ui::fltk {

// ---------------------------------------------------------------------------------------------
// Runtime

struct Runtime::TimerSlot {
  Runtime* runtime = nullptr;
  Timer* timer = nullptr;
  bool armed = false;
  double period = 0;  // real seconds
  std::chrono::steady_clock::time_point due;
  long generation = 0;
};

namespace {
int SystemHandler(void* event, void* data) {
  return static_cast<Runtime*>(data)->OnXEvent(*static_cast<XEvent*>(event)) ? 1 : 0;
}
}  // namespace

Runtime::Runtime(const std::string& command_line, const guard::FirstLockWindow& first_window)
    : resumed_(guard::ResumeStateFromEnvironment()),
      command_line_(command_line),
      start_(std::chrono::steady_clock::now()) {
  unsetenv(guard::kResumeVariable);
  // Every run locks the keyboard as its first action: the guard, started first, takes it while
  // this process opens the display and starts the toolkit (atoms, input method, fonts). A guard
  // that restarted this process holds it already.
  restarted_ = guard_.Connected();
  // The first guard is forked before the toolkit loads; a guard program is started otherwise.
  if (!restarted_ && !StartGuardFork(first_window)) StartGuard();
  Display* display = XOpenDisplay(nullptr);
  if (!display) throw std::runtime_error("cannot open the X display");
  // No failed request may end the program (and with it the lock): see xlock/errors.h.
  InstallX11ErrorHandler();
  lock_ = std::make_unique<X11KeyboardLock>(display);
  // Without a guard this process takes the keyboard itself, as early as it can.
  if (!guard_.Connected()) lock_->TakeEarly();
  guard_.OnWant([this] {
    // A new guard takes over the keyboard this process held while there was none. Only a lock
    // that is up answers: a guard starting one waits out another program's grab for a second,
    // then says it cannot have the keyboard.
    if (!lock_->Engaged()) return;
    lock_->GiveUpKeyboard();
    guard_.KeyboardLetGo();
  });
  fl_open_display(display);
  display_ = fl_display;
  Fl::background(192, 192, 192);
  // "MS Sans Serif" is drawn with a sans-serif face of Helvetica's narrow metrics when there is
  // one; fontconfig falls back to the default sans-serif face otherwise.
  Fl::set_font(FL_HELVETICA, " Nimbus Sans,Liberation Sans,Arial,sans");
  Fl::set_font(FL_HELVETICA_BOLD, "BNimbus Sans,Liberation Sans,Arial,sans");
  Fl_Window::default_xclass("kestrom");
  speed_ = ClockSpeedFromEnvironment();
  if (speed_ == 1.0) {
    clock_ = std::make_unique<platform::SystemClock>();
  } else {
    clock_ = std::make_unique<ScaledClock>(speed_);
  }
  RootSize(display_, screen_width_, screen_height_);
  // Told of changes of the screen size.
  XWindowAttributes root;
  XGetWindowAttributes(display_, DefaultRootWindow(display_), &root);
  XSelectInput(display_, DefaultRootWindow(display_), root.your_event_mask | StructureNotifyMask);
  cover_ = std::make_unique<LockWindows>(display_);
  cover_->OnDestroyed([this](Window xid, const CoverRect& rect) { Recreate(xid, rect); });
  Fl::add_system_handler(SystemHandler, this);
  Fl::add_timeout(kGuardTickSeconds, OnGuardTick, this);
  if (guard_.Connected()) GreetGuard();
}

Runtime::~Runtime() {
  // An orderly end (a crash never gets here): the guard stands down with the lock.
  guarded_lock_.Release();
  cover_.reset();
  Fl::remove_timeout(OnGuardTick, this);
  Fl::remove_timeout(OnPointerRetry, this);
  Fl::remove_timeout(OnRestackDue, this);
  Fl::remove_timeout(OnDeferredCheck, this);
  for (auto& [timer, slot] : timers_) Fl::remove_timeout(OnTimer, slot.get());
  Fl::remove_system_handler(SystemHandler);
  for (MessageBoxWindow* box : boxes_) box->hide();
  for (auto& [form, window] : windows_) window->hide();
  XSync(display_, False);
}

ScreenMetrics Runtime::Screen() {
  int width = 0, height = 0;
  RootSize(display_, width, height);
  ScreenMetrics metrics;
  metrics.width_twips = width * 15;
  metrics.height_twips = height * 15;
  return metrics;
}

long Runtime::ElapsedMs() {
  std::chrono::duration<double, std::milli> real = std::chrono::steady_clock::now() - start_;
  return static_cast<long>(real.count() * speed_);
}

void Runtime::Deliver(const std::function<void(Application&)>& call) {
  ++delivered_;
  if (!app_) return;
  try {
    call(*app_);
  } catch (...) {
    // Carried past FLTK's frames to the loop that called Fl::wait.
    if (!pending_) pending_ = std::current_exception();
  }
}

void Runtime::RethrowPending() {
  if (!pending_) return;
  std::exception_ptr error = pending_;
  pending_ = nullptr;
  std::rethrow_exception(error);
}

bool Runtime::InputBlocked(const Fl_Widget* window) const {
  return !boxes_.empty() && window != boxes_.back();
}

FormWindow* Runtime::Find(const Form& form) const {
  auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : it->second.get();
}

FormWindow& Runtime::WindowFor(Form& form) {
  if (FormWindow* existing = Find(form)) return *existing;
  bool own_frame = form.lock_screen && form.border != BorderStyle::None;
  int extra_w = own_frame ? 2 * kEdge : 0;
  int extra_h = own_frame ? 2 * kEdge + kTitleBar + 1 : 0;
  auto window = std::make_unique<FormWindow>(*this, form, Pixels(form.client_width) + extra_w,
                                             Pixels(form.client_height) + extra_h, own_frame);
  window->copy_label(form.Caption().c_str());
  if (const Fl_RGB_Image* icon = PictureIcon(form.icon)) window->icon(icon);
  if (form.lock_screen) {
    window->set_override();
  } else if (form.border == BorderStyle::Sizable) {
    window->size_range(window->w(), window->h());  // grows; its controls keep their places
  } else {
    window->size_range(window->w(), window->h(), window->w(), window->h());
  }
  if (form.centered) {
    window->position((screen_width_ - window->w()) / 2, (screen_height_ - window->h()) / 2);
  }
  window->callback(
      [](Fl_Widget* widget, void*) {
        auto* self = static_cast<FormWindow*>(widget);
        if (self->dead || self->runtime.InputBlocked(self)) return;
        Form& target = self->form;
        // Escape reaches here when nothing took it; the window manager's close always does.
        // Neither hides the window by itself: the form decides.
        bool escape = Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape;
        self->runtime.Deliver([&](Application& app) {
          if (escape) {
            app.DeliverEscape(target);
          } else {
            app.DeliverClose(target, 0);
          }
        });
      },
      nullptr);
  Build(*window);
  FormWindow& ref = *window;
  windows_[&form] = std::move(window);
  return ref;
}

void Runtime::Build(FormWindow& window) {
  std::vector<Control*> light, windowed;
  for (Control* control : window.form.controls()) {
    (Focusable(control->kind()) ? windowed : light).push_back(control);
  }
  // Labels and pictures lie beneath the controls that take input, which follow in tab order.
  std::stable_sort(windowed.begin(), windowed.end(),
                   [](Control* a, Control* b) { return a->tab_index < b->tab_index; });
  std::vector<Control*> order = light;
  order.insert(order.end(), windowed.begin(), windowed.end());

  window.begin();
  for (Control* control : order) {
    int x = window.ClientX() + Pixels(control->rect.left);
    int y = window.ClientY() + Pixels(control->rect.top);
    int w = Pixels(control->rect.width), h = Pixels(control->rect.height);
    Fl_Widget* widget = MakeWidget(*this, *control, x, y, w, h);
    widget->user_data(control);
    widget->labelfont(Face(control->bold));
    widget->labelsize(FontPixels(control->font_size));
    if (control->kind() != ControlKind::TextBox)
      widget->copy_label(LabelText(control->Caption()).c_str());
    if (auto* valued = dynamic_cast<ValueControl*>(control)) {
      static_cast<Fl_Button*>(widget)->value(valued->Value());
    }
    if (!control->Visible()) widget->hide();
    if (!control->Enabled()) widget->deactivate();
    widgets_[control] = widget;
  }
  window.end();
}

void Runtime::ShowWindow(Form& form) {
  FormWindow& window = WindowFor(form);
  window.wanted = true;
  if (form.lock_screen) ReportArea();
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), &window),
                     shown_order_.end());
  shown_order_.push_back(&window);
  bool first_map = !window.shown();
  ShowWithFrameHints(window, display_, form.border != BorderStyle::Sizable, form.show_in_taskbar);
  if (first_map) DecorateNew(window);
  // A lock window is kept in place from its placement on, which every lock form makes in its
  // Load, before the window is on screen: kept earlier, at its design size, it would shape the
  // overlay (shared with the guard) smaller than the screen for a moment.
  if (form.lock_screen && window.placed) Cover(window, window.place);
  LockWindowsChanged();
  ScheduleCheck();
}

void Runtime::DecorateNew(FormWindow& window) {
  if (!window.form.lock_screen) return;  // framed: its hints went with the first show
  const std::string& caption = window.form.Caption();
  NameWindow(display_, fl_xid(&window), (caption.empty() ? window.form.name() : caption).c_str());
}

void Runtime::HideWindow(Form& form) {
  FormWindow* window = Find(form);
  if (!window) return;
  window->wanted = false;
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), window),
                     shown_order_.end());
  Uncover(*window);
  window->hide();
  if (form.lock_screen) ReportArea();
  LockWindowsChanged();
  ScheduleCheck();
}

void Runtime::DestroyWindow(Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end()) return;
  for (Timer* timer : form.timers()) {
    auto slot = timers_.find(timer);
    if (slot == timers_.end()) continue;
    Fl::remove_timeout(OnTimer, slot->second.get());
    slot->second->armed = false;
    ++slot->second->generation;
  }
  for (Control* control : form.controls()) widgets_.erase(control);
  FormWindow* window = it->second.release();
  windows_.erase(it);
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), window),
                     shown_order_.end());
  window->dead = true;
  window->wanted = false;
  Uncover(*window);
  window->hide();
  if (form.lock_screen) ReportArea();
  // The unload may come from a handler running inside this very window's callback.
  Fl::delete_widget(window);
  LockWindowsChanged();
  ScheduleCheck();
}

void Runtime::PlaceTopmost(Form& form, int x, int y, int width, int height) {
  // The guard covers the place at once, before this window is even made, let alone drawn.
  if (form.lock_screen) SendArea(guard::Area{x, y, width, height, fl_xpixel(FL_BACKGROUND_COLOR)});
  FormWindow& window = WindowFor(form);
  int screen_w = 0, screen_h = 0;
  RootSize(display_, screen_w, screen_h);
  window.placed = true;
  window.place = {x, y, width, height};
  window.full_screen = x <= 0 && y <= 0 && x + width >= screen_w && y + height >= screen_h;
  window.strip = std::max(0, screen_h - (y + height));
  window.resize(x, y, width, height);
  // SWP_SHOWWINDOW: placing shows it.
  window.wanted = true;
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), &window),
                     shown_order_.end());
  shown_order_.push_back(&window);
  bool first_map = !window.shown();
  ShowWithFrameHints(window, display_);
  if (first_map) DecorateNew(window);
  if (form.lock_screen) {
    Cover(window, window.place);
  } else {
    XRaiseWindow(display_, fl_xid(&window));
  }
  LockWindowsChanged();
  ScheduleCheck();
}

void Runtime::FormChanged(Form& form) {
  FormWindow* window = Find(form);
  if (!window) return;
  window->copy_label(form.Caption().c_str());
  if (window->shown() && form.lock_screen) {
    NameWindow(display_, fl_xid(window),
               (form.Caption().empty() ? form.name() : form.Caption()).c_str());
  }
  window->redraw();
}

void Runtime::ControlChanged(Control& control, Property property) {
  UpdateWidget(control, property);
}

void Runtime::UpdateWidget(Control& control, Property property) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end()) return;
  Fl_Widget* widget = it->second;
  switch (property) {
    case Property::Caption:
      widget->copy_label(LabelText(control.Caption()).c_str());
      break;
    case Property::Text: {
      auto* input = static_cast<Fl_Input*>(widget);
      const std::string& text = static_cast<TextBox&>(control).Text();
      if (text != input->value()) input->value(text.c_str());
      break;
    }
    case Property::Visible:
      if (control.Visible()) {
        widget->show();
      } else {
        widget->hide();
      }
      break;
    case Property::Enabled:
      if (control.Enabled()) {
        widget->activate();
      } else {
        widget->deactivate();
      }
      break;
    case Property::Value:
      if (auto* valued = dynamic_cast<ValueControl*>(&control)) {
        static_cast<Fl_Button*>(widget)->value(valued->Value());
      }
      break;
  }
  RedrawArea(widget);
}

void Runtime::SetFocus(Control& control) {
  auto it = widgets_.find(&control);
  if (it == widgets_.end()) return;
  Fl_Widget* widget = it->second;
  if (Fl::focus() == widget) return;
  if (!widget->take_focus()) Fl::focus(widget);
  ScheduleCheck();
}

// ---------------------------------------------------------------------------------------------
// Timers

void Runtime::TimerChanged(Timer& timer) {
  auto& slot = timers_[&timer];
  if (!slot) {
    slot = std::make_unique<TimerSlot>();
    slot->runtime = this;
    slot->timer = &timer;
  }
  Fl::remove_timeout(OnTimer, slot.get());
  ++slot->generation;
  slot->armed = false;
  if (timer.Running()) Arm(*slot);
}

void Runtime::Arm(TimerSlot& slot) {
  slot.period = slot.timer->Interval() / 1000.0 / speed_;
  slot.due =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                             std::chrono::duration<double>(slot.period));
  slot.armed = true;
  Fl::add_timeout(slot.period, OnTimer, &slot);
}

void Runtime::OnTimer(void* data) {
  auto& slot = *static_cast<TimerSlot*>(data);
  Runtime& self = *slot.runtime;
  if (!slot.armed || !slot.timer->Running()) {
    slot.armed = false;
    return;
  }
  long generation = slot.generation;
  Timer& timer = *slot.timer;
  self.Deliver([&](Application& app) { app.DeliverTimer(timer); });
  if (slot.generation != generation || !slot.armed || !slot.timer->Running()) return;
  // Next tick one period after the one due; ticks missed while a handler was busy are dropped.
  auto now = std::chrono::steady_clock::now();
  auto period = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double>(slot.period));
  slot.due += period;
  if (slot.due <= now) slot.due = now + period;
  Fl::add_timeout(std::chrono::duration<double>(slot.due - now).count(), OnTimer, &slot);
}

// ---------------------------------------------------------------------------------------------
// Message boxes and the event loop

void Runtime::OpenMessageBox(int id, const std::string& title, const std::string& text) {
  // Over a lock window a framed window would end up beneath it: the box is override-redirect
  // then, and draws its own title bar.
  bool over_lock = LockWindowUp();
  auto* box = new MessageBoxWindow(*this, id, title, text, over_lock);
  box->position((screen_width_ - box->w()) / 2, (screen_height_ - box->h()) / 2);
  if (over_lock) {
    box->set_override();
    box->show();
    NameWindow(display_, fl_xid(box), title.c_str());
  } else {
    box->set_non_modal();
    box->size_range(box->w(), box->h(), box->w(), box->h());
  }
  boxes_.push_back(box);
  ShowWithFrameHints(*box, display_);
  if (over_lock) {
    Cover(*box, {box->x(), box->y(), box->w(), box->h()});
  } else {
    XRaiseWindow(display_, fl_xid(box));
  }
  ScheduleCheck();
}

void Runtime::MessageBoxClosed(MessageBoxWindow* box) {
  boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), box), boxes_.end());
  int id = box->id;
  Uncover(*box);
  box->hide();
  Fl::delete_widget(box);
  ScheduleCheck();
  Deliver([&](Application& app) { app.DeliverMessageBoxClosed(id); });
}

void Runtime::WaitForEvents() {
  RethrowPending();
  long before = delivered_;
  while (delivered_ == before) {
    Fl::wait(1e20);
    RethrowPending();
  }
}

void Runtime::ProcessPendingEvents() {
  Fl::check();
  Fl::flush();
  XSync(display_, False);
  RethrowPending();
}

}  // namespace vellomar::ui::fltk
