#include "guard/guard.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "guard/link.h"
#include "xlock/errors.h"
#include "xlock/window_hints.h"

namespace vellomar::guard {
namespace {

constexpr char kName[] = "vellomar-guard";
constexpr char kWarningName[] = "vellomar-guard warning";
constexpr char kWarning[] =
    "The keyboard is not safe to type on: another program has taken it. Do not type the password.";
constexpr int kWarningHeight = 40;
// How long a lost connection is tried again before the server counts as gone: half a second.
constexpr int kReconnectAttempts = 10;
constexpr int kReconnectPauseMs = 50;

}  // namespace

Window MakeGuardWindow(Display* display, const Area& area) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = area.pixel;
  const Window window = XCreateWindow(
      display, DefaultRootWindow(display), area.x, area.y, static_cast<unsigned>(area.width),
      static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput, CopyFromParent,
      CWOverrideRedirect | CWBackPixel, &attributes);
  ui::NameWindow(display, window, kName);
  return window;
}

Guard::Guard(int link, std::string forms, std::optional<FirstHold> first)
    : link_(link), forms_(std::move(forms)), first_(first) {}

Guard::~Guard() {
  core_.reset();
  Disconnect();
}

long Guard::Now() const {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count());
}

bool Guard::Connect() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  Adopt(display);
  return true;
}

void Guard::Adopt(Display* display) {
  display_ = display;
  connection_lost_ = false;
  // A killed connection (any client's XKillClient) must not end the guard: Xlib's default
  // handlers would print and exit. These only mark it, and the loop opens the display again.
  XSetIOErrorHandler([](Display*) { return 0; });
  XSetIOErrorExitHandler(
      display_, [](Display*, void* self) { static_cast<Guard*>(self)->connection_lost_ = true; },
      this);
  root_ = DefaultRootWindow(display_);
  // The keyboard before anything else: every request made first would delay the grab.
  GrabKeyboard();
  // Unmapped and named: the guard's own X resource, found by name whatever it shows.
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window identity = XCreateWindow(display_, root_, -1, -1, 1, 1, 0, 0, InputOnly,
                                        CopyFromParent, CWOverrideRedirect, &attributes);
  ui::NameWindow(display_, identity, kName);
  keeping_ = std::make_unique<ui::LockWindows>(display_);
  keeping_->KeepOnTop(keep_on_top_);
  grab_break_ = std::make_unique<ui::GrabBreakKeys>(display_);
  grab_break_->Adopt(grab_break_saved_);
  // Told when the server ends our grab (a grab-break key): the focus leaves the root.
  XSelectInput(display_, root_, FocusChangeMask);
}

void Guard::Disconnect() {
  if (display_ == nullptr) return;
  if (grab_break_) grab_break_saved_ = grab_break_->Saved();
  if (connection_lost_) {
    // Nothing can be asked of a dead connection: what it held went with it.
    keeping_.reset();
    grab_break_.reset();
  } else {
    // Released on purpose: the keymap is put back, then our windows and grabs go.
    grab_break_.reset();
    keeping_.reset();
    XUngrabPointer(display_, CurrentTime);
    XUngrabKeyboard(display_, CurrentTime);
    XSync(display_, False);
  }
  XCloseDisplay(display_);
  display_ = nullptr;
  area_window_ = whole_window_ = warning_window_ = 0;
}

