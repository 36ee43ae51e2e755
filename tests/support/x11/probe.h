#pragma once
// The X probe: what a second client of the display sees of a lock, shared by the end-to-end
// tests' helper programs and the benchmarks. Whether the keyboard can be grabbed, which windows
// are where (the Composite overlay included, which the root's window tree leaves out), what the
// screen shows at a point, and a client that races the lock for the keyboard.

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vellomar::xprobe {

// One try at the keyboard on the root window, let go at once when it succeeds; returns
// XGrabKeyboard's status (GrabSuccess, AlreadyGrabbed, ...). With `unseen` the try sits inside a
// server grab, so the lock never meets the probe's own short grab, and the release is only
// flushed; otherwise the call waits until the release has reached the server.
int TryGrabKeyboard(Display* display, bool unseen = false);

// The window's name (WM_NAME), "" when it has none.
std::string NameOf(Display* display, Window window);
// The name of `window` or of the first named window below it (a window manager's frame).
std::string NameBelow(Display* display, Window window, int depth = 0);
bool Viewable(Display* display, Window window);
// `window` and every window below it, depth first.
void ForEachWindow(Display* display, Window window, const std::function<void(Window)>& visit);
// A window titled `name` at most three levels below `window` (a viewable one with `visible`);
// 0 when there is none.
Window FindNamed(Display* display, Window window, const std::string& name, bool visible,
                 int depth = 0);
// The first window of the whole tree below the root titled `name`.
std::optional<Window> WindowNamed(Display* display, const char* name);

// The Composite overlay when the focus is in it: the ancestor of the focus window that is a child
// of the root without being listed among the root's children. 0 otherwise.
Window OverlayOfFocus(Display* display);
// Top-level windows, highest in the stacking order first: the overlay's children above the
// root's.
std::vector<Window> TopLevelsFromTop(Display* display);
// A window in the Composite overlay made by another client than `other`'s (the server gives each
// client its own block of resource ids): the lock's window that is not the guard's.
std::optional<Window> OverlayWindowNotOf(Display* display, Window other);

// The screen's pixel at x,y as the screen shows it (read through the root window, the overlay
// included); ~0 when the server refuses.
unsigned long PixelAt(Display* display, int x, int y);
// The pixel value of the lock's grey background.
unsigned long LockGrey(Display* display);
// The first of a few sample points in the rectangle that does not show `grey` (its corners and
// edges, where the lock draws nothing else), as "x,y shows 0xRRGGBB"; "" when all do.
std::string Uncovered(Display* display, unsigned long grey, int x, int y, int w, int h);

// A client of its own that grabs the keyboard and lets it go again as fast as the server answers,
// counting the grabs it got: each one is a moment another program could have read the keys.
class KeyboardRacer {
 public:
  using Clock = std::chrono::steady_clock;
  // Returns once the racer's connection is open and it has made its first try.
  KeyboardRacer();
  ~KeyboardRacer();
  KeyboardRacer(const KeyboardRacer&) = delete;
  KeyboardRacer& operator=(const KeyboardRacer&) = delete;

  void Stop();
  long wins() const { return wins_; }
  // From the first win to the last, in ms (0 without wins).
  double gap_ms() const;
  // When it last got the keyboard, if ever.
  std::optional<Clock::time_point> last_win() const;

 private:
  void Loop();

  std::atomic<bool> stop_{false};
  std::atomic<bool> trying_{false};
  std::atomic<long long> last_win_ns_{0};
  long wins_ = 0;
  Clock::time_point first_{}, last_{};
  std::thread thread_;
};

}  // namespace vellomar::xprobe
