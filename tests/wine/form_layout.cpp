// form-layout: every form of kestrom.exe as the Win32 runtime makes its window, checked as a user
// would look at it: the frame buttons its design gives and a window menu to match, a window icon,
// every label's text whole inside its rectangle with the font the label was given, and pictures
// at their own 32 x 32 pixels. Forms are built from their design only (no Load runs: nothing
// locks, nothing is read). Needs a display: the Wine GUI scenario runs it on its Xvfb.
// Exit status 0 when every form holds; otherwise each fault is printed.

#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "lock/kestrom.h"
#include "lock/lockout.h"
#include "platform/win32/win32_machine.h"
#include "setup/changes_made.h"
#include "setup/enter_setup_password.h"
#include "setup/setup.h"
#include "setup/warn_msdos_sys.h"
#include "startup/pass_main.h"
#include "ui/application.h"
#include "ui/win32/win32_backend.h"
#include "wizard/welcome1.h"
#include "wizard/welcome11.h"
#include "wizard/welcome12.h"
#include "wizard/welcome2.h"
#include "wizard/welcome3.h"
#include "wizard/welcome4.h"
#include "wizard/welcome5.h"
#include "wizard/welcome6.h"
#include "wizard/welcome7.h"
#include "wizard/welcome8.h"
#include "wizard/welcome9.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

using namespace vellomar;

// A form with its design-time properties assigned, as Load would before Form_Load.
template <class F>
struct Designed : F {
  explicit Designed(ui::Application& app) : F(app) {}
  void Design() { this->InitializeComponent(); }
};

template <class F>
F& Design(ui::Application& app) {
  auto& form = app.Get<Designed<F>>();
  form.Design();
  return form;
}

// The frame a form's description gives it.
enum class Frame {
  kFixed,      // title bar and close box; no minimise, maximise or sizing border
  kSizable,    // an ordinary window: sizing border, minimise and maximise buttons
  kBorderless  // no title bar at all (the full-screen lock)
};

struct Row {
  const char* what;
  Frame frame;
  std::function<ui::Form&(ui::Application&)> make;
};

const Row kRows[] = {
    {"PassMain", Frame::kFixed, Design<PassMain>},
    {"Kestrom", Frame::kBorderless, Design<Kestrom>},
    {"Lockout", Frame::kFixed, Design<Lockout>},
    {"EnterSetupPassword", Frame::kFixed, Design<EnterSetupPassword>},
    {"Setup", Frame::kSizable, Design<Setup>},
    {"ChangesMade", Frame::kFixed, Design<ChangesMade>},
    {"ChangesMade, longest report", Frame::kFixed,
     [](ui::Application& app) -> ui::Form& {
       auto& report = Design<ChangesMade>(app);
       std::string longest = kMsgRollBackFailed;
       for (int section : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 30, 99}) {
         for (const char* passchanged : {"true", "false"}) {
           const std::string text = ChangesMadeText(section, passchanged);
           if (text.size() > longest.size()) longest = text;
         }
       }
       report.Label1.InitCaption(longest);
       return report;
     }},
    {"WarnMsdosSys", Frame::kFixed, Design<WarnMsdosSys>},
    {"Welcome1", Frame::kFixed, Design<Welcome1>},
    {"Welcome2", Frame::kFixed, Design<Welcome2>},
    {"Welcome3", Frame::kFixed, Design<Welcome3>},
    {"Welcome4", Frame::kFixed, Design<Welcome4>},
    {"Welcome5", Frame::kFixed, Design<Welcome5>},
    {"Welcome6", Frame::kFixed, Design<Welcome6>},
    {"Welcome7", Frame::kFixed, Design<Welcome7>},
    {"Welcome8", Frame::kFixed, Design<Welcome8>},
    {"Welcome9", Frame::kFixed, Design<Welcome9>},
    {"Welcome9 failed", Frame::kFixed,
     [](ui::Application& app) -> ui::Form& {
       auto& page = Design<Welcome9>(app);
       page.Label3.InitVisible(false);
       page.Label1.InitCaption(kMsgFinishFailed);  // the longest text the page's label shows
       return page;
     }},
    {"Welcome11", Frame::kFixed, Design<Welcome11>},
    {"Welcome12", Frame::kFixed, Design<Welcome12>},
};

