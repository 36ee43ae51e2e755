#include "ui/fltk/fltk_runtime.h"
#include "ui/form.h"

// The toolkit and Xlib after the form model; Xlib's `None` macro is not used below, and the
// model's `None` enumerators are.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "ui/fltk/pictures.h"
#include "ui/fltk/x11_errors.h"
#include "ui/fltk/x11_windows.h"

#ifdef VELLOMAR_STATIC_FLTK
#include <dlfcn.h>

#include <cstring>

// With FLTK and Xlib linked in statically, two run-time loads would bring a second, shared Xlib
// and xcb into the process, working on the first one's connection, and a megabyte more memory:
// FLTK loads libXrandr.so only to hear of screen size changes, which the runtime follows itself
// (Runtime::FollowScreenSize); Xlib loads libXcursor.so for themed font cursors, and falls back to
// the core cursor font without it. Those loads are refused; every other one goes to the C
// library's dlopen.
extern "C" void* dlopen(const char* file, int mode) noexcept {
  if (file && (std::strncmp(file, "libXrandr.so", 12) == 0 ||
               std::strncmp(file, "libXcursor.so", 13) == 0)) {
    return nullptr;
  }
  using Open = void* (*)(const char*, int);
  static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
  return next ? next(file, mode) : nullptr;
}
#endif

#undef None

