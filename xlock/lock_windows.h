#pragma once
// Keeps the windows that cover a locked screen where they belong, whatever other clients do to
// them. Plain Xlib (with the Shape, Composite, Damage and XFixes extensions), nothing of the
// toolkit.
//
// Any client of the X server may move, resize, reshape, reparent, unmap, restack or destroy any
// window, and clear its override-redirect flag. Each kept window has a wanted rectangle; whenever
// the server reports a change (or the caller asks for a check) every kept window is put back:
// override-redirect set again before anything maps it, reparented to the cover parent, moved and
// sized to its rectangle, unshaped, mapped, and stacked above every window that is not ours.
//
// Three kinds of server, three covers:
//   - Composite and no compositing manager: the cover parent is the Composite overlay window. It
//     lies above every ordinary window, so no other client's window can be raised over the lock,
//     however often it tries. The overlay is kept like a lock window (at the root's corner at the
//     screen's size, a mapped child of the root above all the others), and beneath it a black
//     window of ours, kept the same way, covers the kept windows' place should the overlay be
//     taken away for a moment. The overlay is shaped to the kept windows, so that a lock that
//     leaves the taskbar strip free leaves it visible and usable.
//   - A compositing manager (a client owns _NET_WM_CM_S<screen>): it draws every window onto the
//     root, over the overlay too, so the overlay would only hide what it draws and make it draw
//     again without end. The kept windows stay children of the root, and the screen itself is
//     held: whenever anything is drawn on it (the Damage extension, on the root) our windows'
//     contents are copied back over their place at once, from the pixmaps the manager draws
//     from, the server held meanwhile so that our own copy is told apart from the manager's
//     drawing. A window raised above ours, or a popup that dies, is painted over or painted away
//     within one round of events; raising ours again each time another client raises its own
//     would only have the manager draw it again, so ours are raised again at most ten times a
//     second there.
//   - No Composite: the windows stay children of the root and are raised again the moment any
//     other top-level window is mapped or restacked (the root's SubstructureNotify), or one of
//     ours is restacked or obscured, with no round trip on the way: while a reply is awaited, a
//     client raising its window in a loop keeps it on top.
//
// A kept window that is destroyed cannot be brought back here (its owner made it): the owner is
// told, makes it again and keeps the new one.

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <vector>

namespace vellomar::ui {

struct CoverRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const CoverRect&) const = default;
};

class LockWindows {
 public:
  // `display` stays owned by the caller and must outlive this object.
  explicit LockWindows(Display* display);
  ~LockWindows();

  // Keeps `window` at `rect` (root coordinates) from now on, above the windows kept before it.
  // Keeping a window already kept updates its rectangle and moves it to the top of ours.
  void Keep(Window window, const CoverRect& rect);
  // Stops keeping `window` (hidden or about to be destroyed by its owner); it goes back to the
  // root. The overlay is given back when nothing is kept.
  void Forget(Window window);
  bool Keeping(Window window) const;
  bool Empty() const { return kept_.empty(); }
  struct Kept {
    Window window;
    CoverRect rect;
  };
  // Our windows in the order they should stack, lowest first.
  const std::vector<Kept>& KeptWindows() const { return kept_; }

  // Called with a kept window that another client destroyed, and its rectangle; it is no longer
  // kept.
  void OnDestroyed(std::function<void(Window, const CoverRect&)> callback) {
    on_destroyed_ = std::move(callback);
  }

  // Whether an X event concerns the kept windows or what lies above them; the caller then runs
  // Check (soon, not necessarily at once: several events usually come together).
  bool Concerns(const XEvent& event) const;
  // Acts at once on the events that cannot wait for a check: the screen drawn on under a
  // compositing manager (painted over again), and another top-level window mapped or restacked,
  // or ours restacked or obscured, where ours must be raised again. True when nothing more is to be
  // done with the event (no check follows); the caller still passes the others to Concerns.
  bool OnEvent(const XEvent& event);
  // Puts every kept window back in place. Requests only what differs from what is wanted.
  void Check();
  // How many milliseconds until Check has a restack to do that it put off (-1: none).
  long CheckDueInMs() const;
  // The window the kept windows are children of (the overlay or the root).
  Window CoverParent() const { return parent_; }
  // Whether the kept windows are raised above every other window (the default). The guard keeps
  // its windows beneath the forms process's while that process lives, and on top when it is gone.
  void KeepOnTop(bool keep) { on_top_ = keep; }
  // A window of another client that may lie above ours (the guard's warning that the keyboard is
  // not safe), raised now; 0 for none.
  void AllowAbove(Window window);

 private:
  // The kept entry of `window`, or kept_.end().
  std::vector<Kept>::const_iterator Find(Window window) const;
  bool WantOverlay();
  void UseOverlay(bool use);
  void ShapeOverlay();
  // Nothing kept any more: the overlay given back, the root's children no longer watched.
  void Release();
  // Puts one window back as a child of `parent` (its shape too, when `unshape`). False when the
  // window is gone.
  bool KeepOne(const Kept& kept, Window parent, bool unshape = true);
  // The overlay in place and on top, the backstop right beneath it.
  void KeepOverlay();
  CoverRect BackstopRect() const;
  void KeepStacking();
  // Ours on top at once, in order (the window allowed above stays above), with no round trip.
  void RaiseOurs();
  // Told of what is drawn on the screen while a compositing manager draws it and ours are on top.
  void UseDamage(bool use);
  // Our windows' contents copied over their place where the screen was drawn on.
  void PaintOver();
  void Watch(Window window);

  Display* display_;
  Window root_;
  int shape_event_ = -1;  // the Shape extension's first event; -1 without it
  bool composite_ = false;
  Atom compositor_selection_ = 0;
  bool manager_ = false;      // a compositing manager draws the screen
  int damage_event_ = -1;     // the Damage extension's first event; -1 without it (or XFixes)
  int fixes_event_ = -1;      // XFixes' first event (the manager's selection changing hands)
  unsigned long damage_ = 0;  // the root's damage, while we paint over the manager
  GC paint_gc_ = nullptr;     // draws through the root's children
  // The requests of our last paint, between the server grab and its release: damage reported
  // with a serial in between is our own drawing.
  unsigned long painting_from_ = 0, painting_to_ = 0;
  std::chrono::steady_clock::time_point last_raise_{};
  bool raise_due_ = false;  // a restack put off under a compositing manager
  Window overlay_ = 0;      // held while windows are kept in it
  Window backstop_ = 0;     // ours, beneath the overlay while it is held
  // The overlay's shapes (bounding, input) as we found them, given back with it, and as the
  // server reported them after we last set them.
  std::vector<XRectangle> found_shape_[2];
  std::vector<XRectangle> set_shape_[2];
  std::vector<XRectangle> shaped_for_;  // the kept windows' rectangles those shapes were set for
  Window parent_;
  std::vector<Kept> kept_;  // lowest first
  bool on_top_ = true;
  Window allowed_above_ = 0;
  std::function<void(Window, const CoverRect&)> on_destroyed_;
};

}  // namespace vellomar::ui
