#include "ui/fltk/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

namespace vellomar::ui {

bool WindowViewable(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  return attributes.map_state == IsViewable;
}

bool ForeignWindowAbove(Display* display, Window lowest, const std::vector<Window>& ours) {
  Window root_return = 0, parent_return = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent_return, &children,
                  &count)) {
    return false;
  }
  bool foreign = false;
  bool above = false;  // children come bottom to top
  for (unsigned i = 0; i < count && !foreign; ++i) {
    if (children[i] == lowest) {
      above = true;
      continue;
    }
    if (!above) continue;
    if (std::find(ours.begin(), ours.end(), children[i]) != ours.end()) continue;
    foreign = WindowViewable(display, children[i]);
  }
  if (children) XFree(children);
  return foreign;
}

void SetDialogFrameHints(Display* display, Window window) {
  // _MOTIF_WM_HINTS: flags (functions | decorations), functions, decorations, input mode, status.
  constexpr long kFunctionsAndDecorations = 1 | 2;
  constexpr long kFunctionMove = 4, kFunctionClose = 32;
  constexpr long kDecorBorder = 2, kDecorTitle = 8, kDecorMenu = 16;
  long hints[5] = {kFunctionsAndDecorations, kFunctionMove | kFunctionClose,
                   kDecorBorder | kDecorTitle | kDecorMenu, 0, 0};
  Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
}

void NameWindow(Display* display, Window window, const char* name) {
  XStoreName(display, window, name);
  char instance[] = "kestrom", klass[] = "Kestrom";
  XClassHint hint{instance, klass};
  XSetClassHint(display, window, &hint);
}

void RootSize(Display* display, int& width, int& height) {
  Window root = 0;
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  if (XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border, &depth)) {
    width = static_cast<int>(w);
    height = static_cast<int>(h);
  } else {
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
  }
}

}  // namespace vellomar::ui
