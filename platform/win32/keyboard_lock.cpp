#include "platform/win32/keyboard_lock.h"

#include "platform/errors.h"
#include "platform/win32/key_filter.h"

// Win32 after our own headers: its macros rename functions the platform interfaces declare.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vellomar::platform::win32 {
namespace {

LRESULT CALLBACK LowLevelKeyboard(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
    const HookedKey key{.virtual_key = static_cast<unsigned>(event->vkCode),
                        .alt_flag = (event->flags & LLKHF_ALTDOWN) != 0,
                        .alt_state = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0,
                        .ctrl_down = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0,
                        .injected = (event->flags & LLKHF_INJECTED) != 0};
    if (SwallowKey(key)) return 1;
  }
  return CallNextHookEx(nullptr, code, message, data);
}

// What the hook thread reports back before its loop starts.
struct HookStart {
  HANDLE ready = nullptr;
  bool installed = false;
};

DWORD WINAPI HookThread(void* data) {
  auto* start = static_cast<HookStart*>(data);
  MSG message;
  // The thread's message queue exists from here on, so the stop request cannot be lost.
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, LowLevelKeyboard, GetModuleHandleA(nullptr), 0);
  start->installed = hook != nullptr;
  SetEvent(start->ready);  // `start` belongs to the caller and is gone after this
  if (hook == nullptr) return 1;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    DispatchMessageA(&message);
  }
  UnhookWindowsHookEx(hook);
  return 0;
}

}  // namespace

Win32KeyboardLock::~Win32KeyboardLock() {
  Release();
}

void Win32KeyboardLock::Engage() {
  if (engaged_) return;
  BOOL previous = FALSE;
  screen_saver_set_ = SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &previous, 0) != 0;
  const bool hooked = StartHook();
  if (!hooked && !screen_saver_set_) {
    throw RuntimeError(errc::kKeyboardLockUnavailable,
                       "the keyboard lock is not available on this system");
  }
  engaged_ = true;
}

void Win32KeyboardLock::Release() {
  if (!engaged_) return;
  StopHook();
  if (screen_saver_set_) {
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &previous, 0);
    screen_saver_set_ = false;
  }
  engaged_ = false;
}

bool Win32KeyboardLock::StartHook() {
  HookStart start;
  start.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (start.ready == nullptr) return false;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, HookThread, &start, 0, &id);
  if (thread == nullptr) {
    CloseHandle(start.ready);
    return false;
  }
  WaitForSingleObject(start.ready, INFINITE);
  CloseHandle(start.ready);
  if (!start.installed) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return false;
  }
  hook_thread_ = thread;
  hook_thread_id_ = id;
  return true;
}

void Win32KeyboardLock::StopHook() {
  if (hook_thread_ == nullptr) return;
  PostThreadMessageA(hook_thread_id_, WM_QUIT, 0, 0);
  WaitForSingleObject(hook_thread_, INFINITE);
  CloseHandle(hook_thread_);
  hook_thread_ = nullptr;
  hook_thread_id_ = 0;
}

}  // namespace vellomar::platform::win32
