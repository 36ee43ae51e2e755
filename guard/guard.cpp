#include "guard/guard.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "guard/link.h"
#include "ui/x11/window_hints.h"

namespace vellomar::guard {
namespace {

constexpr char kName[] = "vellomar-guard";
// While holding: how often lost grabs are tried again and the windows checked without an event.
constexpr int kHoldingTickMs = 100;
// A forms process that dies before it takes the keyboard is started again after a pause that
// doubles each time, up to this: a program that cannot start must not spin the machine.
constexpr int kLongestRestartPauseMs = 8000;
// How long the first grab is tried for, without pausing: until the server has dropped the dead
// process's grab.
constexpr int kFirstGrabAttempts = 2000;
// How long after letting go our windows stay up at most, waiting for the new process's.
constexpr std::chrono::seconds kHandOverLimit{3};

void PauseMicroseconds(long microseconds) {
  timespec pause{0, microseconds * 1000};
  nanosleep(&pause, nullptr);
}

}  // namespace

Guard::Guard(Display* display, int link, std::string forms)
    : display_(display),
      root_(DefaultRootWindow(display)),
      link_(link),
      forms_(std::move(forms)),
      grab_break_(display) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  identity_ = XCreateWindow(display_, root_, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                            CWOverrideRedirect, &attributes);
  ui::NameWindow(display_, identity_, kName);
  GrabKeysPassively();
  XFlush(display_);
}

void Guard::GrabKeysPassively() {
  // A passive grab of every key on the root. It never fires while the forms process holds its
  // active grab; in the moment between that process's death and our own grab, a key pressed
  // comes to us, wherever the window manager has put the focus meanwhile. The keyboard freezes
  // when it fires, until OnPassiveKey says where the key goes. Keys another client grabbed on
  // the root first (the window manager's bindings) are refused to us; that is expected and not
  // worth a line on stderr.
  int first = 0, last = 0;
  XDisplayKeycodes(display_, &first, &last);
  XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  for (int keycode = first; keycode <= last; ++keycode) {
    XGrabKey(display_, keycode, AnyModifier, root_, False, GrabModeAsync, GrabModeSync);
  }
  XSync(display_, False);
  XSetErrorHandler(previous);
}

void Guard::OnPassiveKey() {
  if (mode_ == Mode::kHolding) return;  // under our own active grab: nothing is frozen
  // A forms process that lives has only let go of its grab for a moment (a toolkit popup
  // closing): the key is replayed, as if we had never grabbed it, and reaches its window. One
  // whose connection is gone has no windows left: the key is ours, and so is the keyboard.
  XWindowAttributes attributes;
  if (witness_ == 0 || XGetWindowAttributes(display_, witness_, &attributes)) {
    XAllowEvents(display_, ReplayKeyboard, CurrentTime);
    XFlush(display_);
    return;
  }
  XAllowEvents(display_, AsyncKeyboard, CurrentTime);
  if (mode_ == Mode::kWatching) OnWitnessGone();
}

Guard::~Guard() {
  keeping_.reset();
  DropMirror();
  HoldOverlay(false);
  XDestroyWindow(display_, identity_);
  XSync(display_, False);
}

int Guard::Run() {
  Tell(kReady);
  const int x_fd = ConnectionNumber(display_);
  while (true) {
    pollfd fds[2] = {{x_fd, POLLIN, 0}, {link_, POLLIN, 0}};
    const int count = link_ >= 0 ? 2 : 1;
    poll(fds, count, PollTimeoutMs());

    // X events: a new keymap is cleaned of the grab-break keys again; the forms process's
    // connection gone; a key that fired our passive grab. The rest (keys typed while we hold
    // the keyboard, other clients acting on our windows) only wake the loop, which checks.
    while (XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
      grab_break_.OnEvent(event);
      if (event.type == DestroyNotify && event.xdestroywindow.window == witness_) {
        OnWitnessGone();
      }
      if (event.type == KeyPress) OnPassiveKey();
    }

    if (link_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
      char data[512];
      const ssize_t got = recv(link_, data, sizeof data, MSG_DONTWAIT);
      if (got > 0) {
        reader_.Add(data, static_cast<std::size_t>(got));
        while (auto line = reader_.Next()) {
          if (!OnLine(*line)) return 0;
        }
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        OnFormsGone();
      }
    }

    // A new process whose windows never come to cover ours (the screen shrank meanwhile): ours
    // go anyway after a while; its own are above them already.
    if (mode_ == Mode::kHandingOver && Clock::now() >= handed_over_at_ + kHandOverLimit) Watch();
    if (mode_ == Mode::kHolding) {
      // Grabs lost to another client are taken back and the windows put back on every event
      // that concerns them, and at each tick anyway.
      Grab();
      if (keeping_) keeping_->Check();
      if (start_at_ && Clock::now() >= *start_at_) StartForms();
    }
    // Reap whatever forms process ended; its end was seen on the link.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }
}

int Guard::PollTimeoutMs() const {
  if (mode_ == Mode::kHandingOver) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          handed_over_at_ + kHandOverLimit - Clock::now())
                          .count();
    return std::max(0, static_cast<int>(left));
  }
  if (mode_ != Mode::kHolding) return -1;
  int timeout = kHoldingTickMs;
  if (start_at_) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*start_at_ - Clock::now()).count();
    timeout = std::clamp(static_cast<int>(left), 0, timeout);
  }
  return timeout;
}

