#include "lock/screen_size.h"

#include <cmath>

#include "platform/errors.h"
#include "record/password_record.h"

namespace vellomar {
namespace {

// BASIC's run-time error for a division by zero.
constexpr int kDivisionByZero = 11;

struct SizeRow {
  int screen_width, screen_height;
  int taskbar_width, taskbar_height;  // the full-mode window is the screen itself
};

// Note 1660 x 1280, not 1600 x 1280: the row is kept as the program has always had it.
constexpr SizeRow kSizeRows[] = {
    {640, 480, 640, 455},     {800, 600, 800, 560},   {1024, 768, 1024, 700},
    {1280, 1024, 1280, 970},  {1152, 864, 1152, 790}, {1600, 1200, 1600, 1100},
    {1660, 1280, 1660, 1190},
};

// Converts to whole pixels the way CLng does: to the nearest, halves to even.
int WholePixels(float value) {
  return static_cast<int>(std::nearbyint(value));
}

}  // namespace

ScreenPixels ScreenSizeInPixels(const ui::ScreenMetrics& screen) {
  if (screen.twips_per_pixel_x == 0 || screen.twips_per_pixel_y == 0) {
    throw RuntimeError(kDivisionByZero, "Division by zero");
  }
  return {static_cast<float>(screen.width_twips) / static_cast<float>(screen.twips_per_pixel_x),
          static_cast<float>(screen.height_twips) / static_cast<float>(screen.twips_per_pixel_y)};
}

WindowSize LockWindowSize(ScreenPixels screen, bool full_mode) {
  for (const SizeRow& row : kSizeRows) {
    if (screen.width == static_cast<float>(row.screen_width) &&
        screen.height == static_cast<float>(row.screen_height)) {
      if (full_mode) return {row.screen_width, row.screen_height};
      return {row.taskbar_width, row.taskbar_height};
    }
  }
  if (full_mode) return {WholePixels(screen.width), WholePixels(screen.height)};
  return {WholePixels(screen.width), WholePixels(screen.height - 100)};
}

WindowSize LockoutWindowSize(ScreenPixels screen) {
  return LockWindowSize(screen, false);
}

std::optional<bool> FullModeSwitch(const std::string& command_line) {
  const std::string command = UpperCase(command_line);
  if (command.find("/LOCKNOWFULL") != std::string::npos) return true;
  if (command.find("/LOCKNOW") != std::string::npos) return false;
  return std::nullopt;
}

std::optional<WindowSize> FirstLockWindowSize(const std::string& command_line,
                                              ScreenPixels screen) {
  const std::optional<bool> full_mode = FullModeSwitch(command_line);
  if (!full_mode) return std::nullopt;
  return LockWindowSize(screen, *full_mode);
}

}  // namespace vellomar
