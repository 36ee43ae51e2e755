#include "ui/x11/keyboard_lock.h"

#include <time.h>

#include "platform/errors.h"

namespace vellomar::ui {

bool SentByAnotherClient(const XEvent& event) {
  switch (event.type) {
    case KeyPress:
    case KeyRelease:
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify:
      return event.xany.send_event != False;
    default:
      return false;
  }
}
namespace {

// About a second of retries, 15 ms apart, as mature lockers do while a menu closes.
constexpr int kGrabAttempts = 67;
constexpr long kRetryNanoseconds = 15'000'000;

void PauseBetweenAttempts() {
  timespec pause{0, kRetryNanoseconds};
  nanosleep(&pause, nullptr);
}

}  // namespace

X11KeyboardLock::X11KeyboardLock(Display* display)
    : display_(display), root_(DefaultRootWindow(display)), grab_break_(display) {}

X11KeyboardLock::~X11KeyboardLock() {
  Release();
}

bool X11KeyboardLock::GrabKeyboard(int attempts) {
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) PauseBetweenAttempts();
    if (XGrabKeyboard(display_, root_, True, GrabModeAsync, GrabModeAsync, CurrentTime) ==
        GrabSuccess) {
      return true;
    }
  }
  return false;
}

bool X11KeyboardLock::GrabPointer(int attempts) {
  constexpr unsigned kMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) PauseBetweenAttempts();
    if (XGrabPointer(display_, root_, True, kMask, GrabModeAsync, GrabModeAsync, None, None,
                     CurrentTime) == GrabSuccess) {
      return true;
    }
  }
  return false;
}

void X11KeyboardLock::TakeEarly() {
  if (engaged_ || early_held_) return;
  early_held_ = GrabKeyboard(1);
}

void X11KeyboardLock::Engage() {
  // The first Engage adopts an early grab; later ones take it again, which also undoes a release
  // made by something else in this process.
  const bool adopted = early_held_;
  early_held_ = false;
  if (!adopted && !GrabKeyboard(kGrabAttempts)) {
    throw RuntimeError(errc::kKeyboardLockUnavailable,
                       "Could not lock keyboard: another program holds the keyboard.");
  }
  engaged_ = true;
  grab_break_.Disable();
  if (want_pointer_ && !pointer_held_) pointer_held_ = GrabPointer(1);
  XSync(display_, False);
}

void X11KeyboardLock::Release() {
  if (!engaged_ && !early_held_ && !pointer_held_) return;
  XUngrabPointer(display_, CurrentTime);
  XUngrabKeyboard(display_, CurrentTime);
  grab_break_.Restore();
  XSync(display_, False);
  engaged_ = false;
  early_held_ = false;
  pointer_held_ = false;
}

void X11KeyboardLock::WantPointer(bool want) {
  if (want == want_pointer_) return;
  want_pointer_ = want;
  if (!engaged_) return;
  if (want) {
    pointer_held_ = GrabPointer(1);
  } else if (pointer_held_) {
    XUngrabPointer(display_, CurrentTime);
    pointer_held_ = false;
  }
  XSync(display_, False);
}

bool X11KeyboardLock::Reassert() {
  if (!engaged_) return true;
  bool keyboard = GrabKeyboard(1);
  if (want_pointer_) pointer_held_ = GrabPointer(1);
  return keyboard;
}

void X11KeyboardLock::RetryPointer() {
  if (engaged_ && want_pointer_ && !pointer_held_) pointer_held_ = GrabPointer(1);
}

}  // namespace vellomar::ui