bool Guard::OnLine(const std::string& line) {
  if (line == kRelease) return false;
  if (auto command_line = ParseCommand(line)) {
    command_line_ = std::move(*command_line);
    return true;
  }
  if (auto record = ParseRecord(line)) {
    record_ = std::move(*record);
    return true;
  }
  if (line.rfind(kStatePrefix, 0) == 0) {
    state_ = ui::FormatLockState(ui::ParseLockState(line.substr(std::strlen(kStatePrefix))));
    return true;
  }
  if (line.rfind(kWatch, 0) == 0) {
    witness_ = std::strtoul(line.c_str() + std::strlen(kWatch), nullptr, 10);
    XSelectInput(display_, witness_, StructureNotifyMask);
    XFlush(display_);
    return true;
  }
  if (line == kTake) {
    if (mode_ == Mode::kHolding) HandOver();
    return true;
  }
  if (auto cover = ParseCover(line)) {
    if (mode_ == Mode::kHolding) return true;  // not ours to follow before the hand-over
    // The new process's windows are up once they cover what ours do (a lock window is shown
    // at its design size before it is placed), or when it covers nothing (the prompt).
    if (mode_ == Mode::kHandingOver && (cover->windows.empty() || Covers(*cover))) Watch();
    if (mode_ == Mode::kWatching) Mirror(*cover);
  }
  return true;
}

bool Guard::Covers(const Cover& cover) const {
  return std::all_of(mirror_rects_.begin(), mirror_rects_.end(), [&](const CoverWindow& ours) {
    return std::any_of(cover.windows.begin(), cover.windows.end(), [&](const CoverWindow& r) {
      return r.x <= ours.x && r.y <= ours.y && r.x + r.width >= ours.x + ours.width &&
             r.y + r.height >= ours.y + ours.height;
    });
  });
}

void Guard::Watch() {
  keeping_.reset();
  DropMirror();
  GrabKeysPassively();
  mode_ = Mode::kWatching;
}

void Guard::OnWitnessGone() {
  if (mode_ != Mode::kWatching) return;
  // The server releases a client's grabs before it destroys its windows: a grab we get now
  // means the forms process's connection is gone (killed with xkill), while the process itself
  // may still be ending. A window destroyed by another client while the forms process holds its
  // grab changes nothing.
  if (XGrabKeyboard(display_, root_, False, GrabModeAsync, GrabModeAsync, CurrentTime) !=
      GrabSuccess) {
    return;
  }
  keyboard_held_ = true;
  TakeOver();  // the forms process is started again once its end shows on the link
}

void Guard::OnFormsGone() {
  close(link_);
  link_ = -1;
  reader_ = LineReader();
  if (mode_ != Mode::kHolding) TakeOver();
  // The first restart is at once; one that died before taking the keyboard waits longer each
  // time.
  const int pause =
      restarts_ == 0 ? 0 : std::min(kLongestRestartPauseMs, 250 << std::min(restarts_, 6));
  start_at_ = Clock::now() + std::chrono::milliseconds(pause);
}

