// x-attack: what a hostile or careless client in the same X session does to a lock window. Used
// by the end-to-end tests and the benchmark. WINDOW is an X window id (decimal or 0x hex).
//   x-attack xdnd-enter WINDOW      sends a drag-and-drop XdndEnter naming a source window that
//                                   does not exist (the lock's reply request fails)
//   x-attack destroy WINDOW         destroys the window
//   x-attack reparent WINDOW        reparents it into a 20x20 window of ours; stays until killed
//   x-attack unmap-loop WINDOW N    unmaps it N times in a row, as fast as the server takes it
//   x-attack move WINDOW X Y        moves it
//   x-attack lower WINDOW           puts it beneath its siblings
//   x-attack resize WINDOW W H      resizes it
//   x-attack empty-shape WINDOW     gives it an empty bounding and input shape
//   x-attack clear-override WINDOW  clears its override-redirect flag, then unmaps it
//   x-attack churn N                N times: maps a window (override-redirect and managed in
//                                   turn) that lives 1-5 ms, then destroys it
//   x-attack raise-loop             maps a red override-redirect window at 100,100 (200x200) and
//                                   raises it in a tight loop until killed; prints "ready"
//   x-attack share-visible X Y MS   samples the screen's pixel at X,Y every millisecond for MS
//                                   milliseconds; prints the share of samples that were red
//   x-attack covered X Y W H        exit 0 when sample points inside the rectangle all show the
//                                   lock's grey, else 1 (prints the first other colour)
//   x-attack watch-covered X Y W H MS   the same every millisecond for MS milliseconds; stops at
//                                   the first sample that is not covered
//   x-attack grab-race              grabs and lets go of the keyboard in a tight loop until
//                                   SIGTERM; prints "wins N", how often it got it
//   x-attack break-grab             puts the Ungrab action back on KP_Divide, presses it (XTEST)
//                                   and grabs the keyboard, the server held meanwhile; prints
//                                   "grabbed" or "refused" and holds the grab until SIGTERM
//   x-attack send-keys TEXT         sends TEXT (letters and digits), Return and a click of the
//                                   first button as events (XSendEvent, no XTEST) to the window
//                                   that has the focus
// WINDOW may be the word "overlay": the Composite overlay window.
// Every command prints "done" when its requests have reached the server (except the loops).

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/shape.h>

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/x11/probe.h"

namespace {

namespace xprobe = vellomar::xprobe;

void Sleep(long nanoseconds) {
  const timespec pause{nanoseconds / 1'000'000'000, nanoseconds % 1'000'000'000};
  nanosleep(&pause, nullptr);
}

int Done(Display* display) {
  XSync(display, False);
  std::puts("done");
  std::fflush(stdout);
  return 0;
}

int ErrorsIgnored(Display*, XErrorEvent*) {
  return 0;
}

int XdndEnter(Display* display, Window target) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = XInternAtom(display, "XdndEnter", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 0x1fffffe;       // no such window
  event.xclient.data.l[1] = (5L << 24) | 1;  // version 5, more types in XdndTypeList
  event.xclient.data.l[2] = static_cast<long>(XInternAtom(display, "text/plain", False));
  XSendEvent(display, target, False, NoEventMask, &event);
  return Done(display);
}

int Reparent(Display* display, Window target) {
  Window box = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 20, 20, 0, 0, 0);
  XMapWindow(display, box);
  XReparentWindow(display, target, box, 0, 0);
  Done(display);
  for (;;) pause();
}

int UnmapLoop(Display* display, Window target, int count) {
  for (int i = 0; i < count; ++i) {
    XUnmapWindow(display, target);
    if (i % 16 == 0) XSync(display, False);
  }
  return Done(display);
}

