#pragma once
// Keeps the windows that cover a locked screen where they belong, whatever other clients do to
// them. Plain Xlib (with the Shape and Composite extensions), nothing of the toolkit.
//
// Any client of the X server may move, resize, reshape, reparent, unmap, restack or destroy any
// window, and clear its override-redirect flag. Each kept window has a wanted rectangle; whenever
// the server reports a change (or the caller asks for a check) every kept window is put back:
// override-redirect set again before anything maps it, reparented to the cover parent, moved and
// sized to its rectangle, unshaped, mapped, and stacked above every window that is not ours.
//
// The cover parent is the Composite overlay window where the server has one: it lies above every
// ordinary window, so no other client's window can be raised over the lock, however often it
// tries. The overlay is kept like a lock window (at the root's corner at the screen's size, a
// mapped child of the root above all the others), and beneath it a black window of ours, kept the
// same way, covers the kept windows' place should the overlay be taken away for a moment. Without a
// compositing manager the overlay is shaped to the kept windows, so that a lock that leaves the
// taskbar strip free leaves it visible and usable; with one (it draws the whole screen into the
// overlay) only a lock covering the whole screen uses it. Otherwise the windows stay children of
// the root and are raised again each time something is stacked above them.
//
// A kept window that is destroyed cannot be brought back here (its owner made it): the owner is
// told, makes it again and keeps the new one.

#include <X11/Xlib.h>

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
  // Puts every kept window back in place. Requests only what differs from what is wanted.
  void Check();
  // The window the kept windows are children of (the overlay or the root).
  Window CoverParent() const { return parent_; }
  // Whether the kept windows are raised above every other window (the default). The guard keeps
  // its windows beneath the forms process's while that process lives, and on top when it is gone.
  void KeepOnTop(bool keep) { on_top_ = keep; }
  // A window of another client that may lie above ours (the guard's warning that the keyboard is
  // not safe), raised now; 0 for none.
  void AllowAbove(Window window);

 private:
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
  void Watch(Window window);

  Display* display_;
  Window root_;
  int shape_event_ = -1;  // the Shape extension's first event; -1 without it
  bool composite_ = false;
  Atom compositor_selection_ = 0;
  Window overlay_ = 0;   // held while windows are kept in it
  Window backstop_ = 0;  // ours, beneath the overlay while it is held
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
