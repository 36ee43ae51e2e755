#pragma once
// The keyboard lock on X11 as the forms process holds it: an active keyboard grab on the root
// window, and for the full-screen lock a pointer grab as well. Plain Xlib and nothing else. While
// the guard process holds the keyboard (guard/guard.h) this lock holds only the pointer; it takes
// the keyboard itself when there is no guard, or while a dead one is replaced.
//
// Both grabs are taken on the root window with owner events on: keys for our own windows (message
// boxes included) still reach them, every other client gets none. The root is used because a grab
// on a managed window is dropped when another client unmaps or iconifies that window.

#include <X11/Xlib.h>

#include <string>

#include "platform/keyboard_lock.h"
#include "xlock/grab_break.h"

namespace vellomar::ui {

// Key, button and pointer-motion events that another client sent (XSendEvent: the server marks
// them) rather than the devices. The program takes none of them in any window, so no client can
// type or click into its forms; keys made through XTEST come as the devices' and still count.
bool SentByAnotherClient(const XEvent& event);

// Whether the server is XWayland, where a grab cannot lock the keyboard (server_check.h).
bool ServerIsXWayland(Display* display);

class X11KeyboardLock : public platform::KeyboardLock {
 public:
  // `display` stays owned by the caller and must outlive the lock.
  explicit X11KeyboardLock(Display* display);
  ~X11KeyboardLock() override;

  // One try at the keyboard grab, made as soon as the display is open: every run locks the
  // keyboard first thing, and holding it before the toolkit's slower start-up leaves no gap in
  // which keys reach other clients. Engage adopts a grab taken here. When another client holds a
  // grab nothing happens now; Engage retries and reports as usual.
  void TakeEarly();

  // Takes the keyboard (and the pointer when wanted). Another client may hold a grab for a moment
  // (an open menu): the grab is retried for about a second. Throws
  // RuntimeError(errc::kKeyboardLockUnavailable) when the keyboard is still not had, and at once
  // on a server where a grab cannot lock it (XWayland, server_check.h); it never returns without
  // the grab.
  void Engage() override;
  // Gives both grabs back and waits until the server has done so, so that another client can
  // grab at once. Harmless when not engaged.
  void Release() override;
  bool Engaged() const override { return engaged_; }

  // Whether the pointer is grabbed too while engaged (the full-screen lock). One try is made
  // here, so that nothing waits on another client's pointer grab; while the pointer is wanted and
  // not held, the caller keeps calling RetryPointer. The keyboard lock stands either way.
  void WantPointer(bool want);
  bool PointerHeld() const { return pointer_held_; }
  bool PointerMissing() const { return engaged_ && want_pointer_ && !pointer_held_; }

  // Takes the grabs again while engaged. Something in this process may have released them (a
  // toolkit popup ungrabs on close); re-grabbing a grab already held is a cheap no-op. Returns
  // false when the keyboard grab could not be taken back.
  bool Reassert();
  // An X event seen by the program (a new keymap); true when it was consumed here.
  bool OnEvent(const XEvent& event) { return grab_break_.OnEvent(event); }
  // Tries once more for a pointer grab that is wanted but was not had. No X request otherwise.
  void RetryPointer();

  // While the guard process holds the keyboard (guard/guard.h) this lock holds only the pointer:
  // Engage, Reassert and Release leave the keyboard and the keymap to the guard.
  void KeyboardFromGuard(bool from_guard) { keyboard_from_guard_ = from_guard; }
  bool KeyboardFromGuard() const { return keyboard_from_guard_; }
  // The guard died while engaged: the keyboard is grabbed here at once (retried for about a
  // second); false when it could not be had. `grab_break` is what the guard had taken out of the
  // keymap, put back at Release unless a new guard does it.
  bool TakeKeyboard(const std::string& grab_break);
  // A new guard takes the keyboard: this lock lets go of it (the pointer stays).
  void GiveUpKeyboard();

 private:
  bool GrabKeyboard(int attempts);
  bool GrabPointer(int attempts);

  Display* display_;
  Window root_;
  GrabBreakKeys grab_break_;
  bool lockable_;  // the server is one a grab locks (server_check.h)
  bool engaged_ = false;
  bool early_held_ = false;  // TakeEarly got the keyboard and no Engage has adopted it yet
  bool want_pointer_ = false;
  bool pointer_held_ = false;
  bool keyboard_from_guard_ = false;
};

}  // namespace vellomar::ui
