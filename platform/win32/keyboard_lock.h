#pragma once
// The keyboard lock on Windows. Engaging does two things, each where it works:
// - SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE): Windows 95/98 then refuses
//   Ctrl+Alt+Del, Alt+Tab and Ctrl+Esc; NT-family Windows accepts the call and ignores it;
// - a low-level keyboard hook (NT family) that swallows Alt+Tab, Alt+Esc, Ctrl+Esc, the
//   Windows keys and every key another program injected (platform/win32/key_filter.h).
//   Ctrl+Alt+Del, the secure-attention key, is handled by the system before any hook and cannot
//   be refused on NT.
// The hook runs on a thread of its own with its own message loop, so the program's waits (which
// process no messages) never stall the keyboard or get the hook dropped by the system.

#include "platform/keyboard_lock.h"

namespace vellomar::platform::win32 {

class Win32KeyboardLock : public KeyboardLock {
 public:
  Win32KeyboardLock() = default;
  ~Win32KeyboardLock() override;  // releases
  Win32KeyboardLock(const Win32KeyboardLock&) = delete;
  Win32KeyboardLock& operator=(const Win32KeyboardLock&) = delete;

  // Throws RuntimeError(errc::kKeyboardLockUnavailable) when neither the system setting nor
  // the hook could be had.
  void Engage() override;
  void Release() override;
  bool Engaged() const override { return engaged_; }

 private:
  bool StartHook();
  void StopHook();

  bool engaged_ = false;
  bool screen_saver_set_ = false;  // the system setting was accepted
  void* hook_thread_ = nullptr;    // HANDLE of the thread that owns the hook
  unsigned long hook_thread_id_ = 0;
};

}  // namespace vellomar::platform::win32
