// The runtime's part in keeping a lock: covering windows handed to LockWindows, the grabs taken
// back, the focus kept on the lock, the screen size followed, and the X events that call for a
// check. The keeping itself is Xlib only (ui/x11/).

#include "ui/fltk/fltk_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "guard/protocol.h"
#include "platform/errors.h"
#include "ui/x11/window_hints.h"

namespace vellomar::ui::fltk {
namespace {

// Xlib's RevertToNone, which the form model's headers cannot name (they take Xlib's None away).
constexpr int kRevertToNothing = 0;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Keeping the lock windows in place

bool Runtime::LockWindowUp() const {
  for (auto& [form, window] : windows_) {
    if (form->lock_screen && window->wanted && window->shown()) return true;
  }
  return false;
}

Window Runtime::FocusTarget() const {
  for (auto it = boxes_.rbegin(); it != boxes_.rend(); ++it) {
    if ((*it)->shown()) return fl_xid(*it);
  }
  for (auto it = shown_order_.rbegin(); it != shown_order_.rend(); ++it) {
    if ((*it)->wanted && (*it)->shown()) return fl_xid(*it);
  }
  return 0;
}

// A lock window, or a message box over one, is on screen: painted at once and kept in place.
void Runtime::Cover(Fl_Window& window, const CoverRect& rect) {
  const Window xid = fl_xid(&window);
  // The server paints the background the moment the window maps or is exposed, so the desktop
  // never shows through while the toolkit has yet to draw.
  XSetWindowBackground(display_, xid, fl_xpixel(FL_BACKGROUND_COLOR));
  XClearWindow(display_, xid);
  covered_[xid] = &window;
  cover_->Keep(xid, rect);
  window.redraw();
  Fl::flush();
  ReportCover();
}

void Runtime::Uncover(Fl_Window& window) {
  for (auto it = covered_.begin(); it != covered_.end(); ++it) {
    if (it->second != &window) continue;
    cover_->Forget(it->first);
    covered_.erase(it);
    ReportCover();
    return;
  }
}

// Another client destroyed a covering window: make it again where it was.
void Runtime::Recreate(Window xid, const CoverRect& rect) {
  const auto it = covered_.find(xid);
  if (it == covered_.end()) return;
  Fl_Window* window = it->second;
  covered_.erase(it);
  // The toolkit's half of the window, if it still has one; the server's half is gone already.
  if (window->shown()) window->hide();
  window->resize(rect.x, rect.y, rect.width, rect.height);
  window->show();
  if (auto* form_window = dynamic_cast<FormWindow*>(window)) DecorateNew(*form_window);
  if (auto* box = dynamic_cast<MessageBoxWindow*>(window)) {
    NameWindow(display_, fl_xid(box), box->title.c_str());
  }
  Cover(*window, rect);
  ScheduleCheck();
}

void Runtime::LockWindowsChanged() {
  bool full = false;
  for (auto& [form, window] : windows_) {
    if (form->lock_screen && window->wanted && window->shown()) full = full || window->full_screen;
  }
  // The full-screen lock holds the pointer too; the taskbar lock and the lockout leave the strip
  // at the bottom usable. When another client holds the pointer, the grab is tried again soon,
  // with the screen already covered and the lock's keys working meanwhile.
  lock_->WantPointer(full);
  pointer_retries_ = 0;
  Fl::remove_timeout(OnPointerRetry, this);
  if (lock_->PointerMissing()) Fl::add_timeout(kPointerRetrySeconds, OnPointerRetry, this);
}

void Runtime::OnPointerRetry(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  self.lock_->RetryPointer();
  // After about a second the guard tick goes on trying.
  if (self.lock_->PointerMissing() && ++self.pointer_retries_ < kPointerRetries) {
    Fl::repeat_timeout(kPointerRetrySeconds, OnPointerRetry, data);
  }
}

void Runtime::ScheduleCheck() {
  if (check_scheduled_) return;
  check_scheduled_ = true;
  Fl::add_timeout(0.0, OnDeferredCheck, this);
}

void Runtime::OnDeferredCheck(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  self.check_scheduled_ = false;
  self.KeepLockWindows();
  if (self.lock_->Engaged()) self.lock_->Reassert();
  self.KeepFocus();
  self.ReportCover();
  XFlush(self.display_);
}

void Runtime::OnGuardTick(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  Fl::repeat_timeout(kGuardTickSeconds, OnGuardTick, data);
  if (!self.lock_->Engaged() && !self.LockWindowUp()) return;
  if (++self.guard_ticks_ % kGuardTicksPerFullCheck != 0) {
    self.lock_->RetryPointer();
    return;
  }
  OnDeferredCheck(data);
}

void Runtime::KeepLockWindows() {
  cover_->Check();
  if (!lock_->Engaged()) return;
  // While the keyboard is locked, a form of ours that another client unmapped or iconified (the
  // prompt, say) is put back.
  for (FormWindow* window : shown_order_) {
    if (!window->wanted || !window->shown() || window->form.lock_screen) continue;
    const Window xid = fl_xid(window);
    if (!WindowViewable(display_, xid)) XMapRaised(display_, xid);
  }
}

void Runtime::KeepFocus() {
  if (!lock_->Engaged()) return;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  Window target = FocusTarget();
  if (!target) return;
  bool ours = focus > PointerRoot && fl_find(focus) != nullptr;
  if (ours && (boxes_.empty() || focus == target)) {
    // Should this process die, the focus must not fall to whatever window is under the pointer
    // (the window manager's choice when it gave the focus): it goes nowhere until the guard
    // has grabbed.
    if (revert == RevertToPointerRoot) {
      XSetInputFocus(display_, focus, kRevertToNothing, CurrentTime);
    }
    return;
  }
  // The window manager gave the focus to another window: the grab still sends us the keys, but
  // reported on the root, where the toolkit drops them. Take the focus back.
  if (WindowViewable(display_, target))
    XSetInputFocus(display_, target, RevertToParent, CurrentTime);
}

void Runtime::FollowScreenSize() {
  int width = 0, height = 0;
  RootSize(display_, width, height);
  if (width == screen_width_ && height == screen_height_) return;
  screen_width_ = width;
  screen_height_ = height;
  // A full-screen lock stays full-screen; one that left a strip for the taskbar keeps the strip's
  // height and takes the new width.
  for (auto& [form, window] : windows_) {
    if (!window->placed) continue;
    int h = window->full_screen ? height : std::max(1, height - window->strip);
    window->place = {0, 0, width, h};
    window->resize(0, 0, width, h);
    if (window->shown() && cover_->Keeping(fl_xid(window.get()))) {
      cover_->Keep(fl_xid(window.get()), window->place);
    }
  }
  LockWindowsChanged();
  ScheduleCheck();
}

bool Runtime::OnXEvent(const XEvent& event) {
  if (SentByAnotherClient(event)) return true;
  if (lock_->OnEvent(event)) return true;
  if (event.type == DestroyNotify && connection_witness_ &&
      event.xdestroywindow.window == connection_witness_) {
    MakeConnectionWitness();
    guard_.Send(std::string(guard::kWatch) + std::to_string(connection_witness_));
    return true;
  }
  if (cover_->Concerns(event)) ScheduleCheck();
  if (event.type == FocusIn || event.type == FocusOut) {
    if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) {
      // Our own grab coming or going is no change of focus for the widgets. A release we did
      // not ask for (a toolkit popup closing) is taken back at once.
      if (event.xfocus.mode == NotifyUngrab && lock_->Engaged()) ScheduleCheck();
      return true;
    }
    if (lock_->Engaged()) ScheduleCheck();
    return false;
  }
  if (!StructureEvent(event.type)) return false;
  const Window root = DefaultRootWindow(display_);
  if (event.xany.window == root || event.xany.window == cover_->CoverParent()) {
    if (event.type == ConfigureNotify && event.xconfigure.window == root) {
      FollowScreenSize();
      return false;
    }
    // Reported only because the covering windows' parent is watched: nothing for the toolkit.
    return true;
  }
  if (event.type == UnmapNotify) ScheduleCheck();
  if (event.type == MapNotify) {
    // Override-redirect windows get no focus from the window manager: give it.
    Fl_Window* window = fl_find(event.xmap.window);
    if (window && window->override() && fl_xid(window) == FocusTarget()) {
      XSetInputFocus(display_, event.xmap.window, RevertToParent, CurrentTime);
    }
    ScheduleCheck();
  }
  return false;
}

}  // namespace vellomar::ui::fltk

