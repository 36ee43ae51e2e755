#include "xlock/lock_windows.h"
#include "xlock/window_hints.h"

#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <optional>
#include <string>

namespace vellomar::ui {
namespace {

// A window's parent and its children, lowest first; nothing when the window is gone.
struct Tree {
  Window parent = 0;
  std::vector<Window> children;
};
std::optional<Tree> TreeOf(Display* display, Window window) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return std::nullopt;
  Tree tree{parent, std::vector<Window>(children, children + (children ? count : 0))};
  if (children) XFree(children);
  return tree;
}

Window ParentOf(Display* display, Window window) {
  const std::optional<Tree> tree = TreeOf(display, window);
  return tree ? tree->parent : 0;
}

// Adds `mask` to what this client hears from `window`, keeping what it already asked for.
void SelectMore(Display* display, Window window, long mask) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return;
  if ((attributes.your_event_mask & mask) == mask) return;
  XSelectInput(display, window, attributes.your_event_mask | mask);
}

void SelectLess(Display* display, Window window, long mask) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return;
  if (!(attributes.your_event_mask & mask)) return;
  XSelectInput(display, window, attributes.your_event_mask & ~mask);
}

// A window's shape of one kind as rectangles; an unshaped window reports its own bounds.
std::vector<XRectangle> ShapeOf(Display* display, Window window, int kind) {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(display, window, kind, &count, &ordering);
  std::vector<XRectangle> out(rects, rects + (rects ? count : 0));
  if (rects) XFree(rects);
  return out;
}

bool SameRects(const std::vector<XRectangle>& a, const std::vector<XRectangle>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const XRectangle& p, const XRectangle& q) {
                      return p.x == q.x && p.y == q.y && p.width == q.width && p.height == q.height;
                    });
}

XRectangle Rect(const CoverRect& rect) {
  return {static_cast<short>(rect.x), static_cast<short>(rect.y),
          static_cast<unsigned short>(std::max(rect.width, 1)),
          static_cast<unsigned short>(std::max(rect.height, 1))};
}

}  // namespace

LockWindows::LockWindows(Display* display)
    : display_(display), root_(DefaultRootWindow(display)), parent_(root_) {
  int event = 0, error = 0;
  if (XShapeQueryExtension(display_, &event, &error)) shape_event_ = event;
  int major = 0, minor = 0;
  composite_ = XCompositeQueryExtension(display_, &event, &error) &&
               XCompositeQueryVersion(display_, &major, &minor) &&
               (major > 0 || minor >= 3);  // the overlay window came with 0.3
  const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display_));
  compositor_selection_ = XInternAtom(display_, selection.c_str(), False);
  // Told when a compositing manager starts or ends, which changes the cover.
  if (XFixesQueryExtension(display_, &event, &error) &&
      XFixesQueryVersion(display_, &major, &minor) && major >= 2) {
    fixes_event_ = event;
    XFixesSelectSelectionInput(display_, root_, compositor_selection_,
                               XFixesSetSelectionOwnerNotifyMask |
                                   XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    if (XDamageQueryExtension(display_, &event, &error)) damage_event_ = event;
  }
}

LockWindows::~LockWindows() {
  kept_.clear();
  Release();
  if (fixes_event_ >= 0) XFixesSelectSelectionInput(display_, root_, compositor_selection_, 0);
}

void LockWindows::Release() {
  UseDamage(false);
  UseOverlay(false);
  SelectLess(display_, root_, SubstructureNotifyMask);
}

std::vector<LockWindows::Kept>::const_iterator LockWindows::Find(Window window) const {
  return std::find_if(kept_.begin(), kept_.end(),
                      [&](const Kept& kept) { return kept.window == window; });
}

void LockWindows::Keep(Window window, const CoverRect& rect) {
  if (const auto it = Find(window); it != kept_.end()) kept_.erase(it);
  kept_.push_back({window, rect});
  Watch(window);
  Check();
}

void LockWindows::Forget(Window window) {
  const auto it = Find(window);
  if (it == kept_.end()) return;
  const CoverRect rect = it->rect;
  kept_.erase(it);
  // Back to the root, where its owner can hide or destroy it as usual.
  if (parent_ != root_) XReparentWindow(display_, window, root_, rect.x, rect.y);
  if (kept_.empty()) {
    Release();
  } else {
    Check();
  }
}