namespace vellomar::ui::fltk {
namespace {

constexpr double kTwipsPerPixel = 15.0;
// Windows drawn without a window-manager frame (lock screens with a border, message boxes over
// a lock screen) draw their own: a raised edge and a title bar with the icon and caption.
constexpr int kEdge = 3;
constexpr int kTitleBar = 18;
// The guard tick while locked. The X events that can disturb a lock (see Runtime::OnXEvent)
// schedule the full check of grabs, focus and stacking at once; the tick is only the backstop.
// Each of the check's round trips wakes the program once more, so the tick only retries a pointer
// grab another client held when the lock began (no X request otherwise), and runs the full check
// every few ticks.
constexpr double kGuardTickSeconds = 2.0;
constexpr int kGuardTicksPerFullCheck = 4;
// A pointer grab held by another client when the full-screen lock begins is tried again this
// often, for about a second; then the guard tick goes on trying.
constexpr double kPointerRetrySeconds = 0.015;
constexpr int kPointerRetries = 67;

int Pixels(int twips) {
  return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}
int FontPixels(int points) {
  return static_cast<int>(std::lround(points * 96.0 / 72.0));
}
Fl_Font Face(bool bold) {
  return bold ? FL_HELVETICA_BOLD : FL_HELVETICA;
}

// FLTK treats '@' in a label as the start of a symbol; the system's texts mean the character.
std::string LabelText(const std::string& caption) {
  std::string out;
  for (char c : caption) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

bool Focusable(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::CommandButton ||
         kind == ControlKind::CheckBox || kind == ControlKind::OptionButton;
}

void DrawOwnFrame(int width, int height, const std::string& caption, Picture icon) {
  fl_draw_box(FL_UP_BOX, 0, 0, width, height, FL_BACKGROUND_COLOR);
  fl_color(fl_rgb_color(0, 0, 128));
  fl_rectf(kEdge, kEdge, width - 2 * kEdge, kTitleBar);
  int text_x = kEdge + 4;
  if (Fl_Image* image = PictureImage(icon)) {
    Fl_Image* small = image->copy(16, 16);
    small->draw(kEdge + 1, kEdge + 1);
    delete small;
    text_x += 18;
  }
  fl_color(FL_WHITE);
  fl_font(FL_HELVETICA_BOLD, 11);
  fl_draw(caption.c_str(), text_x, kEdge, width - text_x - kEdge, kTitleBar,
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
}

// Shows a window. The first show of one the window manager frames gives it the dialog frame hints
// as it is mapped: the toolkit maps the window as soon as it makes it, and a window manager reads
// the hints once, when it takes the window on. Holding the server keeps the window manager from
// looking before they are set.
void ShowWithFrameHints(Fl_Window& window, Display* display, bool dialog_frame = true,
                        bool taskbar_button = true) {
  if (window.shown() || window.override()) {
    window.show();
    return;
  }
  XGrabServer(display);
  window.show();
  if (dialog_frame) SetDialogFrameHints(display, fl_xid(&window));
  if (!taskbar_button) SetNoTaskbarButton(display, fl_xid(&window));
  XUngrabServer(display);
  XFlush(display);
}

void RedrawArea(Fl_Widget* widget) {
  // A hidden form (PassMain under the lock screen keeps refreshing its countdown) is drawn whole
  // when it is shown again.
  Fl_Window* window = widget->window();
  if (!window || !window->shown() || !window->visible()) return;
  widget->redraw();
  window->damage(FL_DAMAGE_ALL, widget->x(), widget->y(), widget->w() + 1, widget->h() + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Windows

class FormWindow : public Fl_Double_Window {
 public:
  FormWindow(Runtime& runtime, Form& form, int width, int height, bool own_frame)
      : Fl_Double_Window(width, height), runtime(runtime), form(form), own_frame(own_frame) {
    resizable(nullptr);  // a lock window grows, its controls keep their design positions
    end();
  }

  int ClientX() const { return own_frame ? kEdge : 0; }
  int ClientY() const { return own_frame ? kEdge + kTitleBar + 1 : 0; }

  int handle(int event) override;
  void draw() override {
    if (!own_frame) return Fl_Double_Window::draw();
    DrawOwnFrame(w(), h(), form.Caption(), form.icon);
    draw_children();
  }

  Runtime& runtime;
  Form& form;
  bool own_frame;
  bool wanted = false;  // the program has it on screen
  bool dead = false;    // unloaded; deleted once FLTK is done with it
  bool placed = false;  // PlaceTopmost gave it a place
  CoverRect place;      // that place
  bool full_screen = false;
  int strip = 0;  // screen height left below it when placed

 private:
  bool HandleKey();
};

class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(Runtime& runtime, int id, const std::string& title, const std::string& text,
                   bool own_frame);
  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape || key == ' ') {
        Close();
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }
  void draw() override {
    if (!own_frame) return Fl_Double_Window::draw();
    DrawOwnFrame(w(), h(), title, Picture::None);
    draw_children();
  }
  void Close() {
    if (!closed) {
      closed = true;
      runtime.MessageBoxClosed(this);
    }
  }

  Runtime& runtime;
  int id;
  std::string title;
  std::string text;
  bool own_frame;
  bool closed = false;
};

// ---------------------------------------------------------------------------------------------
// Controls

namespace {

class LabelWidget : public Fl_Box {
 public:
  LabelWidget(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {
    set_flag(SHORTCUT_LABEL);  // '&' marks the access key and is drawn as an underline
    box(FL_NO_BOX);
    align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
  }
};

class ImageWidget : public Fl_Widget {
 public:
  ImageWidget(int x, int y, int w, int h, Picture picture)
      : Fl_Widget(x, y, w, h), picture_(picture) {}
  ~ImageWidget() override { delete scaled_; }
  void draw() override {
    Fl_Image* image = PictureImage(picture_);
    if (!image || w() <= 0 || h() <= 0) return;
    if (!scaled_ || scaled_->w() != w() || scaled_->h() != h()) {
      delete scaled_;
      scaled_ = image->copy(w(), h());
    }
    scaled_->draw(x(), y());
  }

 private:
  Picture picture_;
  Fl_Image* scaled_ = nullptr;
};

class ShapeWidget : public Fl_Widget {
 public:
  ShapeWidget(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void draw() override {
    fl_color(FL_BLACK);
    fl_rect(x(), y(), w(), h());
  }
};

class LineWidget : public Fl_Widget {
 public:
  LineWidget(int x1, int y1, int x2, int y2)
      : Fl_Widget(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1),
        x1_(x1),
        y1_(y1),
        x2_(x2),
        y2_(y2) {}
  void draw() override {
    fl_color(FL_BLACK);
    fl_line(x1_, y1_, x2_, y2_);
  }

 private:
  int x1_, y1_, x2_, y2_;
};

// The number of characters in the first `bytes` bytes of UTF-8 text.
int CharactersBefore(const std::string& text, int bytes) {
  int count = 0;
  for (int i = 0; i < bytes && i < static_cast<int>(text.size()); ++count) {
    i += std::max(1, fl_utf8len1(text[i]));
  }
  return count;
}

class TextWidget : public Fl_Input {
 public:
  TextWidget(Runtime& runtime, TextBox& box, int x, int y, int w, int h)
      : Fl_Input(x, y, w, h), runtime_(runtime), box_(box), mask_(box.password_char) {
    // A masked box is a secret input to the toolkit, which then never copies from it.
    if (mask_) type(FL_SECRET_INPUT);
    if (box.max_length > 0) maximum_size(box.max_length);
    when(FL_WHEN_CHANGED);
    callback(
        [](Fl_Widget* widget, void*) {
          auto* self = static_cast<TextWidget*>(widget);
          std::string typed = self->value();
          TextBox& box = self->box_;
          self->runtime_.Deliver([&](Application& app) { app.DeliverTyping(box, typed); });
        },
        nullptr);
  }
  int handle(int event) override {
    // A password box takes typed input only: nothing pasted (Ctrl+V, Shift+Insert, the middle
    // button) or dropped reaches it. All of those arrive as one paste event.
    if (mask_ && event == FL_PASTE) return 1;
    if (event == FL_KEYBOARD) {
      int key = Fl::event_key();
      // Enter, Escape and access keys belong to the form.
      if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape || Fl::event_state(FL_ALT)) {
        return 0;
      }
      // A masked box neither copies nor cuts (the toolkit would still delete on a cut).
      if (mask_ && CutOrCopyKey(key)) return 1;
    }
    int used = Fl_Input::handle(event);
    if (event == FL_RELEASE && Fl::event_button() == FL_LEFT_MOUSE) {
      TextBox& box = box_;
      runtime_.Deliver([&](Application& app) { app.DeliverClick(box); });
    }
    return used;
  }

  // The toolkit draws a secret input's characters as bullets; the box asks for its own mask
  // character. For the drawing only, the widget holds one mask character per typed character as
  // plain text, with the cursor and the selection at the same characters, and then gets the typed
  // text back. Editing, the mouse and the clipboard only ever see the secret input.
  void draw() override {
    if (!mask_) return Fl_Input::draw();
    const std::string typed(value(), size());
    const int cursor = position(), other_end = mark();
    const std::string masked(CharactersBefore(typed, size()), mask_);
    const int kind = type();
    type((kind & ~FL_INPUT_TYPE) | FL_NORMAL_INPUT);
    value(masked.data(), static_cast<int>(masked.size()));
    position(CharactersBefore(typed, cursor), CharactersBefore(typed, other_end));
    Fl_Input::draw();
    type(kind);
    value(typed.data(), static_cast<int>(typed.size()));
    position(cursor, other_end);
  }

 private:
  static bool CutOrCopyKey(int key) {
    const bool ctrl = Fl::event_state(FL_CTRL), shift = Fl::event_state(FL_SHIFT);
    return (ctrl && (key == 'c' || key == 'x' || key == FL_Insert)) || (shift && key == FL_Delete);
  }

  Runtime& runtime_;
  TextBox& box_;
  char mask_;
};

// Buttons, check boxes and option buttons report a click; the Application decides values.
template <class Base>
class ClickWidget : public Base {
 public:
  ClickWidget(Runtime& runtime, Control& control, int x, int y, int w, int h)
      : Base(x, y, w, h), runtime_(runtime), control_(control) {
    this->callback([](Fl_Widget* widget, void*) { static_cast<ClickWidget*>(widget)->Clicked(); },
                   nullptr);
  }
  int handle(int event) override {
    if (event == FL_SHORTCUT) return 0;  // access keys are handled by the form
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      return 0;  // Enter belongs to the form, which knows this control has the focus
    }
    return Base::handle(event);
  }
  void draw() override {
    Base::draw();
    auto* button = dynamic_cast<CommandButton*>(&control_);
    if (button && button->is_default) {
      fl_color(FL_BLACK);
      fl_rect(this->x(), this->y(), this->w(), this->h());
    }
  }
  void Clicked() {
    Reflect();
    Control& control = control_;
    runtime_.Deliver([&](Application& app) { app.DeliverClick(control); });
  }
  void Reflect() {
    if (auto* valued = dynamic_cast<ValueControl*>(&control_)) this->value(valued->Value());
  }

 private:
  Runtime& runtime_;
  Control& control_;
};

using ButtonWidget = ClickWidget<Fl_Button>;
using CheckWidget = ClickWidget<Fl_Check_Button>;
using OptionWidget = ClickWidget<Fl_Round_Button>;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Form window input

int FormWindow::handle(int event) {
  if (dead) return 0;
  if (runtime.InputBlocked(this)) {
    switch (event) {
      case FL_PUSH:
      case FL_RELEASE:
      case FL_DRAG:
      case FL_KEYBOARD:
      case FL_SHORTCUT:
      case FL_MOUSEWHEEL:
        return 1;
      default:
        break;
    }
  }
  switch (event) {
    case FL_KEYBOARD:
    case FL_SHORTCUT:
      if (HandleKey()) return 1;
      break;
    case FL_MOVE:
    case FL_ENTER: {
      int used = Fl_Double_Window::handle(event);
      Fl_Widget* below = Fl::belowmouse();
      bool over_form =
          !below || below == this ||
          (dynamic_cast<Fl_Input*>(below) == nullptr && dynamic_cast<Fl_Button*>(below) == nullptr);
      if (over_form) {
        Form& target = form;
        runtime.Deliver([&](Application& app) { app.DeliverMouseMove(target); });
      }
      return event == FL_ENTER ? 1 : used;
    }
    case FL_FOCUS: {
      int used = Fl_Double_Window::handle(event);
      if (!Fl::focus() || Fl::focus() == this) {
        Form& target = form;  // no control took the focus: the form itself has it
        runtime.Deliver([&](Application& app) { app.DeliverGotFocus(target); });
      }
      return used;
    }
    default:
      break;
  }
  return Fl_Double_Window::handle(event);
}

bool FormWindow::HandleKey() {
  int key = Fl::event_key();
  Form& target = form;
  if (key == FL_Enter || key == FL_KP_Enter) {
    Fl_Widget* focus = Fl::focus();
    Control* focused = focus && focus->window() == this && focus != this
                           ? static_cast<Control*>(focus->user_data())
                           : nullptr;
    runtime.Deliver([&](Application& app) { app.DeliverEnter(target, focused); });
    return true;
  }
  if (key == FL_Escape) {
    runtime.Deliver([&](Application& app) { app.DeliverEscape(target); });
    return true;
  }
  if (Fl::event_state(FL_ALT) && key > 0 && key < 128 && std::isalnum(key)) {
    char letter = static_cast<char>(key);
    runtime.Deliver([&](Application& app) { app.DeliverAccessKey(target, letter); });
    return true;  // Alt+letter never reaches anything else
  }
  return false;
}

MessageBoxWindow::MessageBoxWindow(Runtime& runtime, int id, const std::string& title,
                                   const std::string& text, bool own_frame)
    : Fl_Double_Window(100, 100),
      runtime(runtime),
      id(id),
      title(title),
      text(LabelText(text)),
      own_frame(own_frame) {
  constexpr int kMargin = 12, kButtonW = 75, kButtonH = 23, kMaxTextW = 440;
  fl_font(FL_HELVETICA, 12);
  int text_w = kMaxTextW, text_h = 0;
  fl_measure(this->text.c_str(), text_w, text_h, 0);
  if (text_w > kMaxTextW) text_w = kMaxTextW;
  int top = own_frame ? kEdge + kTitleBar + 1 : 0;
  int width = std::max(text_w + 2 * kMargin + 8, kButtonW + 2 * kMargin);
  fl_font(FL_HELVETICA_BOLD, 11);
  width = std::max(width, static_cast<int>(fl_width(title.c_str())) + 48);
  int height = top + kMargin + text_h + kMargin + kButtonH + kMargin;
  size(width, height);
  begin();
  auto* message = new Fl_Box(kMargin, top + kMargin, width - 2 * kMargin, text_h);
  message->label(this->text.c_str());
  message->labelfont(FL_HELVETICA);
  message->labelsize(12);
  message->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP);
  auto* ok =
      new Fl_Button((width - kButtonW) / 2, height - kMargin - kButtonH, kButtonW, kButtonH, "OK");
  ok->labelsize(12);
  ok->callback([](Fl_Widget* w, void*) { static_cast<MessageBoxWindow*>(w->window())->Close(); });
  end();
  copy_label(title.c_str());
  callback([](Fl_Widget* w, void*) { static_cast<MessageBoxWindow*>(w)->Close(); });
}

// ---------------------------------------------------------------------------------------------
// Clock

ScaledClock::ScaledClock(double speed) : speed_(speed), start_(std::chrono::steady_clock::now()) {
  platform::SystemClock system;
  start_of_day_ = system.Timer();
}

float ScaledClock::Timer() {
  std::chrono::duration<double> real = std::chrono::steady_clock::now() - start_;
  return static_cast<float>(std::fmod(start_of_day_ + real.count() * speed_, 86400.0));
}

void ScaledClock::Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds / speed_));
}

double ClockSpeedFromEnvironment() {
  const char* trace = std::getenv("KESTROM_TRACE");
  const char* speed = std::getenv("KESTROM_TEST_CLOCK_SPEED");
  if (!trace || !*trace || !speed) return 1.0;
  // Only ever faster: a slower clock would stretch the prompt's minute.
  const double value = std::strtod(speed, nullptr);
  return value > 1.0 ? value : 1.0;
}

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

Runtime::Runtime() : start_(std::chrono::steady_clock::now()) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) throw std::runtime_error("cannot open the X display");
  // No failed request may end the program (and with it the lock): see x11_errors.h.
  InstallX11ErrorHandler();
  // Every run locks the keyboard as its first action: take it now, before the toolkit's start-up
  // (atoms, input method, fonts) and before any form exists.
  lock_ = std::make_unique<X11KeyboardLock>(display);
  lock_->TakeEarly();
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
}