int Guard::Run() {
  if (first_) {
    Adopt(first_->display);
    if (first_->area_window) {
      area_window_ = first_->area_window;
      area_shown_ = first_->area;
      keeping_->Keep(area_window_,
                     {area_shown_.x, area_shown_.y, area_shown_.width, area_shown_.height});
    }
    first_.reset();
  } else if (!Connect()) {
    Tell(std::string(kCannot) + " Could not lock keyboard: the display cannot be opened.");
    return 1;
  }
  if (ui::ServerIsXWayland(display_)) {
    XUngrabKeyboard(display_, CurrentTime);
    Tell(std::string(kCannot) +
         " Could not lock keyboard: the X server is XWayland, where a keyboard grab does not hold "
         "the keys of Wayland windows.");
    return 1;
  }
  Tell(kReady);
  core_ = std::make_unique<GuardCore>(*this, Now());
  while (core_->stage() != GuardCore::Stage::kEnding) {
    if (connection_lost_) {
      Disconnect();
      // A client killed our connection: the server takes a new one at once. When it does not,
      // the server itself has gone, and with it the session the lock was for (a server started
      // later under the same name is another session's).
      for (int attempt = 0; attempt < kReconnectAttempts && !Connect(); ++attempt) {
        poll(nullptr, 0, kReconnectPauseMs);
      }
      if (display_ == nullptr) return 1;
      core_->OnReconnected(Now());
      continue;
    }
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {link_, POLLIN, 0}};
    long next = core_->NextTickIn(Now());
    // A restack the keeping put off is due then too.
    const long restack = keeping_ ? keeping_->CheckDueInMs() : -1;
    if (restack >= 0 && (next < 0 || restack < next)) next = restack;
    poll(fds, link_ >= 0 ? 2 : 1, next < 0 ? -1 : static_cast<int>(next));
    OnXEvents();
    if (link_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) OnLink();
    core_->OnTick(Now());
    if (keeping_ && !connection_lost_) keeping_->Check();
    // Reap whatever forms process ended; its end was seen on the link.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }
  return core_->ExitStatus();
}

void Guard::OnXEvents() {
  while (!connection_lost_ && XPending(display_)) {
    XEvent event;
    XNextEvent(display_, &event);
    if (grab_break_->OnEvent(event)) continue;
    if (keeping_->OnEvent(event)) continue;
    switch (event.type) {
      case KeyPress:
      case KeyRelease:
        // Only what the devices typed: another client's XSendEvent to the root is no key.
        if (!event.xkey.send_event) {
          core_->OnKey(event.type == KeyPress, event.xkey.keycode, event.xkey.state,
                       event.xkey.time);
        }
        break;
      case FocusOut:
        if (event.xfocus.window == root_ && event.xfocus.mode == NotifyUngrab) core_->OnGrabLost();
        break;
      case Expose:
        if (event.xexpose.window == warning_window_ && event.xexpose.count == 0) DrawWarning();
        break;
      default:
        break;
    }
  }
}

void Guard::OnLink() {
  char data[512];
  const ssize_t got = recv(link_, data, sizeof data, MSG_DONTWAIT);
  if (got > 0) {
    reader_.Add(data, static_cast<std::size_t>(got));
    while (auto line = reader_.Next()) core_->OnLine(*line, Now());
    return;
  }
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
  FormsGone();
}

void Guard::FormsGone() {
  close(link_);
  link_ = -1;
  reader_ = LineReader();
  core_->OnFormsGone(Now());
}

bool Guard::GrabKeyboard() {
  if (connection_lost_) return false;
  // Owner events off: every key is reported to the guard, whichever window has the focus.
  const bool held = XGrabKeyboard(display_, root_, False, GrabModeAsync, GrabModeAsync,
                                  CurrentTime) == GrabSuccess;
  return held && !connection_lost_;
}

