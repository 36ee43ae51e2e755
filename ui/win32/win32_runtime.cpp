#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "ui/win32/command_tail.h"
#include "ui/win32/win32_backend.h"
#include "ui/win32/win32_runtime.h"

namespace vellomar::ui::win32 {
namespace {

constexpr char kFormClass[] = "VellomarForm";
constexpr char kServiceClass[] = "VellomarService";
// Posted to the service window: run the oldest delivery that arrived inside a call from the
// Application.
constexpr UINT kRunPosted = WM_APP + 1;
// Posted to a form window that took the focus itself: is it still there?
constexpr UINT kFormFocusCheck = WM_APP + 2;
// Posted to a form that holds the desktop when it was minimised or another program took the
// activation: restore it and take the activation back.
constexpr UINT kHoldDesktop = WM_APP + 3;

// Collects the dialogs of this thread for OwnMessageBoxes. A named CALLBACK function: on 32-bit
// Windows a lambda does not convert to the stdcall pointer EnumThreadWindows takes.
BOOL CALLBACK CollectDialog(HWND hwnd, LPARAM boxes) {
  char name[16] = {};
  GetClassNameA(hwnd, name, sizeof name);
  if (std::string(name) == "#32770") reinterpret_cast<std::vector<HWND>*>(boxes)->push_back(hwnd);
  return TRUE;
}

// Our message boxes: the only dialogs of this thread.
std::vector<HWND> OwnMessageBoxes() {
  std::vector<HWND> boxes;
  EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&boxes));
  return boxes;
}

