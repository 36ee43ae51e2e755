// kill-bench: how long a lock stays open after one of its processes is killed.
//
//   kill-bench PID PROGRAM X Y W H
//   kill-bench xkill FORMS-PROGRAM GUARD-PROGRAM guard-first|forms-first GAP-MS
//
// Sends SIGKILL to PID and measures from that moment until all of these hold:
//   - PID is gone (ended, or a zombie waiting for its parent);
//   - a process running PROGRAM (by its executable) other than PID is there again: the restarted
//     kestrom.exe or the new guard;
//   - another client's keyboard grab is refused;
//   - every sample point of the rectangle X Y W H shows the lock's grey (none when W is 0).
// Prints the milliseconds and, after "free", how long the keyboard could be grabbed by another
// client meanwhile (0 when every try was refused). Meanwhile a second client grabs and lets go
// of the keyboard in a tight loop, from just before the kill until the lock holds again; after
// "wins" the line gives how often it got the keyboard and, after "gap", the milliseconds from its
// first win to its last.
//
// The xkill form ends both processes' X connections with XKillClient, as any client may: the
// guard's (found by its windows' name, "vellomar-guard") and kestrom.exe's (a lock window in
// the Composite overlay made by another client than the guard), in the order given and GAP-MS
// apart. Three seconds later it tries to grab the keyboard and prints whether the lock still held
// it ("held 1") and how many processes of each program run.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "processes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool Gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const auto close = line.rfind(')');
  return close == std::string::npos || line.compare(close + 2, 1, "Z") == 0;
}

bool OtherRuns(const fs::path& program, pid_t old) {
  for (pid_t pid : bench::ProcessesRunning(program)) {
    if (pid != old) return true;
  }
  return false;
}

bool KeyboardHeld(Display* display, bool& free) {
  const int status = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync,
                                   GrabModeAsync, CurrentTime);
  if (status == GrabSuccess) {
    XUngrabKeyboard(display, CurrentTime);
    XSync(display, False);
    free = true;
    return false;
  }
  free = false;
  return true;
}

