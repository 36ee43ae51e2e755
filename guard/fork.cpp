#include "guard/fork.h"

#include <X11/Xlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "guard/guard.h"
#include "guard/link.h"
#include "guard/protocol.h"
#include "xlock/keyboard_lock.h"

namespace vellomar::guard {
namespace {

// The lock screens' grey, as the forms paint their windows; on a true-colour screen worked out
// here, without asking the server.
unsigned long LockGrey(Display* display) {
  constexpr unsigned long kGrey = 0xc0;
  const Visual* visual = DefaultVisual(display, DefaultScreen(display));
  if (visual->c_class == TrueColor) {
    unsigned long pixel = 0;
    for (unsigned long mask : {visual->red_mask, visual->green_mask, visual->blue_mask}) {
      if (mask == 0) continue;
      const int shift = __builtin_ctzl(mask);
      const unsigned long top = mask >> shift;
      pixel |= ((kGrey * top + 127) / 255) << shift;
    }
    return pixel;
  }
  XColor grey{};
  grey.red = grey.green = grey.blue = static_cast<unsigned short>(kGrey * 0x101);
  XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &grey);
  return grey.pixel;
}

}  // namespace

std::optional<ForkedGuard> ForkGuard(const std::string& forms,
                                     const FirstLockWindow& first_window) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return std::nullopt;
  // The keyboard first, before anything else is asked of the server. Whether it was had is the
  // guard's to see: when another client holds it, the guard tries again for a while.
  XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync,
                CurrentTime);
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    XCloseDisplay(display);
    return std::nullopt;
  }
  ForkedGuard forked;
  FirstHold hold{display, 0, {}};
  // The lock window's place covered at once, by a window the guard takes over. The guard reads
  // the place as its first line too, as if the forms had sent it.
  const int screen = DefaultScreen(display);
  // Nothing is shown on XWayland, where the guard refuses to lock at once: a window mapped and
  // destroyed in the same moment there can hold up the Wayland side's window manager, and with
  // it the error message that follows.
  if (const auto size =
          ui::ServerIsXWayland(display)
              ? std::nullopt
              : first_window(DisplayWidth(display, screen), DisplayHeight(display, screen))) {
    hold.area = Area{0, 0, size->first, size->second, LockGrey(display)};
    hold.area_window = MakeGuardWindow(display, hold.area);
    XMapRaised(display, hold.area_window);
    XFlush(display);
    forked.area = FormatArea(hold.area);
    const std::string line = forked.area + '\n';
    send(sockets[0], line.data(), line.size(), MSG_NOSIGNAL);
  }
  // The OOM killer should spare the guard: lowered here where that is permitted, so that the
  // child has it from the start; the caller then sets its own score above the child's.
  SetOomScore(-1000);
  const pid_t pid = fork();
  if (pid < 0) {
    close(sockets[0]);
    close(sockets[1]);
    XCloseDisplay(display);
    return std::nullopt;
  }
  if (pid == 0) {
    // The guard: named as the program it would otherwise be, in a session of its own so that a
    // terminal's Ctrl+C or hang-up reaches the forms, not the guard. Of what it inherited it
    // keeps only its connection and its socket: nothing another process opened lives on here.
    const int keep_low = std::min(ConnectionNumber(display), sockets[1]);
    const int keep_high = std::max(ConnectionNumber(display), sockets[1]);
    close_range(3, keep_low - 1, 0);
    close_range(keep_low + 1, keep_high - 1, 0);
    close_range(keep_high + 1, ~0U, 0);
    prctl(PR_SET_NAME, "vellomar-guard");
    setsid();
    _exit(RunGuard(sockets[1], forms, hold));
  }
  // The connection is the guard's now: closing our copy of its socket sends nothing, and the
  // display structure is left alone (freeing it would speak on the connection), kept reachable.
  static Display* given_to_guard = nullptr;
  given_to_guard = display;
  close(ConnectionNumber(given_to_guard));
  close(sockets[1]);
  forked.fd = sockets[0];
  forked.pid = pid;
  return forked;
}

}  // namespace vellomar::guard
