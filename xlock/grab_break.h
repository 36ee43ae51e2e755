#pragma once
// Keys that break grabs. With the XKB option grab:break_actions (some users set it), the server
// itself ends a lock: Ctrl+Alt+KP_Divide releases every active grab (the XF86Ungrab action) and
// Ctrl+Alt+KP_Multiply kills the client that holds one (XF86ClearGrab). No client sees those
// keys first, so the only defence is the keymap: while the lock is engaged both actions are taken
// out of the server's keymap, and put back when it is released. A keymap loaded meanwhile (by
// setxkbmap, say) is cleaned again as soon as the server announces it. Plain Xlib (XKB) only.

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace vellomar::ui {

class GrabBreakKeys {
 public:
  // `display` stays owned by the caller and must outlive this object.
  explicit GrabBreakKeys(Display* display);
  ~GrabBreakKeys();

  // Takes the grab-breaking actions out of the keymap and keeps them out until Restore.
  void Disable();
  // Puts back what Disable took out, where the keymap still has nothing in its place.
  void Restore();
  bool Disabled() const { return disabled_; }
  // What Disable took out, as bytes, for a process that takes the lock over (the keymap it finds
  // is already clean); Adopt adds such bytes to what Restore puts back.
  std::string Saved() const;
  void Adopt(const std::string& saved);
  // An X event seen by the program: a new keymap while disabled is cleaned again. True when the
  // event was the keymap notice.
  bool OnEvent(const XEvent& event);

 private:
  struct Removed {
    unsigned keycode;
    int index;  // among the key's actions
    unsigned char action[8];
  };
  void Strip();

  Display* display_;
  int xkb_event_ = -1;  // the XKB extension's event code; -1 without XKB
  bool disabled_ = false;
  std::vector<Removed> removed_;
};

}  // namespace vellomar::ui