Runtime::~Runtime() {
  lock_->Release();
  cover_.reset();
  Fl::remove_timeout(OnGuardTick, this);
  Fl::remove_timeout(OnPointerRetry, this);
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
    Fl_Widget* widget = nullptr;
    switch (control->kind()) {
      case ControlKind::Label:
        widget = new LabelWidget(x, y, w, h);
        break;
      case ControlKind::TextBox: {
        auto* input = new TextWidget(*this, static_cast<TextBox&>(*control), x, y, w, h);
        input->textfont(FL_HELVETICA);
        input->textsize(FontPixels(control->font_size));
        input->value(static_cast<TextBox&>(*control).Text().c_str());
        widget = input;
        break;
      }
      case ControlKind::CommandButton:
        widget = new ButtonWidget(*this, *control, x, y, w, h);
        break;
      case ControlKind::CheckBox:
        widget = new CheckWidget(*this, *control, x, y, w, h);
        widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);  // long captions wrap
        break;
      case ControlKind::OptionButton:
        widget = new OptionWidget(*this, *control, x, y, w, h);
        widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        break;
      case ControlKind::Image:
        widget = new ImageWidget(x, y, w, h, static_cast<Image&>(*control).picture);
        break;
      case ControlKind::Shape:
        widget = new ShapeWidget(x, y, w, h);
        break;
      case ControlKind::Line:
        widget = new LineWidget(x, y, x + w, y + h);
        break;
    }
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
  shown_order_.erase(std::remove(shown_order_.begin(), shown_order_.end(), &window),
                     shown_order_.end());
  shown_order_.push_back(&window);
  bool first_map = !window.shown();
  ShowWithFrameHints(window, display_, form.border != BorderStyle::Sizable, form.show_in_taskbar);
  if (first_map) DecorateNew(window);
  if (form.lock_screen) {
    Cover(window,
          window.placed ? window.place : CoverRect{window.x(), window.y(), window.w(), window.h()});
  }
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
  // The unload may come from a handler running inside this very window's callback.
  Fl::delete_widget(window);
  LockWindowsChanged();
  ScheduleCheck();
}

