// The Win32 keyboard lock's hook: which key events it keeps from the system.

#include "platform/win32/key_filter.h"

#include <gtest/gtest.h>

namespace vellomar::platform::win32 {
namespace {

constexpr unsigned kVkAlt = 0x12, kVkControl = 0x11, kVkF4 = 0x73, kVkA = 0x41, kVkDelete = 0x2E,
                   kVkReturn = 0x0D;

// A key typed on the keyboard with Alt (seen through the flag, the key state or both, as
// `alt`: 0 none, 1 flag only, 2 state only, 3 both) and Ctrl.
HookedKey Typed(unsigned key, int alt, bool ctrl) {
  return {.virtual_key = key,
          .alt_flag = (alt & 1) != 0,
          .alt_state = (alt & 2) != 0,
          .ctrl_down = ctrl};
}

TEST(KeyFilter, SwallowsTheTaskSwitchingCombinations) {
  // Alt counts whether the event's flag or the key state shows it: Wine sets no flag.
  for (int alt : {1, 2, 3}) {
    EXPECT_TRUE(SwallowKey(Typed(kVkTab, alt, false))) << "Alt+Tab, alt seen as " << alt;
    EXPECT_TRUE(SwallowKey(Typed(kVkEscape, alt, false))) << "Alt+Esc, alt seen as " << alt;
    EXPECT_TRUE(SwallowKey(Typed(kVkTab, alt, true))) << "Ctrl+Alt+Tab, alt seen as " << alt;
  }
  EXPECT_TRUE(SwallowKey(Typed(kVkEscape, 0, true))) << "Ctrl+Esc (and Ctrl+Shift+Esc)";
  for (unsigned windows_key : {kVkLeftWindows, kVkRightWindows}) {
    EXPECT_TRUE(SwallowKey(Typed(windows_key, 0, false))) << "Windows key " << windows_key;
    EXPECT_TRUE(SwallowKey(Typed(windows_key, 3, true))) << "Windows key " << windows_key;
  }
}

TEST(KeyFilter, LetsTypingAndTheFormsOwnKeysThrough) {
  // The password, Tab between controls, Esc for a cancel button, Alt+letter access keys, and
  // Alt+F4 (which the lock window refuses itself) all reach the program.
  EXPECT_FALSE(SwallowKey(Typed(kVkA, 0, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkTab, 0, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkTab, 0, true))) << "Ctrl+Tab";
  EXPECT_FALSE(SwallowKey(Typed(kVkEscape, 0, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkA, 3, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkF4, 3, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkAlt, 3, false)));
  EXPECT_FALSE(SwallowKey(Typed(kVkControl, 0, true)));
  EXPECT_FALSE(SwallowKey(Typed(kVkDelete, 3, true))) << "Ctrl+Alt+Del is not the hook's to refuse";
}

TEST(KeyFilter, RefusesEveryKeyAnotherProgramInjects) {
  // Otherwise a program could type the password into the lock.
  for (unsigned key : {kVkA, kVkReturn, kVkTab, kVkEscape, kVkF4}) {
    HookedKey injected = Typed(key, 0, false);
    injected.injected = true;
    EXPECT_TRUE(SwallowKey(injected)) << "injected key " << key;
  }
}

}  // namespace
}  // namespace vellomar::platform::win32
