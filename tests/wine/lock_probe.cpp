// lock-probe: what another Windows program can try against the lock window of a running
// kestrom.exe /locknow: move and size it, take it out of the top-most windows, close it, minimise
// and move it through its system menu. Exit status 0 when the window is still where PlaceTopmost
// put it (0, 0, the screen's width, all but the 68-pixel taskbar strip of a 1024 x 768 screen),
// top-most, visible and not minimised; otherwise what differs is printed.

#include <cstdio>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int main() {
  HWND lock = FindWindowA("VellomarForm", "Kestrom");
  if (lock == nullptr) {
    std::fprintf(stderr, "lock-probe: no lock window\n");
    return 2;
  }
  SetWindowPos(lock, HWND_NOTOPMOST, 100, 100, 200, 150, SWP_NOACTIVATE);
  SetWindowPos(lock, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  MoveWindow(lock, 50, 60, 300, 200, TRUE);
  SendMessageA(lock, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  SendMessageA(lock, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  SendMessageA(lock, WM_CLOSE, 0, 0);  // refused by the form, as Alt+F4 is

  int faults = 0;
  RECT rect{};
  GetWindowRect(lock, &rect);
  if (rect.left != 0 || rect.top != 0 || rect.right != 1024 || rect.bottom != 700) {
    std::fprintf(stderr, "lock-probe: the window is at %ld,%ld-%ld,%ld\n", rect.left, rect.top,
                 rect.right, rect.bottom);
    ++faults;
  }
  if ((GetWindowLongA(lock, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0) {
    std::fprintf(stderr, "lock-probe: the window is no longer top-most\n");
    ++faults;
  }
  if (!IsWindowVisible(lock) || IsIconic(lock)) {
    std::fprintf(stderr, "lock-probe: the window is hidden or minimised\n");
    ++faults;
  }
  return faults == 0 ? 0 : 1;
}