bool Guard::GrabPointer() {
  if (connection_lost_) return false;
  const bool held =
      XGrabPointer(display_, root_, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                   GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
  return held && !connection_lost_;
}

void Guard::UngrabPointer() {
  XUngrabPointer(display_, CurrentTime);
  XSync(display_, False);
}

void Guard::DisableGrabBreak() {
  grab_break_->Disable();
  grab_break_saved_ = grab_break_->Saved();
  if (!grab_break_saved_.empty()) Tell(FormatHexLine(kGrabBreak, grab_break_saved_));
}

void Guard::AdoptGrabBreak(const std::string& text) {
  grab_break_saved_ = text;
  grab_break_->Adopt(text);
}

void Guard::ShowArea(const std::optional<Area>& area) {
  // The window made before the guard was forked covers the place already.
  if (area && area_window_ && *area == area_shown_) return;
  if (area_window_) {
    keeping_->Forget(area_window_);
    XDestroyWindow(display_, area_window_);
    area_window_ = 0;
  }
  if (area) {
    area_window_ = MakeGuardWindow(display_, *area);
    area_shown_ = *area;
    keeping_->Keep(area_window_, {area->x, area->y, area->width, area->height});
    Restack();
  }
  XFlush(display_);
}

void Guard::CoverWhole(bool cover) {
  if (!cover && whole_window_) {
    keeping_->Forget(whole_window_);
    XDestroyWindow(display_, whole_window_);
    whole_window_ = 0;
  } else if (cover && !whole_window_) {
    int width = 0, height = 0;
    ui::RootSize(display_, width, height);
    whole_window_ = MakeGuardWindow(
        display_, {0, 0, width, height, BlackPixel(display_, DefaultScreen(display_))});
    Restack();
  }
  XFlush(display_);
}

void Guard::Restack() {
  // The black cover above the lock window's area, the warning above both.
  int width = 0, height = 0;
  ui::RootSize(display_, width, height);
  if (whole_window_) keeping_->Keep(whole_window_, {0, 0, width, height});
  if (warning_window_) keeping_->Keep(warning_window_, {0, 0, width, kWarningHeight});
}

void Guard::KeepOnTop(bool keep) {
  keep_on_top_ = keep;
  keeping_->KeepOnTop(keep);
  keeping_->Check();
}

void Guard::WarnUnsafe(bool warn) {
  if (warn && !warning_window_) {
    int width = 0, height = 0;
    ui::RootSize(display_, width, height);
    XColor red{};
    red.red = 0xc000;
    XAllocColor(display_, DefaultColormap(display_, DefaultScreen(display_)), &red);
    warning_window_ = MakeGuardWindow(display_, {0, 0, width, kWarningHeight, red.pixel});
    ui::NameWindow(display_, warning_window_, kWarningName);
    XSelectInput(display_, warning_window_, ExposureMask);
    Restack();
    // The forms' windows let it lie above them.
    Tell(kWarningPrefix + std::to_string(warning_window_));
    DrawWarning();
  } else if (!warn && warning_window_) {
    keeping_->Forget(warning_window_);
    XDestroyWindow(display_, warning_window_);
    warning_window_ = 0;
    Tell(std::string(kWarningPrefix) + "0");
  }
  XFlush(display_);
}

void Guard::DrawWarning() {
  if (!warning_window_) return;
  GC gc = XCreateGC(display_, warning_window_, 0, nullptr);
  XSetForeground(display_, gc, WhitePixel(display_, DefaultScreen(display_)));
  XDrawString(display_, warning_window_, gc, 12, kWarningHeight / 2 + 5, kWarning,
              static_cast<int>(std::strlen(kWarning)));
  XFreeGC(display_, gc);
  XFlush(display_);
}

void Guard::Tell(const std::string& line) {
  if (link_ < 0) return;
  const std::string data = line + '\n';
  send(link_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void Guard::StartForms(const std::string& greeting) {
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    core_->OnFormsGone(Now());  // tried again later
    return;
  }
  const std::string state = core_->state();
  const pid_t pid = fork();
  if (pid == 0) {
    // The forms process ends on the usual signals; only the guard ignores them.
    for (int number : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) std::signal(number, SIG_DFL);
    if (sockets[1] == 3) {
      fcntl(3, F_SETFD, 0);
    } else {
      dup2(sockets[1], 3);
    }
    setenv(kGuardFdVariable, "3", 1);
    setenv(kResumeVariable, state.c_str(), 1);
    // No arguments: the command line comes over the socket, where no other user reads it.
    char* argv[] = {forms_.data(), nullptr};
    execv(argv[0], argv);
    _exit(127);
  }
  close(sockets[1]);
  link_ = sockets[0];
  // The command line first: the new process reads it before anything else.
  Tell(greeting);
  if (pid < 0) FormsGone();  // tried again later
}

int RunGuard(int link, std::string forms, std::optional<FirstHold> first) {
  // What a terminal or a session sends to end things; the guard outlives them all while the
  // lock is engaged (it exists only then).
  for (int number : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) std::signal(number, SIG_IGN);
  // A guard forked from kestrom.exe has both of the next from it: its OOM score (the OOM score
  // file it kept open is its parent's), and no core file.
  if (!first) {
    // Of our processes, the OOM killer should pick this one last: never, where permitted, else
    // below kestrom.exe, which raises its own by one over where it started (and this process may
    // have inherited that).
    if (!SetOomScore(-1000)) SetOomScore(OomScore() - 1);
    // It holds the command line, password record and all: no core file, no tracing by the
    // user's other processes.
    StopDumping();
  }
  // No failed request may end the guard (xlock/errors.h); the handler is the process's, for
  // every display it opens.
  ui::InstallX11ErrorHandler();
  Guard guard(link, std::move(forms), first);
  return guard.Run();
}

}  // namespace vellomar::guard