int faults = 0;

void Fault(const char* what, const std::string& text) {
  std::printf("%s: %s\n", what, text.c_str());
  ++faults;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

std::string TextOf(HWND hwnd) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool InMenu(HMENU menu, UINT command) {
  return GetMenuState(menu, command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

void CheckFrame(const Row& row, HWND hwnd) {
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  const bool caption = (style & WS_CAPTION) == WS_CAPTION;
  const bool minimise = (style & WS_MINIMIZEBOX) != 0, maximise = (style & WS_MAXIMIZEBOX) != 0;
  const bool sizing = (style & WS_THICKFRAME) != 0;
  switch (row.frame) {
    case Frame::kFixed:
    case Frame::kSizable: {
      const bool sizable = row.frame == Frame::kSizable;
      if (!caption || (style & WS_SYSMENU) == 0) Fault(row.what, "no title bar with a close box");
      if (minimise != sizable || maximise != sizable || sizing != sizable) {
        Fault(row.what, sizable ? "not an ordinary resizable window"
                                : "a minimise or maximise button, or a sizing border");
      }
      HMENU menu = GetSystemMenu(hwnd, FALSE);
      if (menu == nullptr || !InMenu(menu, SC_CLOSE))
        Fault(row.what, "no Close in the window menu");
      if (!sizable && menu != nullptr &&
          (InMenu(menu, SC_MINIMIZE) || InMenu(menu, SC_MAXIMIZE) || InMenu(menu, SC_SIZE))) {
        Fault(row.what, "the window menu offers Size, Minimize or Maximize");
      }
      break;
    }
    case Frame::kBorderless:
      if ((style & WS_CAPTION) != 0 || minimise || maximise || sizing) {
        Fault(row.what, "a frame on the borderless lock");
      }
      break;
  }
  if (SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0) == 0 ||
      SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0) == 0) {
    Fault(row.what, "no window icon");
  }
}

// A label (a STATIC window with text) must show all of it as it wraps it, with its own font; a
// picture (owner-drawn STATIC) is never cropped below its 32 x 32 pixels.
void CheckControls(const Row& row, HWND hwnd) {
  HDC dc = GetDC(hwnd);
  for (HWND child : Children(hwnd)) {
    if (lstrcmpiA(ClassOf(child).c_str(), "Static") != 0) continue;
    RECT area{};
    GetClientRect(child, &area);
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW) {
      if (area.right < 32 || area.bottom < 32) Fault(row.what, "a picture cropped");
      continue;
    }
    const std::string text = TextOf(child);
    if (text.empty()) continue;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, area.right, 0};
    DrawTextA(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    if (needed.right > area.right || needed.bottom > area.bottom) {
      Fault(row.what, "\"" + text + "\" needs " + std::to_string(needed.right) + " x " +
                          std::to_string(needed.bottom) + " pixels, its label has " +
                          std::to_string(area.right) + " x " + std::to_string(area.bottom));
    }
  }
  ReleaseDC(hwnd, dc);
}

}  // namespace

int main() {
  std::unique_ptr<ui::Backend> backend = ui::MakeWin32Backend();
  platform::Win32Machine machine;
  {
    ui::Application app(*backend, machine.services(), "");
    for (const Row& row : kRows) {
      const std::vector<HWND> before = ThreadWindows();
      const std::set<HWND> known(before.begin(), before.end());
      ui::Form& form = row.make(app);
      backend->ShowWindow(form);
      HWND hwnd = nullptr;
      for (HWND window : ThreadWindows()) {
        if (known.count(window) == 0 && ClassOf(window) == "VellomarForm") hwnd = window;
      }
      if (hwnd == nullptr) {
        Fault(row.what, "no window made");
        continue;
      }
      CheckFrame(row, hwnd);
      CheckControls(row, hwnd);
      backend->DestroyWindow(form);
    }
  }
  if (faults == 0) std::printf("form-layout: %zu forms as designed\n", std::size(kRows));
  return faults == 0 ? 0 : 1;
}
