// The lock screens' window sizes by screen resolution.

#include <vector>

#include "forms/fixture.h"
#include "lock/screen_size.h"
#include "platform/errors.h"

namespace vellomar::testing {
namespace {

struct SizeCase {
  int screen_w, screen_h;
  int full_w, full_h;
  int taskbar_w, taskbar_h;
};

const std::vector<SizeCase> kSizes = {
    {640, 480, 640, 480, 640, 455},
    {800, 600, 800, 600, 800, 560},
    {1024, 768, 1024, 768, 1024, 700},
    {1280, 1024, 1280, 1024, 1280, 970},
    {1152, 864, 1152, 864, 1152, 790},
    {1600, 1200, 1600, 1200, 1600, 1100},
    {1660, 1280, 1660, 1280, 1660, 1190},
    // Not in the table: the whole screen, or 100 pixels less high.
    {1366, 768, 1366, 768, 1366, 668},
    {1600, 1280, 1600, 1280, 1600, 1180},
    {1400, 1050, 1400, 1050, 1400, 950},
    {1920, 1080, 1920, 1080, 1920, 980},
};

TEST(ScreenSizeTable, KestromAndLockoutSizesForListedAndUnlistedScreens) {
  for (const SizeCase& c : kSizes) {
    SCOPED_TRACE(::testing::Message() << c.screen_w << "x" << c.screen_h);
    const ScreenPixels screen{static_cast<float>(c.screen_w), static_cast<float>(c.screen_h)};
    const WindowSize full = LockWindowSize(screen, true);
    const WindowSize taskbar = LockWindowSize(screen, false);
    const WindowSize lockout = LockoutWindowSize(screen);
    EXPECT_EQ(full.width, c.full_w);
    EXPECT_EQ(full.height, c.full_h);
    EXPECT_EQ(taskbar.width, c.taskbar_w);
    EXPECT_EQ(taskbar.height, c.taskbar_h);
    EXPECT_EQ(lockout.width, c.taskbar_w);
    EXPECT_EQ(lockout.height, c.taskbar_h);
  }
}

TEST(ScreenSizeTable, PixelsAreTwipsOverTwipsPerPixelOnEachAxis) {
  const ScreenPixels screen = ScreenSizeInPixels({1024 * 12, 768 * 15, 12, 15});
  EXPECT_EQ(screen.width, 1024.0f);
  EXPECT_EQ(screen.height, 768.0f);
  // A fractional size from unusual metrics is rounded to whole pixels for the window.
  const WindowSize odd = LockWindowSize(ScreenSizeInPixels({10000, 9000, 16, 16}), true);
  EXPECT_EQ(odd.width, 625);
  EXPECT_EQ(odd.height, 562);  // 562.5 rounds to even
  EXPECT_THROW(ScreenSizeInPixels({15360, 11520, 0, 15}), RuntimeError);
}

using LockWindowPlacement = FormsFixture;

TEST_F(LockWindowPlacement, KestromAndLockoutArePlacedTopmostAtTheCorner) {
  ui::HeadlessRuntime::Options options;
  options.screen_width = 1366;
  options.screen_height = 768;
  options.command_line = "/locknowfull";
  Start(options);
  ui::HeadlessRuntime::Placement place = rt().PlacementOf("Kestrom");
  EXPECT_TRUE(place.topmost);
  EXPECT_EQ(place.width, 1366);
  EXPECT_EQ(place.height, 768);

  options.command_line = "/locknow";
  Start(options);
  EXPECT_EQ(rt().PlacementOf("Kestrom").height, 668);

  // The window covered before the forms load is the one Kestrom places, whatever the switches'
  // letter case and company; a run that shows no lock screen at once gets no early cover.
  for (const char* command : {"/LockNowFull /nosmile", "/SU:x /locknow", "/locknow /locknowfull",
                              "/setup", "", "/locknov"}) {
    SCOPED_TRACE(command);
    options.command_line = command;
    Start(options);
    // Kestrom's placement, even where a bad record then ends the run; none without it.
    const auto first = FirstLockWindowSize(command, {1366, 768});
    ASSERT_EQ(first.has_value(), rt().FormLoaded("Kestrom") || rt().Ended());
    if (!first) continue;
    EXPECT_EQ(first->width, rt().PlacementOf("Kestrom").width);
    EXPECT_EQ(first->height, rt().PlacementOf("Kestrom").height);
  }

  options.command_line = "";
  options.screen_width = 1400;
  options.screen_height = 1050;
  Start(options);
  rt().AdvanceTime(60000);
  place = rt().PlacementOf("Lockout");
  EXPECT_TRUE(place.topmost);
  EXPECT_EQ(place.x, 0);
  EXPECT_EQ(place.y, 0);
  EXPECT_EQ(place.width, 1400);
  EXPECT_EQ(place.height, 950);
}

}  // namespace
}  // namespace vellomar::testing
