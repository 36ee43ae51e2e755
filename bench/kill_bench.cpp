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
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "processes.h"
#include "support/x11/probe.h"

namespace {

namespace fs = std::filesystem;
namespace xprobe = vellomar::xprobe;
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

// Whether another client's grab is refused; `free` tells whether this one got the keyboard.
bool KeyboardHeld(Display* display, bool& free) {
  free = xprobe::TryGrabKeyboard(display) == GrabSuccess;
  return !free;
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int KillClients(Display* display, const fs::path& forms, const fs::path& guard,
                const std::string& order, int gap_ms) {
  const std::vector<pid_t> forms_pids = bench::ProcessesRunning(forms);
  if (forms_pids.empty()) {
    std::printf("no %s running\n", forms.filename().c_str());
    return 2;
  }
  const std::optional<Window> guard_window = xprobe::WindowNamed(display, "vellomar-guard");
  const std::optional<Window> forms_window =
      guard_window ? xprobe::OverlayWindowNotOf(display, *guard_window) : std::nullopt;
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
  const unsigned long grey = xprobe::LockGrey(display);

  xprobe::KeyboardRacer grabber;
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
        (w <= 0 || xprobe::Uncovered(display, grey, x, y, w, h).empty())) {
      const double ms = Ms(Clock::now() - start);
      grabber.Stop();
      std::printf("%.1f free %.1f wins %ld gap %.1f\n", ms, Ms(free_time), grabber.wins(),
                  grabber.gap_ms());
      return 0;
    }
  }
  grabber.Stop();
  std::printf("timeout free %.1f wins %ld gap %.1f\n", Ms(free_time), grabber.wins(),
              grabber.gap_ms());
  return 1;
}