void Runtime::PlaceTopmost(Form& form, int x, int y, int width, int height) {
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

// ---------------------------------------------------------------------------------------------
// Keeping the lock windows in place

bool Runtime::LockWindowUp() const {
  for (auto& [form, window] : windows_) {
    if (form->lock_screen && window->wanted && window->shown()) return true;
  }
  return false;
}

Window Runtime::FocusTarget() const {
  for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
    if ((*it)->shown()) return fl_xid(*it);
  }
  for (auto it = shown_order_.rbegin(); it != shown_order_.rend(); ++it) {
    if ((*it)->wanted && (*it)->shown()) return fl_xid(*it);
  }
  return 0;
}

// A lock window, or a message box over one, is on screen: painted at once and kept in place.
void Runtime::Cover(Fl_Window& window, const CoverRect& rect) {
  const Window xid = fl_xid(&window);
  // The server paints the background the moment the window maps or is exposed, so the desktop
  // never shows through while the toolkit has yet to draw.
  XSetWindowBackground(display_, xid, fl_xpixel(FL_BACKGROUND_COLOR));
  XClearWindow(display_, xid);
  covered_[xid] = &window;
  cover_->Keep(xid, rect);
  window.redraw();
  Fl::flush();
}

void Runtime::Uncover(Fl_Window& window) {
  for (auto it = covered_.begin(); it != covered_.end(); ++it) {
    if (it->second != &window) continue;
    cover_->Forget(it->first);
    covered_.erase(it);
    return;
  }
}

