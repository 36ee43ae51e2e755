// lock-probe: what another Windows program can try against a window of a running kestrom.exe
// that holds the desktop (the lock screen "Kestrom" unless a title is given):
//   lock-probe [place]          move and size it, take it out of the top-most windows, close it,
//                               minimise and move it through its system menu; it must still be
//                               where PlaceTopmost put it (0, 0, the screen's width, all but the
//                               68-pixel taskbar strip of a 1024 x 768 screen), top-most, visible
//                               and not minimised;
//   lock-probe minimise [TITLE] minimise it from outside; it must come back restored;
//   lock-probe focus [TITLE]    open a window of its own and take the activation; the lock must
//                               take it back;
//   lock-probe inject [TITLE]   type Backspaces, "secret" and Enter into it through SendInput;
//                               the keyboard lock must refuse them (the scenario checks that the
//                               password box stayed as it was);
//   lock-probe where TITLE TEXT print the screen position of the middle of the control showing
//                               TEXT (access-key marks left out) in the visible form TITLE, for
//                               the scenarios to click there as a user would.
// Exit status 0 when the window held; otherwise what differs is printed. Waits end on the
// awaited state, or after 30 seconds.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr DWORD kPatienceMs = 30000;

// Pumps this program's messages until `done` holds or the patience runs out.
template <typename Done>
bool WaitUntil(Done done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > kPatienceMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  return true;
}

bool Restored(HWND lock) {
  return IsWindowVisible(lock) && !IsIconic(lock);
}

// The foreground window belongs to the lock's program.
bool LockInFront(HWND lock) {
  DWORD lock_process = 0, front_process = 0;
  GetWindowThreadProcessId(lock, &lock_process);
  HWND front = GetForegroundWindow();
  if (front == nullptr) return false;
  GetWindowThreadProcessId(front, &front_process);
  return front_process == lock_process;
}

int Place(HWND lock) {
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
  if (!Restored(lock)) {
    std::fprintf(stderr, "lock-probe: the window is hidden or minimised\n");
    ++faults;
  }
  return faults == 0 ? 0 : 1;
}

int Minimise(HWND lock) {
  // Across programs ShowWindow returns once the window's own thread has minimised it.
  ShowWindow(lock, SW_MINIMIZE);
  if (!WaitUntil([lock] { return Restored(lock); })) {
    std::fprintf(stderr, "lock-probe: the window stayed minimised\n");
    return 1;
  }
  return 0;
}

LRESULT CALLBACK PlainWindow(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

int Focus(HWND lock) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = PlainWindow;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "LockProbe";
  RegisterClassA(&window_class);
  HWND mine = CreateWindowExA(0, "LockProbe", "lock-probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                              10, 300, 200, nullptr, nullptr, window_class.hInstance, nullptr);
  if (mine == nullptr) {
    std::fprintf(stderr, "lock-probe: no window of its own\n");
    return 2;
  }
  SetForegroundWindow(mine);
  const bool taken_back = WaitUntil([lock] { return LockInFront(lock); });
  DestroyWindow(mine);
  if (!taken_back) {
    std::fprintf(stderr, "lock-probe: another program kept the activation\n");
    return 1;
  }
  return 0;
}

void AddKey(std::vector<INPUT>& inputs, WORD key) {
  for (DWORD flags : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    inputs.push_back(input);
  }
}

int Inject(HWND lock) {
  if (!WaitUntil([lock] { return LockInFront(lock); })) {
    std::fprintf(stderr, "lock-probe: the lock is not in front to be typed into\n");
    return 2;
  }
  std::vector<INPUT> inputs;
  for (int i = 0; i < 16; ++i) AddKey(inputs, VK_BACK);
  for (const char* c = "SECRET"; *c != '\0'; ++c) AddKey(inputs, static_cast<WORD>(*c));
  AddKey(inputs, VK_RETURN);
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  if (sent != inputs.size()) {
    std::fprintf(stderr, "lock-probe: SendInput took %u of %zu events\n", sent, inputs.size());
    return 2;
  }
  return 0;
}

struct Wanted {
  const char* title;
  const char* text;
  HWND found = nullptr;
};

BOOL CALLBACK MatchControl(HWND control, LPARAM lparam) {
  auto* wanted = reinterpret_cast<Wanted*>(lparam);
  char text[512] = {};
  GetWindowTextA(control, text, sizeof text);
  std::string shown;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c != '&') shown += *c;
  }
  if (IsWindowVisible(control) && shown == wanted->text) {
    wanted->found = control;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK MatchForm(HWND form, LPARAM lparam) {
  auto* wanted = reinterpret_cast<Wanted*>(lparam);
  char title[512] = {};
  GetWindowTextA(form, title, sizeof title);
  if (IsWindowVisible(form) && std::strcmp(title, wanted->title) == 0) {
    EnumChildWindows(form, MatchControl, lparam);
  }
  return wanted->found == nullptr;
}

int Where(const char* title, const char* text) {
  Wanted wanted{title, text};
  if (!WaitUntil([&wanted] {
        EnumWindows(MatchForm, reinterpret_cast<LPARAM>(&wanted));
        return wanted.found != nullptr;
      })) {
    std::fprintf(stderr, "lock-probe: no control \"%s\" in a form \"%s\"\n", text, title);
    return 2;
  }
  RECT rect{};
  GetWindowRect(wanted.found, &rect);
  std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "place";
  if (std::strcmp(mode, "where") == 0 && argc == 4) return Where(argv[2], argv[3]);
  const char* title = argc > 2 ? argv[2] : "Kestrom";
  HWND lock = FindWindowA("VellomarForm", title);
  if (lock == nullptr) {
    std::fprintf(stderr, "lock-probe: no window \"%s\"\n", title);
    return 2;
  }
  if (std::strcmp(mode, "place") == 0) return Place(lock);
  if (std::strcmp(mode, "minimise") == 0) return Minimise(lock);
  if (std::strcmp(mode, "focus") == 0) return Focus(lock);
  if (std::strcmp(mode, "inject") == 0) return Inject(lock);
  std::fprintf(stderr, "lock-probe: unknown mode %s\n", mode);
  return 2;
}
