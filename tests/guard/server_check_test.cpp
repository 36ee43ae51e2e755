// The lock core's test of the X server: a keyboard grab locks an ordinary X server and never
// XWayland, where keys typed into Wayland windows pass the grab by.

#include "xlock/server_check.h"

#include <gtest/gtest.h>

namespace vellomar::ui {
namespace {

TEST(ServerCheck, XWaylandIsKnownByItsExtensionOrItsOutputsAndOtherServersAreLocked) {
  // As Xvfb, Xorg and XWayland report them (XWayland 22 has no extension of its own).
  const std::vector<std::string> extensions = {"BIG-REQUESTS",    "Composite", "RANDR", "SHAPE",
                                               "XInputExtension", "XKEYBOARD", "XTEST"};
  std::vector<std::string> with_xwayland = extensions;
  with_xwayland.insert(with_xwayland.begin() + 4, "XWAYLAND");
  EXPECT_FALSE(IsXWayland(extensions, {"screen"})) << "Xvfb";
  EXPECT_FALSE(IsXWayland(extensions, {"eDP-1", "HDMI-1"})) << "Xorg";
  EXPECT_FALSE(IsXWayland({}, {})) << "no RandR";
  EXPECT_TRUE(IsXWayland(extensions, {"XWAYLAND0"})) << "XWayland 22";
  EXPECT_TRUE(IsXWayland(extensions, {"eDP-1", "XWAYLAND1"}));
  EXPECT_TRUE(IsXWayland(with_xwayland, {})) << "XWayland 23 and later";
  EXPECT_FALSE(IsXWayland({"XWAYLAND-LIKE", "xwayland"}, {"xwayland0", "MY-XWAYLAND"}))
      << "the exact extension, outputs by their name's start";
}

}  // namespace
}  // namespace vellomar::ui
