// The Win32 keyboard lock's hook: which key events it keeps from the system.

#include "platform/win32/key_filter.h"

#include <gtest/gtest.h>

namespace vellomar::platform::win32 {
namespace {

constexpr unsigned kVkAlt = 0x12, kVkControl = 0x11, kVkF4 = 0x73, kVkA = 0x41, kVkDelete = 0x2E;

TEST(KeyFilter, SwallowsTheTaskSwitchingCombinations) {
  EXPECT_TRUE(SwallowKey({kVkTab, /*alt=*/true, /*ctrl=*/false})) << "Alt+Tab";
  EXPECT_TRUE(SwallowKey({kVkEscape, true, false})) << "Alt+Esc";
  EXPECT_TRUE(SwallowKey({kVkEscape, false, true})) << "Ctrl+Esc (and Ctrl+Shift+Esc)";
  EXPECT_TRUE(SwallowKey({kVkTab, true, true})) << "Ctrl+Alt+Tab";
  for (unsigned windows_key : {kVkLeftWindows, kVkRightWindows}) {
    EXPECT_TRUE(SwallowKey({windows_key, false, false})) << "Windows key " << windows_key;
    EXPECT_TRUE(SwallowKey({windows_key, true, true})) << "Windows key " << windows_key;
  }
}

TEST(KeyFilter, LetsTypingAndTheFormsOwnKeysThrough) {
  // The password, Tab between controls, Esc for a cancel button, Alt+letter access keys, and
  // Alt+F4 (which the lock window refuses itself) all reach the program.
  EXPECT_FALSE(SwallowKey({kVkA, false, false}));
  EXPECT_FALSE(SwallowKey({kVkTab, false, false}));
  EXPECT_FALSE(SwallowKey({kVkTab, false, true})) << "Ctrl+Tab";
  EXPECT_FALSE(SwallowKey({kVkEscape, false, false}));
  EXPECT_FALSE(SwallowKey({kVkA, true, false}));
  EXPECT_FALSE(SwallowKey({kVkF4, true, false}));
  EXPECT_FALSE(SwallowKey({kVkAlt, true, false}));
  EXPECT_FALSE(SwallowKey({kVkControl, false, true}));
  EXPECT_FALSE(SwallowKey({kVkDelete, true, true})) << "Ctrl+Alt+Del is not the hook's to refuse";
}

}  // namespace
}  // namespace vellomar::platform::win32