bool Covered(Display* display, unsigned long grey, int x, int y, int w, int h) {
  if (w <= 0) return true;
  const int inset = 6;
  for (int px : {x + inset, x + w / 2, x + w - 1 - inset}) {
    for (int py : {y + inset, y + h - 1 - inset}) {
      XImage* image =
          XGetImage(display, DefaultRootWindow(display), px, py, 1, 1, AllPlanes, ZPixmap);
      if (!image) return false;
      const unsigned long pixel = XGetPixel(image, 0, 0);
      XDestroyImage(image);
      if (pixel != grey) return false;
    }
  }
  return true;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A client that grabs the keyboard and lets it go again as fast as the server answers, counting
// the grabs it got: each one is a moment another program could have read the keys.
class Grabber {
 public:
  // Returns once the grabber's connection is open and it has made its first try.
  Grabber() : thread_([this] { Loop(); }) {
    while (!trying_ && !stop_) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  ~Grabber() { Stop(); }
  Grabber(const Grabber&) = delete;
  Grabber& operator=(const Grabber&) = delete;

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long wins() const { return wins_; }
  // From the first win to the last, in ms (0 without wins).
  double gap() const { return wins_ ? Ms(last_ - first_) : 0.0; }
  // When it last got the keyboard, if ever.
  std::optional<Clock::time_point> last_win() const {
    const long long ns = last_win_ns_;
    if (ns == 0) return std::nullopt;
    return Clock::time_point(std::chrono::nanoseconds(ns));
  }

 private:
  void Loop() {
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

  std::atomic<bool> stop_{false};
  std::atomic<bool> trying_{false};
  std::atomic<long long> last_win_ns_{0};
  long wins_ = 0;
  Clock::time_point first_{}, last_{};
  std::thread thread_;
};

// Every window below `window`, depth first.
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

std::optional<Window> WindowNamed(Display* display, const char* name) {
  std::optional<Window> found;
  ForEachWindow(display, DefaultRootWindow(display), [&](Window w) {
    char* title = nullptr;
    if (!found && XFetchName(display, w, &title) && title) {
      if (std::strcmp(title, name) == 0) found = w;
    }
    if (title) XFree(title);
  });
  return found;
}

// The server gives each client a block of resource IDs; a window's block names its client.
constexpr XID kClientBits = ~static_cast<XID>(0x1fffff);

// A window of kestrom.exe: its lock windows are children of the Composite overlay, where the
// guard's windows may be too; the first overlay child whose client is not the guard's.
std::optional<Window> LockWindowNotOf(Display* display, Window guard) {
  const Window overlay = XCompositeGetOverlayWindow(display, DefaultRootWindow(display));
  std::optional<Window> found;
  ForEachWindow(display, overlay, [&](Window w) {
    if (!found && w != overlay && (w & kClientBits) != (guard & kClientBits)) found = w;
  });
  XCompositeReleaseOverlayWindow(display, DefaultRootWindow(display));
  return found;
}

int KillClients(Display* display, const fs::path& forms, const fs::path& guard,
                const std::string& order, int gap_ms) {
  const std::vector<pid_t> forms_pids = bench::ProcessesRunning(forms);
  if (forms_pids.empty()) {
    std::printf("no %s running\n", forms.filename().c_str());
    return 2;
  }
  const std::optional<Window> guard_window = WindowNamed(display, "vellomar-guard");
  const std::optional<Window> forms_window =
      guard_window ? LockWindowNotOf(display, *guard_window) : std::nullopt;
  if (!guard_window || !forms_window) {
    std::printf("window not found:%s%s\n", guard_window ? "" : " guard",
                forms_window ? "" : " kestrom.exe");
    return 2;
  }
  const bool guard_first = order == "guard-first";
  XKillClient(display, guard_first ? *guard_window : *forms_window);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
  XKillClient(display, guard_first ? *forms_window : *guard_window);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  bool free = false;
  const bool held = KeyboardHeld(display, free);
  std::printf("%s gap %d ms: held %d, kestrom.exe running %zu, guard running %zu\n", order.c_str(),
              gap_ms, held ? 1 : 0, bench::ProcessesRunning(forms).size(),
              bench::ProcessesRunning(guard).size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "xkill") == 0) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 2;
    const int status = KillClients(display, argv[2], argv[3], argv[4], std::atoi(argv[5]));
    XCloseDisplay(display);
    return status;
  }
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: kill-bench PID PROGRAM X Y W H\n"
                 "       kill-bench xkill FORMS-PROGRAM GUARD-PROGRAM guard-first|forms-first "
                 "GAP-MS\n");
    return 2;
  }
  const pid_t pid = std::atoi(argv[1]);
  const fs::path program = argv[2];
  const int x = std::atoi(argv[3]), y = std::atoi(argv[4]);
  const int w = std::atoi(argv[5]), h = std::atoi(argv[6]);
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 2;
  XColor grey{};
  grey.red = grey.green = grey.blue = 192 * 257;
  grey.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &grey);

  Grabber grabber;
  const auto start = Clock::now();
  kill(pid, SIGKILL);
  Clock::duration free_time{};
  auto last = start;
  while (Clock::now() - start < std::chrono::seconds(10)) {
    bool free = false;
    const bool held = KeyboardHeld(display, free);
    const auto now = Clock::now();
    if (free) free_time += now - last;
    last = now;
    // A refusal just after the grabber's own win may be the grabber holding it.
    const auto grabber_won = grabber.last_win();
    const bool grabber_quiet = !grabber_won || now - *grabber_won > std::chrono::milliseconds(50);
    if (held && grabber_quiet && Gone(pid) && OtherRuns(program, pid) &&
        Covered(display, grey.pixel, x, y, w, h)) {
      const double ms = Ms(Clock::now() - start);
      grabber.Stop();
      std::printf("%.1f free %.1f wins %ld gap %.1f\n", ms, Ms(free_time), grabber.wins(),
                  grabber.gap());
      return 0;
    }
  }
  grabber.Stop();
  std::printf("timeout free %.1f wins %ld gap %.1f\n", Ms(free_time), grabber.wins(),
              grabber.gap());
  return 1;
}