bool LockWindows::Keeping(Window window) const {
  return Find(window) != kept_.end();
}

void LockWindows::AllowAbove(Window window) {
  if (window == allowed_above_) return;
  allowed_above_ = window;
  if (window) XRaiseWindow(display_, window);
}

void LockWindows::Watch(Window window) {
  SelectMore(display_, window, StructureNotifyMask | VisibilityChangeMask);
  if (shape_event_ >= 0) XShapeSelectInput(display_, window, ShapeNotifyMask);
}

bool LockWindows::WantOverlay() {
  // A compositing manager draws over the overlay, and (xcompmgr) draws again each time its own
  // drawing lands there, keeping the server busy: measured at a third of a core, for nothing.
  return composite_ && !kept_.empty() && !manager_;
}

namespace {
constexpr int kShapeKinds[2] = {ShapeBounding, ShapeInput};
// Under a compositing manager, the shortest time between two raises of ours.
constexpr std::chrono::milliseconds kRaisePause{100};
}  // namespace

void LockWindows::UseOverlay(bool use) {
  if (use == (overlay_ != 0)) return;
  if (use) {
    overlay_ = XCompositeGetOverlayWindow(display_, root_);
    if (!overlay_) {
      composite_ = false;  // the server would not give it: keep re-raising instead
      return;
    }
    for (int i = 0; i < 2; ++i) {
      found_shape_[i] = ShapeOf(display_, overlay_, kShapeKinds[i]);
      set_shape_[i].clear();
    }
    shaped_for_.clear();
    SelectMore(display_, overlay_, StructureNotifyMask | SubstructureNotifyMask);
    if (shape_event_ >= 0) XShapeSelectInput(display_, overlay_, ShapeNotifyMask);
    // Among the root's children only the overlay and the backstop matter now: told of every
    // change there, so that a window raised over the overlay is seen.
    SelectMore(display_, root_, SubstructureNotifyMask);
    parent_ = overlay_;
    ShapeOverlay();
  } else {
    parent_ = root_;
    if (backstop_) XDestroyWindow(display_, backstop_);
    backstop_ = 0;
  }
  for (const Kept& kept : kept_) {
    XReparentWindow(display_, kept.window, parent_, kept.rect.x, kept.rect.y);
  }
  if (!use) {
    // Give the overlay back as we found it: a compositing manager goes on using it.
    XShapeSelectInput(display_, overlay_, 0);
    SelectLess(display_, overlay_, StructureNotifyMask | SubstructureNotifyMask);
    for (int i = 0; i < 2; ++i) {
      XShapeCombineRectangles(display_, overlay_, kShapeKinds[i], 0, 0, found_shape_[i].data(),
                              static_cast<int>(found_shape_[i].size()), ShapeSet, Unsorted);
    }
    XCompositeReleaseOverlayWindow(display_, root_);
    overlay_ = 0;
  }
  XFlush(display_);
}

void LockWindows::ShapeOverlay() {
  // The overlay shows and takes input exactly where our windows are. The server hands a shape
  // back in its own banded form, so what it reported after our last change is what to compare
  // with: setting a shape again would only notify us again.
  std::vector<XRectangle> wanted;
  for (const Kept& kept : kept_) wanted.push_back(Rect(kept.rect));
  for (int i = 0; i < 2; ++i) {
    if (SameRects(wanted, shaped_for_) && !set_shape_[i].empty() &&
        SameRects(ShapeOf(display_, overlay_, kShapeKinds[i]), set_shape_[i])) {
      continue;
    }
    XShapeCombineRectangles(display_, overlay_, kShapeKinds[i], 0, 0, wanted.data(),
                            static_cast<int>(wanted.size()), ShapeSet, Unsorted);
    set_shape_[i] = ShapeOf(display_, overlay_, kShapeKinds[i]);
  }
  shaped_for_ = wanted;
}

