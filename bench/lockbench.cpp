// lockbench: measures a screen locker from a second X client.
//
//   lockbench run [options] -- COMMAND [ARGS...]
//     Starts COMMAND and times exec -> keyboard grab held and exec -> screen covered, then reads
//     the peak resident memory of every process it started and, with --idle-s, the CPU it uses
//     while locked and idle, or with --keys, the time from a key press to its mask character.
//     Ends it with everything it started and names which process held the grab. Prints one line
//     of key=value pairs, a failure included.
//   lockbench report [--ratio NAME/NAME] NAME=FILE...
//     Reads the lines `run` printed (one file per locker) and prints a Markdown table.
//
// How the grab is seen: the probe tries XGrabKeyboard on the root window about every millisecond.
// While nobody holds the keyboard the try succeeds and is undone at once; AlreadyGrabbed means
// the locker holds it. Each try sits inside XGrabServer/XUngrabServer, so the locker never
// meets the probe's own short grab. The connection is opened and everything the child needs is
// prepared before the clock starts; between exec and grab the probe only polls.
//
// How the cover is seen: before the clock starts the root window gets a solid colour no locker
// uses, and the probe checks that the screen shows it. In the same poll it reads a few screen
// pixels through the root window (centre and near each corner); the screen is covered when none
// of them shows the desktop colour any more, that is, when the locker's windows are mapped and
// drawn. Reading the root reads what the screen shows, the Composite overlay included.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "processes.h"
#include "support/x11/probe.h"

namespace {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void SleepMs(double ms) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ms / 1e3);
  ts.tv_nsec = static_cast<long>((ms - static_cast<double>(ts.tv_sec) * 1e3) * 1e6);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "lockbench: %s\n", why.c_str());
  std::exit(2);
}

// ---------------------------------------------------------------------------------------------
// The probe

enum class KeyboardState { kFree, kHeldByOther, kOther };

// One try: grab the keyboard on the root window and release it at once, all inside a server
// grab so no other client can observe the probe holding it.
KeyboardState ProbeKeyboard(Display* display) {
  const int status = vellomar::xprobe::TryGrabKeyboard(display, /*unseen=*/true);
  if (status == GrabSuccess) return KeyboardState::kFree;
  if (status == AlreadyGrabbed) return KeyboardState::kHeldByOther;
  return KeyboardState::kOther;
}

// Waits until nobody holds the keyboard (a previous locker's grab is gone).
bool WaitKeyboardFree(Display* display, double timeout_ms) {
  const double deadline = NowMs() + timeout_ms;
  while (ProbeKeyboard(display) != KeyboardState::kFree) {
    if (NowMs() > deadline) return false;
    SleepMs(5);
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The screen

// The desktop: a colour none of the lockers measured draws.
constexpr unsigned short kDesktopRgb[3] = {0x6e6e, 0x3a3a, 0x5f5f};

class Screen {
 public:
  Screen(Display* display, Window root) : display_(display), root_(root) {
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    const int margin = 8;
    points_ = {{width / 2, height / 2},
               {margin, margin},
               {width - 1 - margin, margin},
               {margin, height - 1 - margin},
               {width - 1 - margin, height - 1 - margin}};
    XColor colour{};
    colour.red = kDesktopRgb[0];
    colour.green = kDesktopRgb[1];
    colour.blue = kDesktopRgb[2];
    colour.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(display, DefaultColormap(display, screen), &colour)) {
      Fail("cannot allocate the desktop colour");
    }
    desktop_pixel_ = colour.pixel;
  }

  // Paints the root window in the desktop colour.
  void ShowDesktop() {
    XSetWindowBackground(display_, root_, desktop_pixel_);
    XClearWindow(display_, root_);
    XSync(display_, False);
  }

  // How many sample points show the desktop colour.
  int DesktopPoints() {
    int showing = 0;
    for (const auto& [x, y] : points_) {
      if (vellomar::xprobe::PixelAt(display_, x, y) == desktop_pixel_) ++showing;
    }
    return showing;
  }
  bool Covered() { return DesktopPoints() == 0; }

  // Waits until every sample point shows the desktop (the previous locker's windows are gone).
  bool WaitDesktopShown(double timeout_ms) {
    const double deadline = NowMs() + timeout_ms;
    while (DesktopPoints() != static_cast<int>(points_.size())) {
      if (NowMs() > deadline) return false;
      SleepMs(5);
    }
    return true;
  }

 private:
  Display* display_;
  Window root_;
  std::vector<std::pair<int, int>> points_;
  unsigned long desktop_pixel_ = 0;
};

// ---------------------------------------------------------------------------------------------
// /proc readings

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// VmHWM in kB, or -1.
long PeakRssKb(pid_t pid) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// utime + stime of the whole process, in clock ticks, or -1.
long long CpuTicks(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  // The command name may hold spaces; fields are counted after its closing parenthesis.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long long utime = 0;
  long long stime = 0;
  for (int index = 3; fields >> field; ++index) {
    if (index == 14) utime = std::atoll(field.c_str());
    if (index == 15) {
      stime = std::atoll(field.c_str());
      return utime + stime;
    }
  }
  return -1;
}

// Time on CPU summed over every thread, in nanoseconds (finer than clock ticks), or -1.
long long CpuNanos(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  long long total = 0;
  bool any = false;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::istringstream schedstat(ReadFile(task.path().string() + "/schedstat"));
    long long on_cpu = 0;
    if (schedstat >> on_cpu) {
      total += on_cpu;
      any = true;
    }
  }
  return any ? total : -1;
}

