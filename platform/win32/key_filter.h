#pragma once
// Which keys the Win32 keyboard lock's low-level hook swallows: the ones that switch away from
// the lock (Alt+Tab, Alt+Esc, Ctrl+Esc, the Windows keys) and every key another program
// injected. A pure decision with no Win32 header,
// so it is tested on every build; the virtual-key numbers are the Win32 ones.

namespace vellomar::platform::win32 {

inline constexpr unsigned kVkTab = 0x09;
inline constexpr unsigned kVkEscape = 0x1B;
inline constexpr unsigned kVkLeftWindows = 0x5B;
inline constexpr unsigned kVkRightWindows = 0x5C;

// A key event as the hook sees it: the virtual key; Alt as the event's flag (LLKHF_ALTDOWN) and
// as the key state (GetAsyncKeyState), since Wine leaves the flag unset; Ctrl from the key
// state; and whether another program injected it (LLKHF_INJECTED).
struct HookedKey {
  unsigned virtual_key = 0;
  bool alt_flag = false;
  bool alt_state = false;
  bool ctrl_down = false;
  bool injected = false;
};

// True when the event must not reach the system. The hook runs only while the keyboard is
// locked, so every injected key is refused: no program can type the password into the lock
// (the user's own keys come from the devices). Presses and releases are treated alike, so a
// Windows key whose press was swallowed cannot open the Start menu on its release. Ctrl+Esc
// covers Ctrl+Shift+Esc (the task manager) as well. Ctrl+Alt+Del never reaches a hook.
constexpr bool SwallowKey(const HookedKey& key) {
  if (key.injected) return true;
  const bool alt_down = key.alt_flag || key.alt_state;
  switch (key.virtual_key) {
    case kVkLeftWindows:
    case kVkRightWindows:
      return true;
    case kVkTab:
      return alt_down;
    case kVkEscape:
      return alt_down || key.ctrl_down;
    default:
      return false;
  }
}

}  // namespace vellomar::platform::win32
