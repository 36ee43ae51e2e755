#include "lock/lockout.h"

#include <exception>

#include "lock/screen_size.h"

namespace vellomar {

Lockout::Lockout(ui::Application& app) : ui::Form(app, "Lockout") {}

void Lockout::InitializeComponent() {
  InitCaption("Lockout");
  border = ui::BorderStyle::FixedSingle;
  centered = false;
  lock_screen = true;
  client_width = 9504;
  client_height = 5040;
  icon = ui::Picture::Frown;

  Label1.rect = {1680, 600, 6015, 2415};
  Label1.font_size = 18;
  Label1.bold = false;
  Label1.InitCaption(
      "You failed to enter the password within 1 minute.  You have been locked out.  You must "
      "shut down or restart  the computer by clicking the \"Start\" button and then \"Shut "
      "Down\".");

  Image1.rect = {360, 960, 840, 945};
  Image2.rect = {7920, 960, 840, 945};
  for (ui::Image* image : {&Image1, &Image2}) {
    image->picture = ui::Picture::Frown;
    image->stretch = true;
  }
}

void Lockout::Form_Load() {
  // Run-time errors from here on go to the handler below, which falls back to a fixed size.
  try {
    // The screen in pixels gives the window size from the table; the window goes top-most.
    const WindowSize size = LockoutWindowSize(ScreenSizeInPixels(app().Screen()));
    app().SetWindowPosTopmost(*this, 0, 0, size.width, size.height);
  } catch (const std::exception&) {
    app().SetWindowPosTopmost(*this, 0, 0, kFallbackWindowSize.width, kFallbackWindowSize.height);
  }
}

void Lockout::Form_QueryUnload(int& cancel, int unload_mode) {
  // Only Windows shutting down (or a log-off) closes the lockout screen.
  if (unload_mode == 0 || unload_mode == 3) cancel = 1;
}

}  // namespace vellomar