// Another client destroyed a covering window: make it again where it was.
void Runtime::Recreate(Window xid, const CoverRect& rect) {
  const auto it = covered_.find(xid);
  if (it == covered_.end()) return;
  Fl_Window* window = it->second;
  covered_.erase(it);
  // The toolkit's half of the window, if it still has one; the server's half is gone already.
  if (window->shown()) window->hide();
  window->resize(rect.x, rect.y, rect.width, rect.height);
  window->show();
  if (auto* form_window = dynamic_cast<FormWindow*>(window)) DecorateNew(*form_window);
  if (auto* box = dynamic_cast<MessageBoxWindow*>(window)) {
    NameWindow(display_, fl_xid(box), box->title.c_str());
  }
  Cover(*window, rect);
  ScheduleCheck();
}

void Runtime::LockWindowsChanged() {
  bool full = false;
  for (auto& [form, window] : windows_) {
    if (form->lock_screen && window->wanted && window->shown()) full = full || window->full_screen;
  }
  // The full-screen lock holds the pointer too; the taskbar lock and the lockout leave the strip
  // at the bottom usable. When another client holds the pointer, the grab is tried again soon,
  // with the screen already covered and the lock's keys working meanwhile.
  lock_->WantPointer(full);
  pointer_retries_ = 0;
  Fl::remove_timeout(OnPointerRetry, this);
  if (lock_->PointerMissing()) Fl::add_timeout(kPointerRetrySeconds, OnPointerRetry, this);
}