void LockWindows::Check() {
  manager_ = XGetSelectionOwner(display_, compositor_selection_) != 0;
  UseOverlay(WantOverlay());
  UseDamage(manager_ && on_top_ && !kept_.empty());
  // Told of whatever is raised above ours while they are children of the root.
  if (!overlay_ && !kept_.empty()) SelectMore(display_, root_, SubstructureNotifyMask);
  if (overlay_) {
    KeepOverlay();
    ShapeOverlay();
  }
  std::vector<Kept> destroyed;
  for (const Kept& kept : kept_) {
    if (!KeepOne(kept, parent_)) destroyed.push_back(kept);
  }
  for (const Kept& gone : destroyed) kept_.erase(Find(gone.window));
  KeepStacking();
  if (kept_.empty()) Release();
  XFlush(display_);
  for (const Kept& gone : destroyed) {
    if (on_destroyed_) on_destroyed_(gone.window, gone.rect);
  }
}

CoverRect LockWindows::BackstopRect() const {
  // The kept windows' bounding box: for a lock, its window's place.
  int left = kept_.front().rect.x, top = kept_.front().rect.y;
  int right = left + kept_.front().rect.width, bottom = top + kept_.front().rect.height;
  for (const Kept& kept : kept_) {
    left = std::min(left, kept.rect.x);
    top = std::min(top, kept.rect.y);
    right = std::max(right, kept.rect.x + kept.rect.width);
    bottom = std::max(bottom, kept.rect.y + kept.rect.height);
  }
  return {left, top, right - left, bottom - top};
}

void LockWindows::KeepOverlay() {
  // Any client may move, resize, unmap, lower or reparent the overlay, and stack a window above
  // it; each is put back as for our own windows.
  int width = 0, height = 0;
  RootSize(display_, width, height);
  KeepOne({overlay_, {0, 0, width, height}}, root_, /*unshape=*/false);  // shaped by us
  // Its backstop: made again when another client destroyed it.
  const CoverRect rect = BackstopRect();
  XWindowAttributes attributes;
  if (!backstop_ || !XGetWindowAttributes(display_, backstop_, &attributes)) {
    XSetWindowAttributes set{};
    set.override_redirect = True;
    set.background_pixel = BlackPixel(display_, DefaultScreen(display_));
    backstop_ = XCreateWindow(display_, root_, rect.x, rect.y, static_cast<unsigned>(rect.width),
                              static_cast<unsigned>(rect.height), 0, CopyFromParent, InputOutput,
                              CopyFromParent, CWOverrideRedirect | CWBackPixel, &set);
    Watch(backstop_);
  }
  KeepOne({backstop_, rect}, root_);
  // The overlay the root's topmost child, the backstop right beneath it. Both processes of a lock
  // keep the overlay, each with a backstop of its own: only the one on top puts its backstop
  // right beneath the overlay, or each restacking its own would wake the other to do the same,
  // for as long as the lock is up.
  const std::optional<Tree> tree = TreeOf(display_, root_);
  if (!tree) return;
  const std::vector<Window>& children = tree->children;
  const std::size_t count = children.size();
  const bool overlay_on_top = count >= 1 && children[count - 1] == overlay_;
  const bool backstop_next = count >= 2 && children[count - 2] == backstop_;
  if (!overlay_on_top) XRaiseWindow(display_, overlay_);
  if (on_top_ && (!overlay_on_top || !backstop_next)) {
    XWindowChanges below{};
    below.sibling = overlay_;
    below.stack_mode = Below;
    XConfigureWindow(display_, backstop_, CWSibling | CWStackMode, &below);
  }
}