int ThreadCount(pid_t pid) {
  std::error_code error;
  int count = 0;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    (void)task;
    ++count;
  }
  return count;
}

// ---------------------------------------------------------------------------------------------
// Key latency: an XTEST key press to the mask character on the screen

// A rectangle of the screen, read as the screen shows it.
class Area {
 public:
  Area(Display* display, Window root, int x, int y, int w, int h)
      : display_(display), root_(root), x_(x), y_(y), w_(w), h_(h) {}
  ~Area() {
    if (image_ != nullptr) XDestroyImage(image_);
  }
  Area(const Area&) = delete;
  Area& operator=(const Area&) = delete;

  // Reads the rectangle again; false when the server refuses.
  bool Read() {
    if (image_ != nullptr) XDestroyImage(image_);
    image_ = XGetImage(display_, root_, x_, y_, static_cast<unsigned>(w_),
                       static_cast<unsigned>(h_), AllPlanes, ZPixmap);
    return image_ != nullptr;
  }
  // The pixels as last read, row after row.
  std::vector<unsigned long> Pixels() const {
    std::vector<unsigned long> pixels;
    if (image_ == nullptr) return pixels;
    pixels.reserve(static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_));
    for (int row = 0; row < h_; ++row) {
      for (int col = 0; col < w_; ++col) pixels.push_back(XGetPixel(image_, col, row));
    }
    return pixels;
  }
  int x() const { return x_; }
  int y() const { return y_; }
  int w() const { return w_; }
  int h() const { return h_; }

 private:
  Display* display_;
  Window root_;
  int x_, y_, w_, h_;
  XImage* image_ = nullptr;
};

// The columns and rows where two readings of one area differ; empty when equal.
struct Change {
  int left = 0, top = 0, right = -1, bottom = -1;
  bool empty() const { return right < left; }
  int width() const { return right - left + 1; }
};
Change Diff(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b, int w) {
  Change change{w, 0, -1, -1};
  bool any = false;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] == b[i]) continue;
    const int col = static_cast<int>(i % static_cast<std::size_t>(w));
    const int row = static_cast<int>(i / static_cast<std::size_t>(w));
    if (!any) change.top = row;
    any = true;
    change.left = std::min(change.left, col);
    change.right = std::max(change.right, col);
    change.bottom = row;
  }
  if (!any) return Change{};
  return change;
}

void TypeKey(Display* display, KeySym keysym, bool press) {
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press ? True : False, 0);
  XFlush(display);
}

// Reads `area` until it differs from `before` by a change at least `min_width` columns wide (a
// character, not a text cursor's one-pixel line); returns when, or nothing at `timeout_ms`.
std::optional<double> WaitChange(Area& area, const std::vector<unsigned long>& before,
                                 int min_width, double timeout_ms) {
  const double deadline = NowMs() + timeout_ms;
  while (NowMs() < deadline) {
    if (area.Read()) {
      const Change change = Diff(before, area.Pixels(), area.w());
      if (!change.empty() && change.width() >= min_width) return NowMs();
    }
    SleepMs(0.2);
  }
  return std::nullopt;
}