void Runtime::OnPointerRetry(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  self.lock_->RetryPointer();
  // After about a second the guard tick goes on trying.
  if (self.lock_->PointerMissing() && ++self.pointer_retries_ < kPointerRetries) {
    Fl::repeat_timeout(kPointerRetrySeconds, OnPointerRetry, data);
  }
}

void Runtime::ScheduleCheck() {
  if (check_scheduled_) return;
  check_scheduled_ = true;
  Fl::add_timeout(0.0, OnDeferredCheck, this);
}

void Runtime::OnDeferredCheck(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  self.check_scheduled_ = false;
  self.KeepLockWindows();
  if (self.lock_->Engaged()) self.lock_->Reassert();
  self.KeepFocus();
  XFlush(self.display_);
}

void Runtime::OnGuardTick(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  Fl::repeat_timeout(kGuardTickSeconds, OnGuardTick, data);
  if (!self.lock_->Engaged() && !self.LockWindowUp()) return;
  if (++self.guard_ticks_ % kGuardTicksPerFullCheck != 0) {
    self.lock_->RetryPointer();
    return;
  }
  OnDeferredCheck(data);
}

void Runtime::KeepLockWindows() {
  cover_->Check();
  if (!lock_->Engaged()) return;
  // While the keyboard is locked, a form of ours that another client unmapped or iconified (the
  // prompt, say) is put back.
  for (FormWindow* window : shown_order_) {
    if (!window->wanted || !window->shown() || window->form.lock_screen) continue;
    const Window xid = fl_xid(window);
    if (!WindowViewable(display_, xid)) XMapRaised(display_, xid);
  }
}