// Sets a counter for the lifetime of a call from the Application.
class CallScope {
 public:
  explicit CallScope(int& depth) : depth_(depth) { ++depth_; }
  ~CallScope() { --depth_; }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

Runtime* Runtime::current_ = nullptr;

int Pixels(int twips) {
  return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

Runtime::Runtime()
    : start_(std::chrono::steady_clock::now()), instance_(GetModuleHandleA(nullptr)) {
  if (current_ != nullptr) throw std::runtime_error("the Win32 runtime exists already");
  WNDCLASSA form_class{};
  form_class.lpfnWndProc = FormProc;
  form_class.hInstance = instance_;
  form_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kFormClass;
  WNDCLASSA service_class{};
  service_class.lpfnWndProc = ServiceProc;
  service_class.hInstance = instance_;
  service_class.lpszClassName = kServiceClass;
  if (!RegisterClassA(&form_class) || !RegisterClassA(&service_class)) {
    throw std::runtime_error("cannot register the window classes");
  }
  // Hidden, never shown: it owns the forms that get no taskbar button.
  service_ = CreateWindowExA(0, kServiceClass, "kestrom", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             instance_, nullptr);
  if (service_ == nullptr) throw std::runtime_error("cannot create the service window");
  current_ = this;
}

Runtime::~Runtime() {
  lock_.Release();
  for (auto& [id, timer] : timers_by_id_) KillTimer(service_, id);
  for (auto& [form, window] : windows_) ::DestroyWindow(window.hwnd);
  ::DestroyWindow(service_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
  DestroyPictures();
  current_ = nullptr;
  UnregisterClassA(kFormClass, instance_);
  UnregisterClassA(kServiceClass, instance_);
}

ScreenMetrics Runtime::Screen() {
  ScreenMetrics metrics;
  metrics.width_twips = GetSystemMetrics(SM_CXSCREEN) * 15;
  metrics.height_twips = GetSystemMetrics(SM_CYSCREEN) * 15;
  return metrics;
}

long Runtime::ElapsedMs() {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start_)
                               .count());
}

// ---------------------------------------------------------------------------------------------
// Delivering events

void Runtime::Deliver(std::function<void(Application&)> call) {
  if (in_call_ > 0) {
    DeliverLater(std::move(call));
    return;
  }
  ++delivered_;
  if (app_ == nullptr) return;
  try {
    call(*app_);
  } catch (...) {
    // Carried past the system's frames to the loop that fetched the message.
    if (!pending_) pending_ = std::current_exception();
  }
  // A message box runs its own loop, which only its OK ends: once the program is over, the boxes
  // still open are closed so that control comes back to the loops that end it.
  if (boxes_open_ > 0 && (pending_ || (app_ != nullptr && app_->Ended()))) AbandonMessageBoxes();
}

void Runtime::DeliverLater(std::function<void(Application&)> call) {
  posted_.push_back(std::move(call));
  PostMessageA(service_, kRunPosted, 0, 0);
}

void Runtime::RethrowPending() {
  if (!pending_) return;
  std::exception_ptr error = pending_;
  pending_ = nullptr;
  std::rethrow_exception(error);
}

LRESULT CALLBACK Runtime::ServiceProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Runtime* self = current_;
  if (self == nullptr || hwnd != self->service_) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  switch (message) {
    case WM_TIMER:
      self->OnTimer(wparam);
      return 0;
    case kRunPosted:
      if (!self->posted_.empty()) {
        std::function<void(Application&)> call = std::move(self->posted_.front());
        self->posted_.pop_front();
        self->Deliver(std::move(call));
      }
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

// ---------------------------------------------------------------------------------------------
// Form windows

Form* Runtime::FormOf(HWND hwnd) const {
  auto it = forms_by_window_.find(hwnd);
  return it == forms_by_window_.end() ? nullptr : it->second;
}

Control* Runtime::ControlOf(HWND hwnd) const {
  auto it = controls_by_window_.find(hwnd);
  return it == controls_by_window_.end() ? nullptr : it->second;
}

Runtime::FormWindow* Runtime::Find(const Form& form) {
  auto it = windows_.find(&form);
  return it == windows_.end() ? nullptr : &it->second;
}

Runtime::FormWindow& Runtime::WindowFor(Form& form) {
  if (FormWindow* existing = Find(form)) return *existing;
  DWORD style = 0, ex_style = 0;
  HWND owner = form.show_in_taskbar ? nullptr : service_;  // an owned window has no button
  if (form.lock_screen) {
    // Placed over the screen by PlaceTopmost; a caption only when the form has a border.
    style = WS_POPUP | (form.border == BorderStyle::None ? 0 : WS_CAPTION | WS_SYSMENU);
    ex_style = WS_EX_TOPMOST;
  } else if (form.border == BorderStyle::Sizable) {
    style = WS_OVERLAPPEDWINDOW;
  } else if (form.border == BorderStyle::None) {
    style = WS_POPUP;
  } else {
    style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    if (form.border == BorderStyle::FixedDialog && form.icon == Picture::None) {
      ex_style |= WS_EX_DLGMODALFRAME;
    }
  }
  RECT outer{0, 0, Pixels(form.client_width), Pixels(form.client_height)};
  AdjustWindowRectEx(&outer, style, FALSE, ex_style);
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (form.centered) {
    x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  }
  HWND hwnd = CreateWindowExA(ex_style, kFormClass, form.Caption().c_str(), style, x, y, width,
                              height, owner, nullptr, instance_, nullptr);
  if (hwnd == nullptr) throw std::runtime_error("cannot create the window of " + form.name());
  FormWindow& window = windows_[&form];
  window.hwnd = hwnd;
  forms_by_window_[hwnd] = &form;
  SetIcon(hwnd, WindowIcon(&form));
  // The window menu offers what the frame does: without a sizing border it has no size,
  // minimise, maximise or restore item (Windows would only grey them).
  if ((style & WS_THICKFRAME) == 0) {
    if (HMENU menu = GetSystemMenu(hwnd, FALSE)) {
      for (const UINT item :
           {UINT{SC_SIZE}, UINT{SC_MINIMIZE}, UINT{SC_MAXIMIZE}, UINT{SC_RESTORE}}) {
        DeleteMenu(menu, item, MF_BYCOMMAND);
      }
    }
  }
  Build(form, hwnd);
  return window;
}

void Runtime::ShowWindow(Form& form) {
  CallScope scope(in_call_);
  HWND hwnd = WindowFor(form).hwnd;
  ::ShowWindow(hwnd, SW_SHOW);
  // In front of every other program's window, not only of ours (the Setup report over a window
  // that took the activation meanwhile).
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(hwnd);
}

void Runtime::HideWindow(Form& form) {
  CallScope scope(in_call_);
  if (FormWindow* window = Find(form)) ::ShowWindow(window->hwnd, SW_HIDE);
}

void Runtime::DestroyWindow(Form& form) {
  CallScope scope(in_call_);
  FormWindow* window = Find(form);
  if (window == nullptr) return;
  for (Timer* timer : form.timers()) {
    auto id = ids_by_timer_.find(timer);
    if (id != ids_by_timer_.end()) KillTimer(service_, id->second);
  }
  for (Control* control : form.controls()) {
    auto it = windows_by_control_.find(control);
    if (it == windows_by_control_.end()) continue;
    controls_by_window_.erase(it->second);
    windows_by_control_.erase(it);
  }
  HWND hwnd = window->hwnd;
  forms_by_window_.erase(hwnd);
  windows_.erase(&form);
  // The unload may come from a handler running inside this window's own procedure: the
  // procedure touches nothing of the window after the handler returns.
  ::DestroyWindow(hwnd);
}

void Runtime::PlaceTopmost(Form& form, int x, int y, int width, int height) {
  CallScope scope(in_call_);
  FormWindow& window = WindowFor(form);
  window.placed = form.lock_screen;
  window.place = {x, y, x + width, y + height};
  SetWindowPos(window.hwnd, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void Runtime::FormChanged(Form& form) {
  CallScope scope(in_call_);
  if (FormWindow* window = Find(form)) SetWindowTextA(window->hwnd, form.Caption().c_str());
}

void Runtime::ControlChanged(Control& control, Property property) {
  CallScope scope(in_call_);
  UpdateControl(control, property);
}

void Runtime::SetFocus(Control& control) {
  CallScope scope(in_call_);
  auto it = windows_by_control_.find(&control);
  if (it != windows_by_control_.end() && GetFocus() != it->second) ::SetFocus(it->second);
}

LRESULT CALLBACK Runtime::FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Runtime* self = current_;
  Form* form = self != nullptr ? self->FormOf(hwnd) : nullptr;
  if (form == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
  return self->OnFormMessage(*form, hwnd, message, wparam, lparam);
}

// After a Deliver call nothing here touches the window: the handler may have unloaded it.
LRESULT Runtime::OnFormMessage(Form& form, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:  // close box, Alt+F4, the system menu: the form decides
      Deliver([&form](Application& app) { app.DeliverClose(form, 0); });
      return 0;
    case WM_QUERYENDSESSION:  // Windows shutting down
      Deliver([&form](Application& app) { app.DeliverClose(form, 2); });
      return TRUE;
    case WM_COMMAND:
      if (lparam != 0) OnCommand(reinterpret_cast<HWND>(lparam), HIWORD(wparam));
      return 0;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      // Labels are see-through, as the form model's are: a frame drawn by the form beneath one
      // stays visible. Whoever changes a label repaints the form beneath it first.
      if (dynamic_cast<Label*>(ControlOf(reinterpret_cast<HWND>(lparam))) != nullptr) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (auto* image = dynamic_cast<Image*>(ControlOf(item.hwndItem))) DrawPicture(*image, item);
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      PaintDecoration(form, dc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_ACTIVATE:
      // As a dialog does: the control that had the focus gets it back, else the first in tab
      // order takes it; only a form without either keeps the focus itself.
      if (LOWORD(wparam) != WA_INACTIVE && HIWORD(wparam) == 0) {
        HWND target = Find(form)->last_focus;
        if (target == nullptr || !IsWindow(target) || !IsWindowVisible(target) ||
            !IsWindowEnabled(target)) {
          Control* first = Application::FirstInTabOrder(form);
          auto it = first != nullptr ? windows_by_control_.find(first) : windows_by_control_.end();
          target = it != windows_by_control_.end() ? it->second : nullptr;
        }
        if (target != nullptr) {
          ::SetFocus(target);
          return 0;
        }
      }
      break;
    case WM_SETFOCUS:
      // The form itself has the focus. Looked at again from the loop: activation passes the
      // focus through the form on its way to a control.
      PostMessageA(hwnd, kFormFocusCheck, 0, 0);
      return 0;
    case kFormFocusCheck:
      if (GetFocus() == hwnd) {
        Deliver([&form](Application& app) { app.DeliverGotFocus(form); });
      }
      return 0;
    case WM_MOUSEMOVE:  // over the form or a label or picture (they let the mouse through)
      Deliver([&form](Application& app) { app.DeliverMouseMove(form); });
      return 0;
    case WM_WINDOWPOSCHANGING: {
      // A placed lock screen keeps its place and its top-most rank, whoever moves it.
      const FormWindow& window = *Find(form);
      if (!window.placed) break;
      auto& pos = *reinterpret_cast<WINDOWPOS*>(lparam);
      if ((pos.flags & SWP_NOMOVE) == 0) {
        pos.x = window.place.left;
        pos.y = window.place.top;
      }
      if ((pos.flags & SWP_NOSIZE) == 0) {
        pos.cx = window.place.right - window.place.left;
        pos.cy = window.place.bottom - window.place.top;
      }
      if ((pos.flags & SWP_NOZORDER) == 0) pos.hwndInsertAfter = HWND_TOPMOST;
      break;
    }
    case WM_SIZE:
      // Minimised all the same (by the window manager's button, or by another program).
      if (wparam == SIZE_MINIMIZED && HoldsDesktop(form)) PostMessageA(hwnd, kHoldDesktop, 0, 0);
      break;
    case WM_ACTIVATEAPP:
      // Another program took the activation: take it back at once, not at the next focus tick.
      if (wparam == FALSE && HoldsDesktop(form) && IsWindowVisible(hwnd)) {
        PostMessageA(hwnd, kHoldDesktop, 0, 0);
      }
      break;
    case kHoldDesktop:
      if (HoldsDesktop(form) && IsWindowVisible(hwnd)) TakeDesktopBack(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_MINIMIZE && HoldsDesktop(form)) return 0;
      // A lock screen is neither moved, sized nor minimised.
      if (form.lock_screen) {
        switch (wparam & 0xFFF0) {
          case SC_MOVE:
          case SC_SIZE:
          case SC_MINIMIZE:
          case SC_MAXIMIZE:
          case SC_RESTORE:
            return 0;
          default:
            break;
        }
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool Runtime::HoldsDesktop(const Form& form) const {
  return (form.lock_screen || form.holds_desktop) && lock_.Engaged();
}

void Runtime::TakeDesktopBack(HWND hwnd) {
  if (IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
  // An open message box of ours stays in front of the form it belongs to.
  HWND front = hwnd;
  if (boxes_open_ > 0) {
    for (HWND box : OwnMessageBoxes()) {
      if (IsWindowVisible(box)) front = box;
    }
  }
  if (GetForegroundWindow() != front) {
    SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(front);
  }
}

// ---------------------------------------------------------------------------------------------
// Timers

void Runtime::TimerChanged(Timer& timer) {
  CallScope scope(in_call_);
  auto it = ids_by_timer_.find(&timer);
  if (it == ids_by_timer_.end()) {
    it = ids_by_timer_.emplace(&timer, next_timer_id_++).first;
    timers_by_id_[it->second] = &timer;
  }
  KillTimer(service_, it->second);
  // WM_TIMER is made when the queue is read, once however many periods passed: ticks missed
  // while a handler was busy are dropped, as the form model asks.
  if (timer.Running()) {
    SetTimer(service_, it->second, static_cast<UINT>(std::max(timer.Interval(), 10)), nullptr);
  }
}

void Runtime::OnTimer(UINT_PTR id) {
  auto it = timers_by_id_.find(id);
  if (it == timers_by_id_.end()) return;
  Timer& timer = *it->second;
  if (!timer.Running()) {
    KillTimer(service_, id);
    return;
  }
  Deliver([&timer](Application& app) { app.DeliverTimer(timer); });
}

// ---------------------------------------------------------------------------------------------
// Message boxes and the event loop

void Runtime::OpenMessageBox(int id, const std::string& title, const std::string& text) {
  // MessageBoxA runs its own loop until OK: it is opened by the loop the Application enters
  // right after this call, so that the events inside it are delivered from a loop as well.
  boxes_to_open_.push_back({id, title, text});
}

HICON Runtime::WindowIcon(const Form* form) {
  // A form drawn without a picture of its own shows the program's, the padlock.
  return PictureIcon(form != nullptr && form->icon != Picture::None ? form->icon
                                                                    : Picture::Padlock);
}

void Runtime::SetIcon(HWND hwnd, HICON icon) {
  if (icon == nullptr) return;
  SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

// A message box is about to be activated: it takes the icon of the form it opens over.
LRESULT CALLBACK Runtime::BoxIconHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && current_ != nullptr) {
    const HWND hwnd = reinterpret_cast<HWND>(wparam);
    char name[16] = {};
    GetClassNameA(hwnd, name, sizeof name);
    if (std::string(name) == "#32770") SetIcon(hwnd, current_->box_icon_);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void Runtime::RunMessageBox(const QueuedBox& box) {
  ++boxes_open_;
  HWND active = GetActiveWindow();
  box_icon_ = WindowIcon(FormOf(active));
  HHOOK hook = SetWindowsHookExA(WH_CBT, BoxIconHook, nullptr, GetCurrentThreadId());
  // Task-modal: every window of ours takes no input meanwhile. Top-most: over a lock screen.
  MessageBoxA(nullptr, box.text.c_str(), box.title.c_str(),
              MB_OK | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND);
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  --boxes_open_;
  // A box without an owner hands the activation to no one in particular: the window that had it
  // gets it back, and with it the keyboard.
  if (active != nullptr && IsWindow(active) && IsWindowVisible(active)) {
    SetForegroundWindow(active);
  }
  if (abandoning_boxes_) {
    // Closed by us because the program ended: not the user's OK.
    if (boxes_open_ == 0) abandoning_boxes_ = false;
    ++delivered_;
    return;
  }
  const int id = box.id;
  Deliver([id](Application& app) { app.DeliverMessageBoxClosed(id); });
}

void Runtime::AbandonMessageBoxes() {
  if (abandoning_boxes_) return;
  abandoning_boxes_ = true;
  for (HWND box : OwnMessageBoxes()) PostMessageA(box, WM_COMMAND, IDOK, 0);
}

void Runtime::Handle(MSG& message) {
  if (HandleKey(message)) return;
  TranslateMessage(&message);
  DispatchMessageA(&message);
}

void Runtime::WaitForEvents() {
  RethrowPending();
  if (!boxes_to_open_.empty()) {
    const QueuedBox box = boxes_to_open_.front();
    boxes_to_open_.pop_front();
    RunMessageBox(box);
    RethrowPending();
    return;
  }
  const long before = delivered_;
  while (delivered_ == before) {
    MSG message;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) throw std::runtime_error("the message queue was closed");
    if (got < 0) throw std::runtime_error("cannot read the message queue");
    Handle(message);
    RethrowPending();
  }
}

void Runtime::ProcessPendingEvents() {
  RethrowPending();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that ends
      break;
    }
    Handle(message);
  }
  GdiFlush();
  RethrowPending();
}

}  // namespace vellomar::ui::win32

namespace vellomar::ui {

std::unique_ptr<Backend> MakeWin32Backend() {
  return std::make_unique<win32::Runtime>();
}

std::string Win32CommandLine() {
  return win32::CommandTail(GetCommandLineA());
}

}  // namespace vellomar::ui