// Waits until two readings `quiet_ms` apart are equal (the box has finished drawing).
std::vector<unsigned long> WaitStill(Area& area, double quiet_ms, double timeout_ms) {
  const double deadline = NowMs() + timeout_ms;
  area.Read();
  std::vector<unsigned long> last = area.Pixels();
  while (NowMs() < deadline) {
    SleepMs(quiet_ms);
    area.Read();
    std::vector<unsigned long> now = area.Pixels();
    if (now == last) return now;
    last = std::move(now);
  }
  return last;
}

// Times `count` presses of a letter, each from the XTEST request to the moment the password box
// shows a new character, with BackSpace between so each mask lands in the same place. The box is
// found by the first, untimed press: the rows where the whole screen changed. After that only
// those rows (full width) are read, which takes well under a millisecond.
std::vector<double> KeyLatencies(Display* display, Window root, int count, std::string& error,
                                 std::string& where) {
  std::vector<double> latencies;
  int event = 0, reply = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &reply, &major, &minor)) {
    error = "no_xtest";
    return latencies;
  }
  const int screen = DefaultScreen(display);
  const int width = DisplayWidth(display, screen);
  const int height = DisplayHeight(display, screen);
  Area whole(display, root, 0, 0, width, height);
  const std::vector<unsigned long> before = WaitStill(whole, 100, 2000);
  TypeKey(display, XK_a, true);
  TypeKey(display, XK_a, false);
  if (!WaitChange(whole, before, 3, 3000)) {
    error = "no_mask_seen";
    return latencies;
  }
  const Change box = Diff(before, WaitStill(whole, 50, 1000), width);
  where = std::to_string(box.left) + "," + std::to_string(box.top) + "-" +
          std::to_string(box.right) + "," + std::to_string(box.bottom);
  const int top = std::max(0, box.top - 2);
  const int bottom = std::min(height - 1, box.bottom + 2);
  Area rows(display, root, 0, top, width, bottom - top + 1);
  TypeKey(display, XK_BackSpace, true);
  TypeKey(display, XK_BackSpace, false);
  for (int i = 0; i < count; ++i) {
    const std::vector<unsigned long> empty_box = WaitStill(rows, 30, 1000);
    const double pressed = NowMs();
    TypeKey(display, XK_a, true);
    const std::optional<double> drawn = WaitChange(rows, empty_box, 3, 2000);
    TypeKey(display, XK_a, false);
    if (!drawn) {
      error = "mask_not_seen_after_" + std::to_string(i);
      break;
    }
    latencies.push_back(*drawn - pressed);
    WaitStill(rows, 30, 1000);
    TypeKey(display, XK_BackSpace, true);
    TypeKey(display, XK_BackSpace, false);
  }
  return latencies;
}

// ---------------------------------------------------------------------------------------------
// run

struct RunOptions {
  std::string label = "locker";
  std::string cwd;
  std::string log = "/dev/null";
  std::vector<std::string> env;  // NAME=VALUE added to the inherited environment
  double timeout_ms = 10000;
  double poll_ms = 1.0;
  double settle_ms = 500;
  double idle_s = 0;
  bool cover = true;  // wait for the screen to be covered (not for a prompt that leaves it free)
  int keys = 0;       // key presses timed to their mask character after the settle
  std::vector<std::string> command;
};

// The locker's process tree. The probe makes itself the subreaper of its descendants, so a
// helper in a session of its own (kestrom.exe's guard) and whatever that helper starts again are
// still found below the probe after their parent dies, and no process of another user or run is
// ever touched.
std::map<pid_t, pid_t> ParentsOfAll() {
  std::map<pid_t, pid_t> parents;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadFile(entry.path().string() + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    if (fields >> state >> parent) parents[std::stoi(name)] = parent;
  }
  return parents;
}

std::vector<pid_t> Descendants() {
  const std::map<pid_t, pid_t> parents = ParentsOfAll();
  std::vector<pid_t> found{getpid()};
  for (std::size_t i = 0; i < found.size(); ++i) {
    for (const auto& [pid, parent] : parents) {
      if (parent == found[i]) found.push_back(pid);
    }
  }
  found.erase(found.begin());
  return found;
}

bool Zombie(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || stat.compare(close + 2, 1, "Z") == 0;
}

// Every process below the probe except `pid` and zombies: the locker's helpers.
std::vector<pid_t> HelpersOf(pid_t pid) {
  std::vector<pid_t> helpers;
  for (pid_t p : Descendants()) {
    if (p != pid && !Zombie(p)) helpers.push_back(p);
  }
  return helpers;
}

