#include "xlock/keyboard_lock.h"

#include <X11/extensions/Xrandr.h>
#include <time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "xlock/server_check.h"

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

std::vector<std::string> ServerExtensions(Display* display) {
  int count = 0;
  char** names = XListExtensions(display, &count);
  std::vector<std::string> extensions(names, names + (names ? count : 0));
  if (names) XFreeExtensionList(names);
  return extensions;
}

// The names of the screen's RandR outputs; none without the extension.
std::vector<std::string> RandrOutputs(Display* display) {
  std::vector<std::string> outputs;
  int event_base = 0, error_base = 0;
  if (!XRRQueryExtension(display, &event_base, &error_base)) return outputs;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
  if (resources == nullptr) return outputs;
  for (int i = 0; i < resources->noutput; ++i) {
    if (XRROutputInfo* info = XRRGetOutputInfo(display, resources, resources->outputs[i])) {
      outputs.emplace_back(info->name, static_cast<std::size_t>(info->nameLen));
      XRRFreeOutputInfo(info);
    }
  }
  XRRFreeScreenResources(resources);
  return outputs;
}

}  // namespace

bool ServerIsXWayland(Display* display) {
  return IsXWayland(ServerExtensions(display), RandrOutputs(display));
}

X11KeyboardLock::X11KeyboardLock(Display* display)
    : display_(display),
      root_(DefaultRootWindow(display)),
      grab_break_(display),
      lockable_(!ServerIsXWayland(display)) {}

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
  if (engaged_ || early_held_ || !lockable_) return;
  early_held_ = GrabKeyboard(1);
}

void X11KeyboardLock::Engage() {
  // The first Engage adopts an early grab; later ones take it again, which also undoes a release
  // made by something else in this process.
  if (!lockable_) {
    // The forms show their own message; this says why, for whoever reads the session's log.
    std::fputs("kestrom.exe: the X server is XWayland: a keyboard grab cannot lock it\n", stderr);
    throw RuntimeError(errc::kKeyboardLockUnavailable,
                       "Could not lock keyboard: the X server is XWayland, where a keyboard grab "
                       "does not hold the keys of Wayland windows.");
  }
  const bool adopted = early_held_ || keyboard_from_guard_;
  early_held_ = false;
  if (!adopted && !GrabKeyboard(kGrabAttempts)) {
    throw RuntimeError(errc::kKeyboardLockUnavailable,
                       "Could not lock keyboard: another program holds the keyboard.");
  }
  engaged_ = true;
  if (!keyboard_from_guard_) grab_break_.Disable();
  if (want_pointer_ && !pointer_held_) pointer_held_ = GrabPointer(1);
  XSync(display_, False);
}

void X11KeyboardLock::Release() {
  if (!engaged_ && !early_held_ && !pointer_held_) return;
  XUngrabPointer(display_, CurrentTime);
  if (!keyboard_from_guard_) XUngrabKeyboard(display_, CurrentTime);
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
  bool keyboard = keyboard_from_guard_ || GrabKeyboard(1);
  if (want_pointer_) pointer_held_ = GrabPointer(1);
  return keyboard;
}

bool X11KeyboardLock::TakeKeyboard(const std::string& grab_break) {
  keyboard_from_guard_ = false;
  const bool held = GrabKeyboard(kGrabAttempts);
  if (held) {
    grab_break_.Disable();
    grab_break_.Adopt(grab_break);
  }
  XSync(display_, False);
  return held;
}

void X11KeyboardLock::GiveUpKeyboard() {
  keyboard_from_guard_ = true;
  XUngrabKeyboard(display_, CurrentTime);
  XSync(display_, False);
}

void X11KeyboardLock::RetryPointer() {
  if (engaged_ && want_pointer_ && !pointer_held_) pointer_held_ = GrabPointer(1);
}

}  // namespace vellomar::ui
