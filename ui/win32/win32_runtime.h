#pragma once
// The Win32 runtime. Its files: win32_runtime.cpp (form windows, timers, message boxes, the
// event loop), win32_controls.cpp (the controls, what they draw, and their keys, clicks and typing
// turned into the Application's Deliver* calls). Only ui/win32/ includes this header; the program
// makes the runtime through MakeWin32Backend.
//
// Events are only ever delivered from the runtime's message loops (WaitForEvents,
// ProcessPendingEvents, and the loop inside an open MessageBoxA), never from inside a call the
// Application makes: Win32 sends some messages synchronously (activation and focus while a
// window is shown, a text change while the program sets a text), and those are either echoes of
// the program's own change (dropped) or posted back to the loop.

#include <chrono>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/win32/keyboard_lock.h"
#include "ui/application.h"

// Win32 after the form model and the platform interfaces: its macros rename functions they
// declare.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vellomar::ui::win32 {

inline constexpr double kTwipsPerPixel = 15.0;
inline constexpr int kPictureSize = 32;       // every picture of ours is 32 x 32
inline constexpr int kSmallestFitPoints = 6;  // a label's text is never made smaller
inline constexpr int kFrameClearance = 4;     // pixels between a label's text and its frame
int Pixels(int twips);

class Runtime : public Backend {
 public:
  Runtime();
  ~Runtime() override;
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  void Attach(Application& app) override { app_ = &app; }
  void Detach() override { app_ = nullptr; }
  platform::Clock& clock() override { return clock_; }
  platform::KeyboardLock& keyboard_lock() override { return lock_; }
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

  // Window procedures (static, they find the runtime through the one instance).
  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ServiceProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK BoxIconHook(int code, WPARAM wparam, LPARAM lparam);

 private:
  struct FormWindow {
    HWND hwnd = nullptr;
    HWND last_focus = nullptr;  // the control that had the focus, given back on activation
    bool placed = false;        // a lock screen PlaceTopmost put somewhere: it stays there
    RECT place{};
  };
  struct QueuedBox {
    int id = 0;
    std::string title;
    std::string text;
  };

  // Runs one Application::Deliver* call from a message loop: counts it as a delivered event,
  // keeps anything it throws for the loop, and closes the open message boxes once the program
  // has ended so that their loops give control back. Inside a call from the Application it is
  // posted to the loop instead.
  void Deliver(std::function<void(Application&)> call);
  void DeliverLater(std::function<void(Application&)> call);
  void RethrowPending();
  // One message from a loop: our own keys first, then the usual translate and dispatch.
  void Handle(MSG& message);
  bool HandleKey(const MSG& message);
  void MoveFocus(Form& form, bool backwards);
  void RunMessageBox(const QueuedBox& box);
  void AbandonMessageBoxes();

  // Forms and controls by window handle.
  Form* FormOf(HWND hwnd) const;
  Control* ControlOf(HWND hwnd) const;
  FormWindow* Find(const Form& form);
  FormWindow& WindowFor(Form& form);
  void Build(Form& form, HWND parent);
  HWND MakeControl(Control& control, HWND parent, int id);
  void UpdateControl(Control& control, Property property);
  HFONT Font(int points, bool bold);
  // The control's font; for a label the size at which `caption` fits its rectangle.
  HFONT FontFor(const Control& control, const std::string& caption);
  LRESULT OnFormMessage(Form& form, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnControlMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void OnCommand(HWND control_hwnd, int code);
  void RepaintBeneath(const Control& control);
  void PaintDecoration(Form& form, HDC dc);
  // Our pictures as 32-bit top-down DIB rows (transparent parts in the dialog colour) and as
  // icons; made on first use, kept until the runtime goes.
  const std::vector<std::uint32_t>* PictureBits(Picture picture);
  HICON PictureIcon(Picture picture);
  // The window icon of `form` (null: of a window that is no form of ours), and setting one.
  HICON WindowIcon(const Form* form);
  static void SetIcon(HWND hwnd, HICON icon);
  void DestroyPictures();
  void DrawPicture(const Image& image, const DRAWITEMSTRUCT& item);
  void OnTimer(UINT_PTR id);
  // A lock screen, or a form that holds the desktop (the timed prompt), while the keyboard is
  // locked: it cannot be minimised and takes the activation back from any other program.
  bool HoldsDesktop(const Form& form) const;
  // Restores `hwnd` when minimised and brings it (or the message box open over it) to the front.
  void TakeDesktopBack(HWND hwnd);

  static Runtime* current_;  // the one runtime, for the window procedures

  Application* app_ = nullptr;
  platform::SystemClock clock_;
  platform::win32::Win32KeyboardLock lock_;
  std::chrono::steady_clock::time_point start_;
  HINSTANCE instance_ = nullptr;
  HWND service_ = nullptr;  // a hidden window: timers, posted deliveries, owner of tool forms
  std::map<const Form*, FormWindow> windows_;
  std::map<HWND, Form*> forms_by_window_;
  std::map<HWND, Control*> controls_by_window_;
  std::map<const Control*, HWND> windows_by_control_;
  std::map<UINT_PTR, Timer*> timers_by_id_;
  std::map<const Timer*, UINT_PTR> ids_by_timer_;
  UINT_PTR next_timer_id_ = 1;
  std::map<std::pair<int, bool>, HFONT> fonts_;
  std::map<Picture, std::vector<std::uint32_t>> picture_bits_;
  std::map<Picture, HICON> picture_icons_;
  HICON box_icon_ = nullptr;  // the icon of the message box about to open
  std::deque<QueuedBox> boxes_to_open_;
  int boxes_open_ = 0;
  bool abandoning_boxes_ = false;
  std::deque<std::function<void(Application&)>> posted_;
  int in_call_ = 0;            // inside a call from the Application: nothing is delivered
  bool setting_text_ = false;  // the program is changing a text box: its change is no typing
  long delivered_ = 0;
  std::exception_ptr pending_;
};

}  // namespace vellomar::ui::win32