void ReapChildren() {
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

// Ends the locker and everything it started. Every process of the tree is stopped first, so none
// can start another while the others die (kestrom.exe's guard would start kestrom.exe again, and
// kestrom.exe a new guard). Then the started process alone is killed: if the keyboard comes free,
// it held the grab; if it stays grabbed, a helper did. Returns who held it ("" when unknown), and
// only when the tree is gone and reaped.
std::string EndLocker(Display* display, pid_t pid) {
  for (pid_t p : Descendants()) kill(p, SIGSTOP);
  const std::string name = bench::ProcessName(pid);
  std::string holder;
  const bool held = ProbeKeyboard(display) == KeyboardState::kHeldByOther;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  if (held) {
    const std::vector<pid_t> helpers = HelpersOf(pid);
    holder = WaitKeyboardFree(display, helpers.empty() ? 3000 : 1000) ? name : "";
    if (holder.empty() && !helpers.empty()) holder = bench::ProcessName(helpers.front());
  }
  const double deadline = NowMs() + 5000;
  for (std::vector<pid_t> left = Descendants(); !left.empty() && NowMs() < deadline;
       left = Descendants()) {
    for (pid_t p : left) kill(p, SIGKILL);
    ReapChildren();
    SleepMs(5);
  }
  return holder;
}

// Lockers of any run still on the machine, as "name:count,...": what a keyboard found grabbed
// before the start is most likely held by.
std::string LockersRunning() {
  std::map<std::string, int> counts;
  for (const auto& [pid, parent] : ParentsOfAll()) {
    (void)parent;
    const std::string name = bench::ProcessName(pid);
    if (name == "kestrom.exe" || name == "vellomar-guard" || name == "i3lock" || name == "slock") {
      ++counts[name];
    }
  }
  std::string text;
  for (const auto& [name, count] : counts) {
    text += (text.empty() ? "" : ",") + name + ":" + std::to_string(count);
  }
  return text.empty() ? "none" : text;
}

// A run that cannot start still prints its line, naming why, so the table counts it.
[[noreturn]] void FailRun(const RunOptions& options, const std::string& error) {
  std::printf("label=%s error=%s\n", options.label.c_str(), error.c_str());
  std::exit(1);
}

int Run(const RunOptions& options) {
  // Orphans of the locker (a helper whose parent died, or what it restarted) come to the probe.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) FailRun(options, "cannot_open_display");
  fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
  const Window root = DefaultRootWindow(display);
  if (!WaitKeyboardFree(display, 3000)) {
    FailRun(options, "keyboard_held_before_start running=" + LockersRunning());
  }
  Screen screen(display, root);
  screen.ShowDesktop();
  if (!screen.WaitDesktopShown(3000)) {
    FailRun(options, "desktop_not_shown_before_start running=" + LockersRunning());
  }

  // Everything the child needs, prepared before the clock starts.
  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) env_text.emplace_back(*entry);
  for (const std::string& added : options.env) {
    const std::string name = added.substr(0, added.find('=') + 1);
    std::erase_if(env_text, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env_text.push_back(added);
  }
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_text = options.command;
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int log_fd = open(options.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log_fd < 0) FailRun(options, "cannot_open_log");
  std::fflush(nullptr);

  const double start = NowMs();
  const pid_t pid = fork();
  if (pid < 0) FailRun(options, "fork_failed");
  if (pid == 0) {
    dup2(log_fd, STDOUT_FILENO);
    dup2(log_fd, STDERR_FILENO);
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }

  // Both moments in one poll; a locker that never covers the screen (or draws in the desktop
  // colour) still has its grab timed, and its cover is reported missing.
  std::optional<double> grab_ms;
  std::optional<double> cover_ms;
  long long start_cpu_ns = -1;  // how much CPU the start-up up to the grab took
  std::string error;
  while (!grab_ms || (!cover_ms && options.cover)) {
    if (!grab_ms && ProbeKeyboard(display) == KeyboardState::kHeldByOther) {
      grab_ms = NowMs() - start;
      start_cpu_ns = CpuNanos(pid);
    }
    if (options.cover && !cover_ms && screen.Covered()) cover_ms = NowMs() - start;
    if (grab_ms && (cover_ms || !options.cover)) break;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      error = WIFEXITED(status) ? "exited_" + std::to_string(WEXITSTATUS(status))
                                : "signal_" + std::to_string(WTERMSIG(status));
      break;
    }
    if (NowMs() - start > options.timeout_ms) {
      if (!grab_ms) error = "timeout";
      break;
    }
    SleepMs(options.poll_ms);
  }

  std::printf("label=%s", options.label.c_str());
  if (!grab_ms || !error.empty()) {
    // What the locker left behind (kestrom.exe's guard goes on after it) ends with it.
    EndLocker(display, pid);
    std::printf(" error=%s\n", error.c_str());
    XCloseDisplay(display);
    return 1;
  }
  SleepMs(options.settle_ms);
  long long idle_ticks = -1;
  long long idle_ns = -1;
  if (options.idle_s > 0) {
    const long long ticks_before = CpuTicks(pid);
    const long long ns_before = CpuNanos(pid);
    SleepMs(options.idle_s * 1e3);
    const long long ticks_after = CpuTicks(pid);
    const long long ns_after = CpuNanos(pid);
    if (ticks_before >= 0 && ticks_after >= 0) idle_ticks = ticks_after - ticks_before;
    if (ns_before >= 0 && ns_after >= 0) idle_ns = ns_after - ns_before;
  }
  std::vector<double> keys_ms;
  std::string keys_error;
  std::string keys_where;  // the first mask's rectangle on the screen
  if (options.keys > 0) keys_ms = KeyLatencies(display, root, options.keys, keys_error, keys_where);
  const long hwm_kb = PeakRssKb(pid);
  const int threads = ThreadCount(pid);
  // The helpers' memory, each under its program's name (kestrom.exe's guard).
  std::string helpers_hwm;
  for (pid_t helper : HelpersOf(pid)) {
    helpers_hwm += (helpers_hwm.empty() ? "" : ",") + bench::ProcessName(helper) + ":" +
                   std::to_string(PeakRssKb(helper));
  }
  const bool still_held = ProbeKeyboard(display) == KeyboardState::kHeldByOther;

  const std::string program = bench::ProcessName(pid);
  const std::string holder = EndLocker(display, pid);
  const bool released = WaitKeyboardFree(display, 3000);
  XCloseDisplay(display);

  std::printf(" grab_ms=%.3f cover_ms=%.3f start_cpu_ms=%.3f hwm_kb=%ld threads=%d held_at_end=%d",
              *grab_ms, cover_ms.value_or(-1.0),
              start_cpu_ns >= 0 ? static_cast<double>(start_cpu_ns) / 1e6 : -1.0, hwm_kb, threads,
              still_held ? 1 : 0);
  std::printf(" program=%s", program.c_str());
  if (!helpers_hwm.empty()) std::printf(" helpers_hwm_kb=%s", helpers_hwm.c_str());
  if (!holder.empty()) std::printf(" grab_holder=%s", holder.c_str());
  if (options.keys > 0) {
    std::string list;
    for (double ms : keys_ms) list += (list.empty() ? "" : ",") + Format("%.3f", ms);
    std::printf(" keys_ms=%s", list.empty() ? "none" : list.c_str());
    if (!keys_where.empty()) std::printf(" keys_mask_at=%s", keys_where.c_str());
    if (!keys_error.empty()) std::printf(" keys_error=%s", keys_error.c_str());
  }
  if (options.idle_s > 0) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf(
        " idle_s=%g idle_cpu_pct=%.3f idle_sched_pct=%.4f", options.idle_s,
        idle_ticks >= 0 ? static_cast<double>(idle_ticks) / tick / options.idle_s * 100 : -1.0,
        idle_ns >= 0 ? static_cast<double>(idle_ns) / 1e9 / options.idle_s * 100 : -1.0);
  }
  std::printf(" released=%d\n", released ? 1 : 0);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// report