void Runtime::KeepFocus() {
  if (!lock_->Engaged()) return;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  Window target = FocusTarget();
  if (!target) return;
  bool ours = focus > PointerRoot && fl_find(focus) != nullptr;
  if (ours && (boxes_.empty() || focus == target)) return;
  // The window manager gave the focus to another window: the grab still sends us the keys, but
  // reported on the root, where the toolkit drops them. Take the focus back.
  if (WindowViewable(display_, target))
    XSetInputFocus(display_, target, RevertToParent, CurrentTime);
}

void Runtime::FollowScreenSize() {
  int width = 0, height = 0;
  RootSize(display_, width, height);
  if (width == screen_width_ && height == screen_height_) return;
  screen_width_ = width;
  screen_height_ = height;
  // A full-screen lock stays full-screen; one that left a strip for the taskbar keeps the strip's
  // height and takes the new width.
  for (auto& [form, window] : windows_) {
    if (!window->placed) continue;
    int h = window->full_screen ? height : std::max(1, height - window->strip);
    window->place = {0, 0, width, h};
    window->resize(0, 0, width, h);
    if (window->shown() && cover_->Keeping(fl_xid(window.get()))) {
      cover_->Keep(fl_xid(window.get()), window->place);
    }
  }
  LockWindowsChanged();
  ScheduleCheck();
}

bool Runtime::OnXEvent(const XEvent& event) {
  if (lock_->OnEvent(event)) return true;
  if (cover_->Concerns(event)) ScheduleCheck();
  const Window root = DefaultRootWindow(display_);
  switch (event.type) {
    case FocusIn:
    case FocusOut:
      if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) {
        // Our own grab coming or going is no change of focus for the widgets. A release we did
        // not ask for (a toolkit popup closing) is taken back at once.
        if (event.xfocus.mode == NotifyUngrab && lock_->Engaged()) ScheduleCheck();
        return true;
      }
      if (event.type == FocusOut && lock_->Engaged()) ScheduleCheck();
      return false;
    case MapNotify:
    case UnmapNotify:
    case ConfigureNotify:
    case CreateNotify:
    case DestroyNotify:
    case ReparentNotify:
    case CirculateNotify:
    case GravityNotify:
      if (event.xany.window == root || event.xany.window == cover_->CoverParent()) {
        if (event.type == ConfigureNotify && event.xconfigure.window == root) {
          FollowScreenSize();
          return false;
        }
        // Reported only because the covering windows' parent is watched: nothing for the
        // toolkit.
        return true;
      }
      if (event.type == UnmapNotify) ScheduleCheck();
      if (event.type == MapNotify) {
        // Override-redirect windows get no focus from the window manager: give it.
        Fl_Window* window = fl_find(event.xmap.window);
        if (window && window->override() && fl_xid(window) == FocusTarget()) {
          XSetInputFocus(display_, event.xmap.window, RevertToParent, CurrentTime);
        }
        ScheduleCheck();
      }
      return false;
    default:
      return false;
  }
}

}  // namespace vellomar::ui::fltk
