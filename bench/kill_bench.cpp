// kill-bench: how long a lock stays open after one of its processes is killed.
//
//   kill-bench PID PROGRAM X Y W H
//
// Sends SIGKILL to PID and measures from that moment until all of these hold:
//   - PID is gone (ended, or a zombie waiting for its parent);
//   - a process running PROGRAM (by its executable) other than PID is there again: the restarted
//     kestrom.exe or the new guard;
//   - another client's keyboard grab is refused;
//   - every sample point of the rectangle X Y W H shows the lock's grey (none when W is 0).
// Prints the milliseconds and, after "free", how long the keyboard could be grabbed by another
// client meanwhile (0 when every try was refused).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: kill-bench PID PROGRAM X Y W H\n");
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
    if (held && Gone(pid) && OtherRuns(program, pid) && Covered(display, grey.pixel, x, y, w, h)) {
      std::printf("%.1f free %.1f\n", Ms(Clock::now() - start), Ms(free_time));
      return 0;
    }
  }
  std::printf("timeout free %.1f\n", Ms(free_time));
  return 1;
}