using Record = std::map<std::string, std::string>;

std::vector<Record> ReadRecords(const std::string& path) {
  std::vector<Record> records;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    Record record;
    std::string word;
    while (words >> word) {
      const std::size_t eq = word.find('=');
      if (eq != std::string::npos) record[word.substr(0, eq)] = word.substr(eq + 1);
    }
    if (!record.empty()) records.push_back(record);
  }
  return records;
}

std::vector<double> Values(const std::vector<Record>& records, const std::string& key) {
  std::vector<double> values;
  for (const Record& record : records) {
    const auto it = record.find(key);
    if (it != record.end() && std::atof(it->second.c_str()) >= 0) {
      values.push_back(std::atof(it->second.c_str()));
    }
  }
  std::sort(values.begin(), values.end());
  return values;
}

// Linear interpolation between order statistics; `values` sorted and not empty.
double Quantile(const std::vector<double>& values, double q) {
  const double at = q * static_cast<double>(values.size() - 1);
  const std::size_t below = static_cast<std::size_t>(std::floor(at));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  return values[below] + (values[above] - values[below]) * (at - static_cast<double>(below));
}

struct Summary {
  std::string name;
  int runs = 0;
  int failures = 0;
  std::vector<double> grab;
  std::vector<double> cover;
  int uncovered = 0;  // timed starts whose cover was never seen
  std::vector<double> start_cpu;
  std::vector<double> hwm;
  std::string program;                                    // the started process's program
  std::map<std::string, std::vector<double>> helper_hwm;  // per helper program
  std::map<std::string, int> holders;                     // who held the grab, per start
  std::vector<double> holder_hwm;                         // peak RSS of the grab's holder
  std::vector<double> keys;                               // key press -> mask drawn, every press
  std::map<std::string, int> keys_errors;
  std::vector<double> idle;
  std::vector<double> idle_sched;
  double idle_window = 0;  // seconds
};