bool LockWindows::KeepOne(const Kept& kept, Window parent, bool unshape) {
  const Window window = kept.window;
  const CoverRect& rect = kept.rect;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display_, window, &attributes)) return false;  // destroyed
  // Before anything maps it again: a window without the flag would be framed, and could be
  // closed, by the window manager.
  if (!attributes.override_redirect) {
    XSetWindowAttributes set{};
    set.override_redirect = True;
    XChangeWindowAttributes(display_, window, CWOverrideRedirect, &set);
  }
  if (ParentOf(display_, window) != parent) {
    XReparentWindow(display_, window, parent, rect.x, rect.y);
  }
  if (attributes.border_width != 0) XSetWindowBorderWidth(display_, window, 0);
  if (attributes.x != rect.x || attributes.y != rect.y || attributes.width != rect.width ||
      attributes.height != rect.height) {
    XMoveResizeWindow(display_, window, rect.x, rect.y, static_cast<unsigned>(rect.width),
                      static_cast<unsigned>(rect.height));
  }
  if (unshape && shape_event_ >= 0) {
    const std::vector<XRectangle> whole = {Rect({0, 0, rect.width, rect.height})};
    for (int kind : {ShapeBounding, ShapeClip, ShapeInput}) {
      if (!SameRects(ShapeOf(display_, window, kind), whole)) {
        XShapeCombineMask(display_, window, kind, 0, 0, 0, ShapeSet);
      }
    }
  }
  if (attributes.map_state == IsUnmapped) XMapWindow(display_, window);
  return true;
}

void LockWindows::KeepStacking() {
  if (kept_.empty() || !on_top_) return;
  const std::optional<Tree> tree = TreeOf(display_, parent_);
  if (!tree) return;
  // Children come bottom to top. Ours must be the topmost, in the order kept; a window that is
  // not ours may lie above them only while it is not viewable.
  const std::vector<Window>& children = tree->children;
  const auto lowest = std::find(children.begin(), children.end(), kept_.front().window);
  bool in_order = lowest != children.end();
  std::size_t next = 0;
  for (auto it = lowest; it != children.end(); ++it) {
    const Window window = *it;
    if (next < kept_.size() && window == kept_[next].window) {
      ++next;
      continue;
    }
    if (Keeping(window)) {
      in_order = false;  // ours, but out of order
      break;
    }
    if (window == allowed_above_) continue;
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable) {
      in_order = false;
      break;
    }
  }
  if (in_order && next == kept_.size()) {
    raise_due_ = false;
    return;
  }
  // Under a compositing manager each raise of ours has it draw the whole lock again, and a client
  // raising its window in a loop then has it drawn over ours after each: ours are painted back
  // over it at once anyway (PaintOver), so the stacking is put right at most ten times a second.
  const auto now = std::chrono::steady_clock::now();
  if (manager_ && now - last_raise_ < kRaisePause) {
    raise_due_ = true;
    return;
  }
  raise_due_ = false;
  last_raise_ = now;
  RaiseOurs();
}

long LockWindows::CheckDueInMs() const {
  if (!raise_due_) return -1;
  const auto wait = kRaisePause - (std::chrono::steady_clock::now() - last_raise_);
  return std::max(
      0L,
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count()) + 1);
}

void LockWindows::RaiseOurs() {
  // The topmost first, each of the others right beneath the one above it: requests that change
  // nothing when ours are already in order, so that no window of ours is exposed for a moment.
  XWindowChanges changes{};
  changes.stack_mode = allowed_above_ ? Below : Above;
  changes.sibling = allowed_above_;
  XConfigureWindow(display_, kept_.back().window, CWStackMode | (allowed_above_ ? CWSibling : 0),
                   &changes);
  for (std::size_t i = kept_.size() - 1; i-- > 0;) {
    changes.sibling = kept_[i + 1].window;
    changes.stack_mode = Below;
    XConfigureWindow(display_, kept_[i].window, CWSibling | CWStackMode, &changes);
  }
}

void LockWindows::UseDamage(bool use) {
  if (use == (damage_ != 0) || (use && (damage_event_ < 0 || !composite_))) return;
  if (use) {
    damage_ = XDamageCreate(display_, root_, XDamageReportNonEmpty);
    XGCValues values{};
    values.subwindow_mode = IncludeInferiors;
    values.graphics_exposures = False;
    paint_gc_ = XCreateGC(display_, root_, GCSubwindowMode | GCGraphicsExposures, &values);
    PaintOver();
  } else {
    XDamageDestroy(display_, damage_);
    XFreeGC(display_, paint_gc_);
    damage_ = 0;
    paint_gc_ = nullptr;
  }
}

