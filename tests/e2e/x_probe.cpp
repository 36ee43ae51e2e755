// x-probe: small X11 client used by the end-to-end tests.
//   x-probe grab-keyboard          tries once to grab the keyboard on the root window; prints
//                                  "grabbed" (exit 0) or "refused" (exit 1), then lets go
//   x-probe grab-pointer           the same for the pointer
//   x-probe hold-keyboard [MS]     grabs the keyboard (trying until it has it) and prints "held";
//                                  keeps it until killed, or with MS lets go MS milliseconds
//                                  later, prints "released" and ends
//   x-probe victim NAME LOG        maps a window titled NAME and appends every key it receives
//                                  to LOG, one key name a line; prints "ready" once mapped
//   x-probe focus                  prints the name (WM_NAME) of the window holding the focus
//   x-probe on-top NAME            exit 0 when the viewable top-level window highest in the
//                                  stacking order is titled NAME (or is its frame), else 1
//   x-probe hold-pointer           the same for the pointer, kept until killed
//   x-probe state WINDOW           prints "X Y W H viewable|unmapped override|managed" for a
//                                  window id: its place in root coordinates and its state
//   x-probe offer TEXT             owns PRIMARY and CLIPBOARD with TEXT, serving them to every
//                                  client that asks until killed; prints "offered"
//   x-probe grab-break-keys        prints how many key actions of the keymap break grabs (the
//                                  XKB option grab:break_actions)
//   x-probe compositing            exit 0 when a compositing manager owns _NET_WM_CM_S0, else 1
//   x-probe find NAME [visible]    prints the id of a window titled NAME (a viewable one with
//                                  "visible"); exit 1 when there is none
//
// A lock may keep its windows in the Composite overlay, above every child of the root and left
// out of the root's window tree. The probe finds the overlay through the window holding the
// focus, and counts it (with its children) as the top of the stacking order (support/x11).

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/x11/probe.h"

namespace {

namespace xprobe = vellomar::xprobe;
using xprobe::NameBelow;
using xprobe::TopLevelsFromTop;
using xprobe::Viewable;

int Find(Display* display, const std::string& name, bool visible) {
  for (Window top : TopLevelsFromTop(display)) {
    if (Window found = xprobe::FindNamed(display, top, name, visible)) {
      std::printf("%lu\n", found);
      return 0;
    }
  }
  return 1;
}

int GrabKeyboard(Display* display) {
  const int status = xprobe::TryGrabKeyboard(display);
  std::puts(status == GrabSuccess ? "grabbed" : "refused");
  return status == GrabSuccess ? 0 : 1;
}

int GrabPointer(Display* display) {
  int status = XGrabPointer(display, DefaultRootWindow(display), False, ButtonPressMask,
                            GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
  XUngrabPointer(display, CurrentTime);
  XSync(display, False);
  std::puts(status == GrabSuccess ? "grabbed" : "refused");
  return status == GrabSuccess ? 0 : 1;
}

int GrabBreakKeys(Display* display) {
  XkbDescPtr xkb = XkbGetMap(display, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
  if (!xkb) return 1;
  int count = 0;
  for (int key = xkb->min_key_code; key <= xkb->max_key_code; ++key) {
    if (!XkbKeyHasActions(xkb, key)) continue;
    XkbAction* actions = XkbKeyActionsPtr(xkb, key);
    for (int i = 0; i < XkbKeyNumActions(xkb, key); ++i) {
      const auto* data = reinterpret_cast<const char*>(actions[i].any.data);
      if (actions[i].type == XkbSA_XFree86Private &&
          (std::memcmp(data, "Ungrab", 6) == 0 || std::memcmp(data, "ClsGrb", 6) == 0)) {
        ++count;
      }
    }
  }
  XkbFreeKeyboard(xkb, 0, True);
  std::printf("%d\n", count);
  return 0;
}

int HoldPointer(Display* display) {
  const timespec retry{0, 10'000'000};
  while (XGrabPointer(display, DefaultRootWindow(display), False, ButtonPressMask, GrabModeAsync,
                      GrabModeAsync, None, None, CurrentTime) != GrabSuccess) {
    nanosleep(&retry, nullptr);
  }
  XSync(display, False);
  std::puts("held");
  std::fflush(stdout);
  for (;;) pause();
}

int State(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return 1;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  std::printf("%d %d %d %d %s %s\n", x, y, attributes.width, attributes.height,
              attributes.map_state == IsViewable ? "viewable" : "unmapped",
              attributes.override_redirect ? "override" : "managed");
  return 0;
}

int Offer(Display* display, const char* text) {
  Window owner = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  const Atom targets = XInternAtom(display, "TARGETS", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XSetSelectionOwner(display, XA_PRIMARY, owner, CurrentTime);
  XSetSelectionOwner(display, clipboard, owner, CurrentTime);
  XSync(display, False);
  std::puts("offered");
  std::fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != SelectionRequest) continue;
    const XSelectionRequestEvent& request = event.xselectionrequest;
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = request.property ? request.property : request.target;
    if (request.target == targets) {
      Atom offered[] = {utf8, XA_STRING};
      XChangeProperty(display, request.requestor, reply.property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(offered), 2);
    } else if (request.target == utf8 || request.target == XA_STRING) {
      XChangeProperty(display, request.requestor, reply.property, request.target, 8,
                      PropModeReplace, reinterpret_cast<const unsigned char*>(text),
                      static_cast<int>(std::strlen(text)));
    } else {
      reply.property = None;
    }
    XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(display);
  }
}

int HoldKeyboard(Display* display, const char* release_after_ms) {
  const timespec retry{0, 10'000'000};
  while (XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync,
                       CurrentTime) != GrabSuccess) {
    nanosleep(&retry, nullptr);
  }
  XSync(display, False);
  std::puts("held");
  std::fflush(stdout);
  if (!release_after_ms) {
    for (;;) pause();
  }
  const long ms = std::atol(release_after_ms);
  const timespec hold{ms / 1000, (ms % 1000) * 1'000'000};
  nanosleep(&hold, nullptr);
  XUngrabKeyboard(display, CurrentTime);
  XSync(display, False);
  std::puts("released");
  return 0;
}

int Victim(Display* display, const char* name, const char* log_path) {
  int screen = DefaultScreen(display);
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 100, 100, 300, 200, 1,
                                      BlackPixel(display, screen), WhitePixel(display, screen));
  XStoreName(display, window, name);
  XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
  Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &delete_window, 1);
  XMapWindow(display, window);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify) {
      std::puts("ready");
      std::fflush(stdout);
    } else if (event.type == KeyPress) {
      KeySym sym = XLookupKeysym(&event.xkey, 0);
      const char* key = XKeysymToString(sym);
      if (FILE* log = std::fopen(log_path, "a")) {
        std::fprintf(log, "%s\n", key ? key : "?");
        std::fclose(log);
      }
    } else if (event.type == ClientMessage &&
               static_cast<Atom>(event.xclient.data.l[0]) == delete_window) {
      return 0;
    }
  }
}