std::string Median(const std::vector<double>& values, const char* format) {
  return values.empty() ? "n/a" : Format(format, Quantile(values, 0.5));
}

// "min-max" of sorted `values` in ms.
std::string Range(const std::vector<double>& values) {
  if (values.empty()) return "n/a";
  return Format("%.1f", values.front()) + "-" + Format("%.1f ms", values.back());
}

int Report(const std::vector<std::string>& args) {
  std::string ratio;
  std::vector<Summary> summaries;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--ratio" && i + 1 < args.size()) {
      ratio = args[++i];
      continue;
    }
    const std::size_t eq = args[i].find('=');
    if (eq == std::string::npos) Fail("report wants NAME=FILE, got " + args[i]);
    Summary summary;
    summary.name = args[i].substr(0, eq);
    const std::vector<Record> records = ReadRecords(args[i].substr(eq + 1));
    for (const Record& record : records) {
      if (record.count("error")) ++summary.failures;
    }
    std::vector<Record> timed;
    std::vector<Record> idle;
    for (const Record& record : records) {
      if (record.count("error")) continue;
      (record.count("idle_s") ? idle : timed).push_back(record);
    }
    summary.runs = static_cast<int>(timed.size());
    summary.grab = Values(timed, "grab_ms");
    summary.cover = Values(timed, "cover_ms");
    summary.uncovered = summary.runs - static_cast<int>(summary.cover.size());
    summary.start_cpu = Values(timed, "start_cpu_ms");
    summary.hwm = Values(records, "hwm_kb");
    for (const Record& record : records) {
      if (record.count("error")) continue;
      const auto get = [&](const char* key) {
        const auto it = record.find(key);
        return it == record.end() ? std::string() : it->second;
      };
      if (!get("program").empty()) summary.program = get("program");
      std::map<std::string, double> helpers;  // "name:kb,name:kb"
      std::istringstream list(get("helpers_hwm_kb"));
      for (std::string item; std::getline(list, item, ',');) {
        const std::size_t colon = item.rfind(':');
        if (colon == std::string::npos) continue;
        helpers[item.substr(0, colon)] = std::atof(item.c_str() + colon + 1);
        summary.helper_hwm[item.substr(0, colon)].push_back(std::atof(item.c_str() + colon + 1));
      }
      const std::string holder = get("grab_holder");
      if (!holder.empty()) {
        ++summary.holders[holder];
        if (holder == get("program")) {
          summary.holder_hwm.push_back(std::atof(get("hwm_kb").c_str()));
        } else if (helpers.count(holder)) {
          summary.holder_hwm.push_back(helpers[holder]);
        }
      }
      std::istringstream keys(get("keys_ms"));
      for (std::string item; std::getline(keys, item, ',');) {
        if (item != "none") summary.keys.push_back(std::atof(item.c_str()));
      }
      if (!get("keys_error").empty()) ++summary.keys_errors[get("keys_error")];
    }
    for (auto& [name, values] : summary.helper_hwm) std::sort(values.begin(), values.end());
    std::sort(summary.holder_hwm.begin(), summary.holder_hwm.end());
    std::sort(summary.keys.begin(), summary.keys.end());
    summary.idle = Values(idle, "idle_cpu_pct");
    summary.idle_sched = Values(idle, "idle_sched_pct");
    const std::vector<double> windows = Values(idle, "idle_s");
    if (!windows.empty()) summary.idle_window = windows.back();
    summaries.push_back(summary);
  }

  double idle_s = 0;
  for (const Summary& s : summaries) idle_s = std::max(idle_s, s.idle_window);
  std::printf(
      "| locker | runs | exec->grab median | min-max | IQR | exec->covered median | min-max | "
      "CPU to grab | peak RSS (VmHWM) | idle CPU%s |\n",
      idle_s > 0 ? Format(" %g s", idle_s).c_str() : "");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Summary& s : summaries) {
    std::string iqr = "n/a";
    if (!s.grab.empty()) {
      iqr =
          Format("%.1f", Quantile(s.grab, 0.25)) + "-" + Format("%.1f ms", Quantile(s.grab, 0.75));
    }
    std::string idle = "n/a";
    // The scheduler's run time (ns) is exact; the clock-tick figure only reads in steps of
    // 0.1 % over 10 s and is shown beside it.
    if (!s.idle_sched.empty()) {
      idle = Median(s.idle_sched, "%.3f %%");
      if (!s.idle.empty()) idle += " (ticks " + Median(s.idle, "%.2f %%") + ")";
    } else if (!s.idle.empty()) {
      idle = Median(s.idle, "%.2f %%");
    }
    // Every process of the lock, and which of them held the keyboard grab (seen at the end by
    // killing the started process alone while the others are stopped).
    std::string rss = s.hwm.empty() ? "n/a" : Format("%.1f MB", Quantile(s.hwm, 0.5) / 1024);
    if (!s.helper_hwm.empty() && !s.hwm.empty()) {
      rss = s.program + " " + rss;
      for (const auto& [name, values] : s.helper_hwm) {
        // A helper running the locker's own program is its forked child.
        rss += ", " + (name == s.program ? "child " + name : name) + " " +
               Format("%.1f MB", Quantile(values, 0.5) / 1024);
        if (static_cast<int>(values.size()) != static_cast<int>(s.hwm.size())) {
          rss += Format(" (in %g starts)", static_cast<double>(values.size()));
        }
      }
    }
    if (!s.holders.empty()) {
      std::string held;
      for (const auto& [name, count] : s.holders) {
        held += (held.empty() ? "" : ", ") + name + Format(" %g", static_cast<double>(count));
      }
      rss += "; grab held by: " + held;
    }
    std::string covered = Median(s.cover, "%.1f ms");
    if (s.uncovered) covered += Format(" (%g never)", static_cast<double>(s.uncovered));
    std::printf("| %s | %d%s | %s | %s | %s | %s | %s | %s | %s | %s |\n", s.name.c_str(), s.runs,
                s.failures ? Format(" (+%g failed)", static_cast<double>(s.failures)).c_str() : "",
                Median(s.grab, "%.1f ms").c_str(), Range(s.grab).c_str(), iqr.c_str(),
                covered.c_str(), Range(s.cover).c_str(), Median(s.start_cpu, "%.1f ms").c_str(),
                rss.c_str(), idle.c_str());
  }

  bool any_keys = false;
  for (const Summary& s : summaries)
    any_keys = any_keys || !s.keys.empty() || !s.keys_errors.empty();
  if (any_keys) {
    std::printf(
        "\n| locker | key presses | press->mask median | min-max | IQR | 90th percentile | "
        "failures |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Summary& s : summaries) {
      std::string iqr = "n/a";
      std::string p90 = "n/a";
      if (!s.keys.empty()) {
        iqr = Format("%.2f", Quantile(s.keys, 0.25)) + "-" +
              Format("%.2f ms", Quantile(s.keys, 0.75));
        p90 = Format("%.2f ms", Quantile(s.keys, 0.9));
      }
      std::string failures;
      for (const auto& [why, count] : s.keys_errors) {
        failures +=
            (failures.empty() ? "" : ", ") + why + Format(" x%g", static_cast<double>(count));
      }
      std::string range = "n/a";
      if (!s.keys.empty()) {
        range = Format("%.2f", s.keys.front()) + "-" + Format("%.2f ms", s.keys.back());
      }
      std::printf("| %s | %zu | %s | %s | %s | %s | %s |\n", s.name.c_str(), s.keys.size(),
                  Median(s.keys, "%.2f ms").c_str(), range.c_str(), iqr.c_str(), p90.c_str(),
                  failures.empty() ? "none" : failures.c_str());
    }
  }

  if (!ratio.empty()) {
    const std::size_t slash = ratio.find('/');
    const auto find = [&](const std::string& name) -> const Summary* {
      for (const Summary& s : summaries) {
        if (s.name == name) return &s;
      }
      return nullptr;
    };
    const Summary* top = find(ratio.substr(0, slash));
    const Summary* bottom = slash == std::string::npos ? nullptr : find(ratio.substr(slash + 1));
    if (top && bottom && !top->grab.empty() && !bottom->grab.empty()) {
      // The targets: the keyboard held in at most half the reference's time, the screen covered
      // no later than it, the keyboard's holder no bigger in memory, and an idle lock that stays
      // under 0.2 % of one core.
      const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
      const double grab_ratio = Quantile(top->grab, 0.5) / Quantile(bottom->grab, 0.5);
      std::printf("\n%s / %s exec->grab median: %.2f (target <= 0.50: %s)\n", top->name.c_str(),
                  bottom->name.c_str(), grab_ratio, verdict(grab_ratio <= 0.5));
      if (!top->cover.empty() && !bottom->cover.empty()) {
        const double cover_ratio = Quantile(top->cover, 0.5) / Quantile(bottom->cover, 0.5);
        std::printf("%s / %s exec->covered median: %.2f (target <= 1.00: %s)\n", top->name.c_str(),
                    bottom->name.c_str(), cover_ratio, verdict(cover_ratio <= 1.0));
      }
      // Memory compares the processes that hold the keyboard, where that was seen.
      const auto& top_rss = top->holder_hwm.empty() ? top->hwm : top->holder_hwm;
      const auto& bottom_rss = bottom->holder_hwm.empty() ? bottom->hwm : bottom->holder_hwm;
      if (!top_rss.empty() && !bottom_rss.empty()) {
        const double rss_ratio = Quantile(top_rss, 0.5) / Quantile(bottom_rss, 0.5);
        std::printf("%s / %s peak RSS of the grab's holder: %.2f (target <= 1.00: %s)\n",
                    top->name.c_str(), bottom->name.c_str(), rss_ratio, verdict(rss_ratio <= 1.0));
      }
      if (!top->idle_sched.empty() || !top->idle.empty()) {
        const double idle = Quantile(top->idle_sched.empty() ? top->idle : top->idle_sched, 0.5);
        std::printf("%s idle CPU: %.3f %% (target < 0.2 %%: %s)\n", top->name.c_str(), idle,
                    verdict(idle < 0.2));
      }
    } else {
      std::printf("\n%s: no ratio (a locker has no successful run)\n", ratio.c_str());
    }
  }
  return 0;
}