namespace vellomar::ui::fltk {

// ---------------------------------------------------------------------------------------------
// The guard: a second process that keeps the screen locked should this one die

void Runtime::GuardedLock::Engage() {
  Runtime& self = runtime_;
  // A guard that restarted this process holds the keyboard: it lets go just before we grab.
  const bool from_guard = self.guard_.GuardHolds();
  self.guard_.LetGo();
  try {
    self.lock_->Engage();
  } catch (const RuntimeError&) {
    // Not the keyboard after all: this run ends as a crash does, never through a release, so
    // the guard takes the lock back and tries again later.
    if (from_guard) {
      std::fputs("kestrom.exe: the keyboard was not had from the guard\n", stderr);
      std::_Exit(3);
    }
    throw;
  }
  if (!self.guard_.Connected()) {
    self.StartGuard();
  } else if (self.guard_fd_watched_ < 0) {
    self.GreetGuard();  // the guard that restarted us
  }
}

void Runtime::GuardedLock::Release() {
  Runtime& self = runtime_;
  // The guard first: nothing may take the lock over once we let go on purpose.
  if (self.guard_fd_watched_ >= 0) Fl::remove_fd(self.guard_fd_watched_);
  self.guard_fd_watched_ = -1;
  Fl::remove_timeout(OnGuardStart, &self);
  self.guard_.StandDown();
  self.lock_->Release();
}

void Runtime::StartGuard() {
  if (guard_missing_ || !app_ || guard_.Connected()) return;
  std::string why;
  if (!guard_.Start(guard::ProgramFile(), app_->Command(), why)) {
    guard_missing_ = true;
    std::fprintf(stderr, "kestrom.exe: the lock runs without its guard (%s)\n", why.c_str());
    return;
  }
  // The OOM killer should pick this process before the guard, which brings it back: lower,
  // where permitted, else one above where this process (and so the guard) started.
  if (!guard::SetOomScore(-900)) guard::SetOomScore(oom_score_at_start_ + 1);
  GreetGuard();
}

void Runtime::GreetGuard() {
  guard_fd_watched_ = guard_.fd();
  Fl::add_fd(guard_fd_watched_, FL_READ, OnGuardReadable, this);
  if (!connection_witness_) MakeConnectionWitness();
  guard_.Send(std::string(guard::kWatch) + std::to_string(connection_witness_));
  guard_.Send(std::string(guard::kStatePrefix) + FormatLockState(lock_state_));
  if (!record_.empty()) guard_.Send(guard::FormatRecord(record_));
  cover_reported_.clear();
  ReportCover();
}

void Runtime::MakeConnectionWitness() {
  // A window that lives exactly as long as our X connection: the guard sees it destroyed the
  // moment the connection is gone (xkill), before this process has even ended. Another client
  // may destroy it too: it is made again and the guard told.
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask = StructureNotifyMask;
  connection_witness_ =
      XCreateWindow(display_, DefaultRootWindow(display_), -1, -1, 1, 1, 0, 0, InputOnly,
                    CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
  XFlush(display_);
}

void Runtime::OnGuardStart(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  if (self.lock_->Engaged()) self.StartGuard();
}

void Runtime::OnGuardReadable(int fd, void* data) {
  auto& self = *static_cast<Runtime*>(data);
  if (self.guard_.Read()) return;
  // The guard is gone (killed, or its X connection was): we still hold the grabs; another one
  // starts, at once unless the last one died before it was up.
  Fl::remove_fd(fd);
  self.guard_fd_watched_ = -1;
  const double pause = self.guard_.GoneAfterReady()
                           ? 0.0
                           : std::chrono::duration<double>(kGuardRestartPause).count();
  Fl::add_timeout(pause, OnGuardStart, data);
}

void Runtime::LockStateChanged(const LockState& state) {
  lock_state_ = state;
  guard_.Send(std::string(guard::kStatePrefix) + FormatLockState(state));
}

void Runtime::RecordReadAtLoad(const std::string& record) {
  record_ = record;
  guard_.Send(guard::FormatRecord(record));
}

void Runtime::ReportCover() {
  // Nothing before our first window is up: the guard that restarted us drops its own cover on
  // the first report.
  if (!guard_.Connected() || guard_.GuardHolds() || FocusTarget() == 0) return;
  guard::Cover cover;
  cover.parent = cover_->CoverParent();
  cover.pixel = fl_xpixel(FL_BACKGROUND_COLOR);
  for (const auto& kept : cover_->KeptWindows()) {
    cover.windows.push_back(
        {kept.window, kept.rect.x, kept.rect.y, kept.rect.width, kept.rect.height});
  }
  std::string line = guard::FormatCover(cover);
  if (line == cover_reported_) return;
  guard_.Send(line);
  cover_reported_ = std::move(line);
}

}  // namespace vellomar::ui::fltk