void LockWindows::PaintOver() {
  // With the server held no other client draws between the damage taken and our copy, and the
  // damage our copy makes is dropped before anyone else draws again.
  painting_from_ = NextRequest(display_);
  XGrabServer(display_);
  const XserverRegion drawn = XFixesCreateRegion(display_, nullptr, 0);
  XDamageSubtract(display_, damage_, None, drawn);
  XFixesSetGCClipRegion(display_, paint_gc_, 0, 0, drawn);
  // Lowest first, as they stack; the window allowed above ours (the guard's warning) last.
  std::vector<Kept> order = kept_;
  if (allowed_above_) order.push_back({allowed_above_, {}});
  for (const Kept& kept : order) {
    // The contents the manager draws from. A window that is unmapped has none (the request
    // fails, and the error is survived); it is mapped again by the next check.
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, kept.window, &attributes) ||
        attributes.map_state != IsViewable) {
      continue;
    }
    const Pixmap contents = XCompositeNameWindowPixmap(display_, kept.window);
    XCopyArea(display_, contents, root_, paint_gc_, 0, 0, static_cast<unsigned>(attributes.width),
              static_cast<unsigned>(attributes.height), attributes.x, attributes.y);
    XFreePixmap(display_, contents);
  }
  XFixesDestroyRegion(display_, drawn);
  XDamageSubtract(display_, damage_, None, None);
  painting_to_ = NextRequest(display_);
  XUngrabServer(display_);
  XFlush(display_);
}

bool LockWindows::OnEvent(const XEvent& event) {
  if (damage_ && event.type == damage_event_ + XDamageNotify) {
    // Reported with a serial between our grab and its release: drawn by our own copy.
    if (event.xany.serial <= painting_from_ || event.xany.serial >= painting_to_) PaintOver();
    return true;
  }
  if (overlay_ || manager_ || !on_top_ || kept_.empty()) return false;
  // Without the overlay, every moment another top-level window lies above ours it shows: ours go
  // back on top at once, with no check and nothing for the toolkit. A check's round trips, or the
  // toolkit's own after a restack of its window, would leave a client that raises its window in a
  // tight loop on top while they wait.
  bool raise = false;
  if (event.type == VisibilityNotify && Keeping(event.xvisibility.window)) {
    // Another window lies over one of ours. What was raised or mapped above them is reported by
    // the root too; raising here as well costs nothing.
    raise = event.xvisibility.state != VisibilityUnobscured;
  } else if (event.type == ConfigureNotify && Keeping(event.xconfigure.window)) {
    // One of ours restacked, by our own raise or by another client: raised again, a request that
    // changes nothing when ours are in order, and then reports nothing. Moved or sized, it is
    // left to the check.
    const XConfigureEvent& configure = event.xconfigure;
    const CoverRect& rect = Find(configure.window)->rect;
    if (configure.x != rect.x || configure.y != rect.y || configure.width != rect.width ||
        configure.height != rect.height || configure.border_width != 0) {
      return false;
    }
    // The root's report and the window's own come for one change: one raise.
    raise = event.xany.window == root_;
  } else if (event.xany.window == root_ &&
             (event.type == MapNotify || event.type == ConfigureNotify)) {
    // Another top-level window mapped or restacked.
    const Window other = event.type == MapNotify ? event.xmap.window : event.xconfigure.window;
    if (other == allowed_above_ || Keeping(other)) return false;
    raise = true;
  } else {
    return false;
  }
  if (raise) {
    RaiseOurs();
    XFlush(display_);
  }
  return true;
}

bool LockWindows::Concerns(const XEvent& event) const {
  if (kept_.empty()) return false;
  if (fixes_event_ >= 0 && event.type == fixes_event_ + XFixesSelectionNotify) return true;
  if (shape_event_ >= 0 && event.type == shape_event_ + ShapeNotify) {
    const auto& shape = reinterpret_cast<const XShapeEvent&>(event);
    return shape.window == overlay_ || shape.window == backstop_ || Keeping(shape.window);
  }
  if (!StructureEvent(event.type) && event.type != VisibilityNotify) return false;
  // Our own windows, the overlay and whatever happens among the root's children.
  return event.xany.window == parent_ || event.xany.window == root_ ||
         event.xany.window == overlay_ || event.xany.window == backstop_ ||
         Keeping(event.xany.window);
}

}  // namespace vellomar::ui
