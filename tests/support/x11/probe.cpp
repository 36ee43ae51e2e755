#include "support/x11/probe.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdio>
#include <cstring>

namespace vellomar::xprobe {

int TryGrabKeyboard(Display* display, bool unseen) {
  const Window root = DefaultRootWindow(display);
  if (unseen) XGrabServer(display);
  const int status = XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (status == GrabSuccess) XUngrabKeyboard(display, CurrentTime);
  if (unseen) {
    XUngrabServer(display);
    XFlush(display);
  } else {
    XSync(display, False);
  }
  return status;
}

std::string NameOf(Display* display, Window window) {
  char* name = nullptr;
  std::string result;
  if (XFetchName(display, window, &name) && name) result = name;
  if (name) XFree(name);
  return result;
}

std::string NameBelow(Display* display, Window window, int depth) {
  std::string name = NameOf(display, window);
  if (!name.empty() || depth > 3) return name;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return "";
  for (unsigned i = 0; i < count && name.empty(); ++i) {
    name = NameBelow(display, children[i], depth + 1);
  }
  if (children) XFree(children);
  return name;
}

bool Viewable(Display* display, Window window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable &&
         attributes.c_class != InputOnly;
}

void ForEachWindow(Display* display, Window window, const std::function<void(Window)>& visit) {
  visit(window);
  Window root_return = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &root_return, &parent, &children, &count)) return;
  const std::vector<Window> list(children, children + count);
  if (children) XFree(children);
  for (Window child : list) ForEachWindow(display, child, visit);
}

Window FindNamed(Display* display, Window window, const std::string& name, bool visible,
                 int depth) {
  if (NameOf(display, window) == name && (!visible || Viewable(display, window))) return window;
  if (depth > 3) return 0;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    found = FindNamed(display, children[i], name, visible, depth + 1);
  }
  if (children) XFree(children);
  return found;
}

std::optional<Window> WindowNamed(Display* display, const char* name) {
  std::optional<Window> found;
  ForEachWindow(display, DefaultRootWindow(display), [&](Window w) {
    if (!found && NameOf(display, w) == name) found = w;
  });
  return found;
}

Window OverlayOfFocus(Display* display) {
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  const Window root = DefaultRootWindow(display);
  for (Window window = focus; window > PointerRoot;) {
    Window root_return = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root_return, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    if (parent == root) {
      if (!XQueryTree(display, root, &root_return, &parent, &children, &count)) return 0;
      bool listed = false;
      for (unsigned i = 0; i < count; ++i) listed = listed || children[i] == window;
      if (children) XFree(children);
      return listed ? 0 : window;
    }
    window = parent;
  }
  return 0;
}

std::vector<Window> TopLevelsFromTop(Display* display) {
  std::vector<Window> windows;
  for (Window parent : {OverlayOfFocus(display), DefaultRootWindow(display)}) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!parent || !XQueryTree(display, parent, &root, &up, &children, &count)) continue;
    for (unsigned i = count; i-- > 0;) windows.push_back(children[i]);
    if (children) XFree(children);
  }
  return windows;
}

// The bits of a resource id that name its client.
constexpr XID kClientBits = ~static_cast<XID>(0x1fffff);

std::optional<Window> OverlayWindowNotOf(Display* display, Window other) {
  const Window overlay = XCompositeGetOverlayWindow(display, DefaultRootWindow(display));
  std::optional<Window> found;
  ForEachWindow(display, overlay, [&](Window w) {
    if (!found && w != overlay && (w & kClientBits) != (other & kClientBits)) found = w;
  });
  XCompositeReleaseOverlayWindow(display, DefaultRootWindow(display));
  return found;
}

unsigned long PixelAt(Display* display, int x, int y) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return ~0UL;
  const unsigned long pixel = XGetPixel(image, 0, 0);
  XDestroyImage(image);
  return pixel;
}

unsigned long LockGrey(Display* display) {
  XColor grey{};
  grey.red = grey.green = grey.blue = 192 * 257;
  grey.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &grey);
  return grey.pixel;
}

std::string Uncovered(Display* display, unsigned long grey, int x, int y, int w, int h) {
  const int inset = 6;
  for (int px : {x + inset, x + w / 2, x + w - 1 - inset}) {
    for (int py : {y + inset, y + h - 1 - inset}) {
      const unsigned long pixel = PixelAt(display, px, py);
      if (pixel != grey) {
        char text[64];
        std::snprintf(text, sizeof text, "%d,%d shows 0x%06lx", px, py, pixel);
        return text;
      }
    }
  }
  return "";
}

KeyboardRacer::KeyboardRacer() : thread_([this] { Loop(); }) {
  while (!trying_ && !stop_) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

KeyboardRacer::~KeyboardRacer() {
  Stop();
}

void KeyboardRacer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

double KeyboardRacer::gap_ms() const {
  return wins_ ? std::chrono::duration<double, std::milli>(last_ - first_).count() : 0.0;
}

std::optional<KeyboardRacer::Clock::time_point> KeyboardRacer::last_win() const {
  const long long ns = last_win_ns_;
  if (ns == 0) return std::nullopt;
  return Clock::time_point(std::chrono::nanoseconds(ns));
}

void KeyboardRacer::Loop() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    stop_ = true;
    return;
  }
  const Window root = DefaultRootWindow(display);
  for (; !stop_; trying_ = true) {
    if (XGrabKeyboard(display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
        GrabSuccess) {
      const auto now = Clock::now();
      XUngrabKeyboard(display, CurrentTime);
      XFlush(display);
      if (wins_ == 0) first_ = now;
      last_ = now;
      last_win_ns_ =
          std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
      ++wins_;
    }
  }
  XCloseDisplay(display);
}

}  // namespace vellomar::xprobe