int EmptyShape(Display* display, Window target) {
  XShapeCombineRectangles(display, target, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  XShapeCombineRectangles(display, target, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  return Done(display);
}

int ClearOverride(Display* display, Window target) {
  XSetWindowAttributes set{};
  set.override_redirect = False;
  XChangeWindowAttributes(display, target, CWOverrideRedirect, &set);
  XUnmapWindow(display, target);
  return Done(display);
}

int Churn(Display* display, int count) {
  const int screen = DefaultScreen(display);
  for (int i = 0; i < count; ++i) {
    XSetWindowAttributes set{};
    set.override_redirect = i % 2 == 0;
    set.background_pixel = WhitePixel(display, screen);
    Window window = XCreateWindow(display, RootWindow(display, screen), 50 + i % 300, 50, 120, 80,
                                  0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel, &set);
    XMapRaised(display, window);
    XFlush(display);
    Sleep((1 + i % 5) * 1'000'000L);
    XDestroyWindow(display, window);
    XFlush(display);
  }
  return Done(display);
}

unsigned long Red(Display* display) {
  XColor red{};
  red.red = 0xffff;
  red.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &red);
  return red.pixel;
}

int RaiseLoop(Display* display) {
  XSetWindowAttributes set{};
  set.override_redirect = True;
  set.background_pixel = Red(display);
  Window window =
      XCreateWindow(display, DefaultRootWindow(display), 100, 100, 200, 200, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &set);
  XStoreName(display, window, "RaiseLoop");
  XMapRaised(display, window);
  XSync(display, False);
  std::puts("ready");
  std::fflush(stdout);
  for (;;) {
    XRaiseWindow(display, window);
    XFlush(display);
  }
}

volatile sig_atomic_t stop_racing = 0;

// Grabs the keyboard and lets go again as fast as the server answers, until SIGTERM; then says how
// often it got it. Against a lock that holds the keyboard throughout, never.
int GrabRace() {
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  // Blocked before the racer's thread starts, so that only sigwait below takes it.
  pthread_sigmask(SIG_BLOCK, &term, nullptr);
  xprobe::KeyboardRacer racer;
  std::puts("ready");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&term, &signal);
  racer.Stop();
  std::printf("wins %ld\n", racer.wins());
  return 0;
}

// Puts the Ungrab action back on every action of KP_Divide, presses it through XTEST and grabs the
// keyboard, all while holding the server, so that the lock has no moment to strip the keymap or
// grab again in between.
// Holds what it got until SIGTERM; prints "grabbed" or "refused".
int BreakGrab(Display* display) {
  const KeyCode key = XKeysymToKeycode(display, XK_KP_Divide);
  XkbDescPtr xkb = XkbGetMap(display, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
  if (!xkb || !XkbKeyHasActions(xkb, key)) {
    std::puts("no actions on KP_Divide");
    return 1;
  }
  XkbAction* actions = XkbKeyActionsPtr(xkb, key);
  for (int i = 0; i < XkbKeyNumActions(xkb, key); ++i) {
    std::memset(&actions[i], 0, sizeof actions[i]);
    actions[i].type = XkbSA_XFree86Private;
    std::memcpy(actions[i].any.data, "Ungrab", 6);
  }
  XkbMapChangesRec changes{};
  changes.changed = XkbKeyActionsMask;
  changes.first_key_act = key;
  changes.num_key_acts = 1;
  // With the server grabbed, no other client's request comes between ours.
  XGrabServer(display);
  XkbChangeMap(display, xkb, &changes);
  XTestFakeKeyEvent(display, key, True, 0);
  XTestFakeKeyEvent(display, key, False, 0);
  const bool grabbed = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync,
                                     GrabModeAsync, CurrentTime) == GrabSuccess;
  XUngrabServer(display);
  XSync(display, False);
  XkbFreeKeyboard(xkb, 0, True);
  std::puts(grabbed ? "grabbed" : "refused");
  std::fflush(stdout);
  std::signal(SIGTERM, [](int) { stop_racing = 1; });
  while (!stop_racing) Sleep(10'000'000L);
  return 0;
}

int ShareVisible(Display* display, int x, int y, long milliseconds) {
  const unsigned long red = Red(display);
  long samples = 0, visible = 0;
  for (long i = 0; i < milliseconds; ++i) {
    ++samples;
    if (xprobe::PixelAt(display, x, y) == red) ++visible;
    Sleep(1'000'000L);
  }
  std::printf("%.4f %ld %ld\n", static_cast<double>(visible) / samples, visible, samples);
  return 0;
}

int Covered(Display* display, int x, int y, int w, int h) {
  const std::string uncovered = xprobe::Uncovered(display, xprobe::LockGrey(display), x, y, w, h);
  std::puts(uncovered.empty() ? "covered" : uncovered.c_str());
  return uncovered.empty() ? 0 : 1;
}