void Usage() {
  std::fprintf(
      stderr,
      "usage: lockbench run [--label NAME] [--cwd DIR] [--env NAME=VALUE]... [--log FILE]\n"
      "                     [--timeout-ms MS] [--poll-ms MS] [--settle-ms MS] "
      "[--idle-s S]\n"
      "                     [--no-cover] [--keys N] -- COMMAND [ARGS...]\n"
      "       lockbench report [--ratio NAME/NAME] NAME=FILE...\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Usage();
  const std::string mode = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (mode == "report") return Report(args);
  if (mode != "run") Usage();

  RunOptions options;
  std::size_t i = 0;
  const auto value = [&]() -> std::string {
    if (i + 1 >= args.size()) Usage();
    return args[++i];
  };
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      options.command.assign(args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg == "--label") {
      options.label = value();
    } else if (arg == "--cwd") {
      options.cwd = value();
    } else if (arg == "--env") {
      options.env.push_back(value());
    } else if (arg == "--log") {
      options.log = value();
    } else if (arg == "--timeout-ms") {
      options.timeout_ms = std::atof(value().c_str());
    } else if (arg == "--poll-ms") {
      options.poll_ms = std::atof(value().c_str());
    } else if (arg == "--settle-ms") {
      options.settle_ms = std::atof(value().c_str());
    } else if (arg == "--no-cover") {
      options.cover = false;
    } else if (arg == "--keys") {
      options.keys = std::atoi(value().c_str());
    } else if (arg == "--idle-s") {
      options.idle_s = std::atof(value().c_str());
    } else {
      Usage();
    }
  }
  if (options.command.empty()) Usage();
  return Run(options);
}