void Guard::TakeOver() {
  mode_ = Mode::kHolding;
  // The keyboard first: until the server has noticed the dead process its grab stands, so the
  // grab is tried again at once, without waiting, for a moment.
  for (int i = 0; i < kFirstGrabAttempts && !keyboard_held_; ++i) {
    Grab();
    if (!keyboard_held_) PauseMicroseconds(200);
  }
  grab_break_.Disable();
  if (keeping_) return;  // a restarted process died during the hand-over: still ours
  // The mirror is already on screen where the forms' windows were; with none (the timed prompt
  // covers nothing) the whole screen is covered now.
  if (mirror_.empty()) {
    int width = 0, height = 0;
    ui::RootSize(display_, width, height);
    const CoverWindow whole{0, 0, 0, width, height};
    mirror_.push_back(MakeWindow(root_, whole, BlackPixel(display_, DefaultScreen(display_))));
    mirror_rects_.push_back(whole);
  }
  keeping_ = std::make_unique<ui::LockWindows>(display_);
  for (std::size_t i = 0; i < mirror_.size(); ++i) {
    const CoverWindow& r = mirror_rects_[i];
    keeping_->Keep(mirror_[i], {r.x, r.y, r.width, r.height});
  }
  XSync(display_, False);
}

bool Guard::Grab() {
  if (!keyboard_held_) {
    keyboard_held_ = XGrabKeyboard(display_, root_, False, GrabModeAsync, GrabModeAsync,
                                   CurrentTime) == GrabSuccess;
  }
  if (!pointer_held_) {
    pointer_held_ =
        XGrabPointer(display_, root_, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                     GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
  }
  return keyboard_held_ && pointer_held_;
}

void Guard::HandOver() {
  // Keys typed between our letting go and the new process's grab reach our own window; our
  // passive grabs would only stand in the new process's way until it holds the keyboard.
  if (!mirror_.empty()) XSetInputFocus(display_, mirror_.back(), RevertToNone, CurrentTime);
  XUngrabKey(display_, AnyKey, AnyModifier, root_);
  XUngrabPointer(display_, CurrentTime);
  XUngrabKeyboard(display_, CurrentTime);
  XSync(display_, False);
  keyboard_held_ = pointer_held_ = false;
  restarts_ = 0;
  mode_ = Mode::kHandingOver;
  handed_over_at_ = Clock::now();
  Tell(kLetGo);
}

void Guard::Tell(const char* message) {
  const std::string line = std::string(message) + '\n';
  send(link_, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void Guard::Mirror(const Cover& cover) {
  if (cover == cover_) return;  // mirrored already (dropping the mirror forgets the cover)
  cover_ = cover;
  DropMirror();
  HoldOverlay(!cover.windows.empty() && cover.parent != root_);
  for (const CoverWindow& rect : cover.windows) {
    const Window window = MakeWindow(cover.parent, rect, cover.pixel);
    // Just below the forms' lowest window: never in front of theirs, and there the moment
    // theirs are gone.
    XWindowChanges changes{};
    changes.sibling = cover.windows.front().window;
    changes.stack_mode = Below;
    XConfigureWindow(display_, window, CWSibling | CWStackMode, &changes);
    XMapWindow(display_, window);
    mirror_.push_back(window);
    mirror_rects_.push_back(rect);
  }
  XFlush(display_);
}

void Guard::DropMirror() {
  for (Window window : mirror_) XDestroyWindow(display_, window);
  mirror_.clear();
  mirror_rects_.clear();
  cover_ = Cover();
  XFlush(display_);
}

void Guard::HoldOverlay(bool hold) {
  // The overlay stays on screen while any client holds it: ours keeps it there, with the shape
  // the forms gave it, when the forms process dies.
  if (hold == overlay_held_) return;
  if (hold) {
    overlay_held_ = XCompositeGetOverlayWindow(display_, root_) != 0;
  } else {
    XCompositeReleaseOverlayWindow(display_, root_);
    overlay_held_ = false;
  }
}

Window Guard::MakeWindow(Window parent, const CoverWindow& rect, unsigned long pixel) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = pixel;
  const Window window =
      XCreateWindow(display_, parent, rect.x, rect.y, static_cast<unsigned>(rect.width),
                    static_cast<unsigned>(rect.height), 0, CopyFromParent, InputOutput,
                    CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  ui::NameWindow(display_, window, kName);
  return window;
}

void Guard::StartForms() {
  start_at_.reset();
  ++restarts_;
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    OnFormsGone();  // tried again later
    return;
  }
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
    setenv(kResumeVariable, state_.c_str(), 1);
    // No arguments: the command line comes over the socket, where no other user reads it.
    char* argv[] = {forms_.data(), nullptr};
    execv(argv[0], argv);
    _exit(127);
  }
  close(sockets[1]);
  link_ = sockets[0];
  // The command line first, then the record: the new process reads them before anything else.
  Tell(FormatCommand(command_line_).c_str());
  Tell(FormatRecord(record_).c_str());
  Tell(kReady);
  if (pid < 0) OnFormsGone();  // tried again later
}

}  // namespace vellomar::guard