// Samples the rectangle every millisecond for `milliseconds`: whatever happens to the lock
// meanwhile (its process killed and started again), the desktop must never show.
int WatchCovered(Display* display, int x, int y, int w, int h, long milliseconds) {
  const unsigned long grey = xprobe::LockGrey(display);
  long samples = 0;
  for (long i = 0; i < milliseconds; ++i, ++samples) {
    const std::string uncovered = xprobe::Uncovered(display, grey, x, y, w, h);
    if (!uncovered.empty()) {
      std::printf("sample %ld: %s\n", samples, uncovered.c_str());
      return 1;
    }
    Sleep(1'000'000L);
  }
  std::printf("covered %ld\n", samples);
  return 0;
}

// One key or button event, pressed and released, sent to `target` as another client sends it.
void SendPressAndRelease(Display* display, Window target, int press, unsigned detail,
                         unsigned state) {
  XEvent event{};
  event.xkey.type = press;
  event.xkey.display = display;
  event.xkey.window = target;
  event.xkey.root = DefaultRootWindow(display);
  event.xkey.time = CurrentTime;
  event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 10;
  event.xkey.state = state;
  event.xkey.keycode = detail;
  event.xkey.same_screen = True;
  const long mask = press == KeyPress ? KeyPressMask : ButtonPressMask;
  XSendEvent(display, target, True, mask, &event);
  event.xkey.type = press + 1;  // KeyRelease, ButtonRelease
  event.xkey.state |= press == KeyPress ? 0 : Button1Mask;
  XSendEvent(display, target, True, press == KeyPress ? KeyReleaseMask : ButtonReleaseMask, &event);
}

int SendKeys(Display* display, const std::string& text) {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  for (char c : text) {
    const KeySym keysym = XStringToKeysym(std::string(1, c).c_str());
    const unsigned state = c >= 'A' && c <= 'Z' ? ShiftMask : 0;
    SendPressAndRelease(display, focus, KeyPress, XKeysymToKeycode(display, keysym), state);
  }
  SendPressAndRelease(display, focus, KeyPress, XKeysymToKeycode(display, XK_Return), 0);
  SendPressAndRelease(display, focus, ButtonPress, Button1, 0);
  return Done(display);
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x-attack: no display\n");
    return 2;
  }
  // An attacker does not stop at its own failed requests.
  XSetErrorHandler(ErrorsIgnored);
  const std::string command = argc > 1 ? argv[1] : "";
  auto window = [&] {
    // The Composite overlay by its word: asked for (and given back when we end) like any client.
    if (std::strcmp(argv[2], "overlay") == 0) {
      return XCompositeGetOverlayWindow(display, DefaultRootWindow(display));
    }
    return static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
  };
  auto number = [&](int i) { return std::atoi(argv[i]); };
  if (command == "xdnd-enter" && argc == 3) return XdndEnter(display, window());
  if (command == "send-keys" && argc == 3) return SendKeys(display, argv[2]);
  if (command == "destroy" && argc == 3) {
    XDestroyWindow(display, window());
    return Done(display);
  }
  if (command == "reparent" && argc == 3) return Reparent(display, window());
  if (command == "unmap-loop" && argc == 4) return UnmapLoop(display, window(), number(3));
  if (command == "move" && argc == 5) {
    XMoveWindow(display, window(), number(3), number(4));
    return Done(display);
  }
  if (command == "lower" && argc == 3) {
    XLowerWindow(display, window());
    return Done(display);
  }
  if (command == "resize" && argc == 5) {
    XResizeWindow(display, window(), number(3), number(4));
    return Done(display);
  }
  if (command == "empty-shape" && argc == 3) return EmptyShape(display, window());
  if (command == "clear-override" && argc == 3) return ClearOverride(display, window());
  if (command == "churn" && argc == 3) return Churn(display, number(2));
  if (command == "raise-loop" && argc == 2) return RaiseLoop(display);
  if (command == "grab-race" && argc == 2) return GrabRace();
  if (command == "break-grab" && argc == 2) return BreakGrab(display);
  if (command == "share-visible" && argc == 5) {
    return ShareVisible(display, number(2), number(3), number(4));
  }
  if (command == "covered" && argc == 6) {
    return Covered(display, number(2), number(3), number(4), number(5));
  }
  if (command == "watch-covered" && argc == 7) {
    return WatchCovered(display, number(2), number(3), number(4), number(5), number(6));
  }
  std::fprintf(stderr, "usage: x-attack COMMAND [ARGS] (see the source)\n");
  return 2;
}
