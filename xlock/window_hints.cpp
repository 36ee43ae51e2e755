#include "xlock/window_hints.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <string>

namespace vellomar::ui {

bool StructureEvent(int type) {
  switch (type) {
    case MapNotify:
    case UnmapNotify:
    case ConfigureNotify:
    case CreateNotify:
    case DestroyNotify:
    case ReparentNotify:
    case CirculateNotify:
    case GravityNotify:
      return true;
    default:
      return false;
  }
}

bool WindowViewable(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  return attributes.map_state == IsViewable;
}

namespace {

// The name the running window manager gives itself (_NET_SUPPORTING_WM_CHECK), "" without one.
std::string WindowManagerName(Display* display) {
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom name_atom = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window wm = 0;
  if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type,
                         &format, &count, &after, &data) == Success &&
      data) {
    if (type == XA_WINDOW && format == 32 && count == 1) wm = *reinterpret_cast<Window*>(data);
    XFree(data);
  }
  if (!wm) return "";
  // The check window may already be gone: the request then fails, and the process-wide error
  // handler carries on.
  std::string name;
  data = nullptr;
  if (XGetWindowProperty(display, wm, name_atom, 0, 64, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    if (format == 8) name.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return name;
}

}  // namespace

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
  // Openbox ignores the Motif bits for its iconify and maximise buttons and takes them from the
  // window type alone: it drops both only for toolbar and menu windows, which it otherwise frames,
  // focuses, moves and closes like any other. Elsewhere the window is what it is, a dialog.
  const char* kind = WindowManagerName(display) == "Openbox" ? "_NET_WM_WINDOW_TYPE_TOOLBAR"
                                                             : "_NET_WM_WINDOW_TYPE_DIALOG";
  Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  Atom value = XInternAtom(display, kind, False);
  XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&value), 1);
}

void SetNoTaskbarButton(Display* display, Window window) {
  Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  Atom skip[2] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                  XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
  XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(skip), 2);
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