int Focus(Display* display) {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  std::puts(focus > PointerRoot ? NameBelow(display, focus).c_str() : "");
  return 0;
}

int OnTop(Display* display, const char* name) {
  std::string top;
  for (Window window : TopLevelsFromTop(display)) {
    if (!Viewable(display, window)) continue;
    top = NameBelow(display, window);
    if (top.empty()) top.push_back('?');
    break;
  }
  std::puts(top.c_str());
  return top == name ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "x-probe: no display\n");
    return 2;
  }
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "grab-keyboard") return GrabKeyboard(display);
  if (command == "grab-pointer") return GrabPointer(display);
  if (command == "hold-keyboard" && argc <= 3) {
    return HoldKeyboard(display, argc == 3 ? argv[2] : nullptr);
  }
  if (command == "hold-pointer" && argc == 2) return HoldPointer(display);
  if (command == "grab-break-keys" && argc == 2) return GrabBreakKeys(display);
  if (command == "state" && argc == 3) {
    return State(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  }
  if (command == "offer" && argc == 3) return Offer(display, argv[2]);
  if (command == "victim" && argc == 4) return Victim(display, argv[2], argv[3]);
  if (command == "focus") return Focus(display);
  if (command == "on-top" && argc == 3) return OnTop(display, argv[2]);
  if (command == "compositing" && argc == 2) {
    return XGetSelectionOwner(display, XInternAtom(display, "_NET_WM_CM_S0", False)) ? 0 : 1;
  }
  if (command == "find" && (argc == 3 || (argc == 4 && std::strcmp(argv[3], "visible") == 0))) {
    return Find(display, argv[2], argc == 4);
  }
  std::fprintf(
      stderr,
      "usage: x-probe "
      "grab-keyboard|grab-pointer|compositing|hold-keyboard|hold-pointer|state|offer|victim|"
      "focus|on-top|grab-break-keys|find\n");
  return 2;
}
