// The runtime's part in keeping a lock: covering windows handed to LockWindows, the grabs taken
// back, the focus kept on the lock, the screen size followed, and the X events that call for a
// check. The keeping itself is Xlib only (xlock/).

#include "ui/fltk/fltk_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "guard/protocol.h"
#include "platform/errors.h"
#include "xlock/window_hints.h"

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
  self.InjectKeys();
  self.KeepLockWindows();
  if (self.lock_->Engaged()) self.lock_->Reassert();
  self.KeepFocus();
  self.ReportCover();
  XFlush(self.display_);
}

void Runtime::OnRestackDue(void* data) {
  static_cast<Runtime*>(data)->ScheduleCheck();
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
  // A restack put off (under a compositing manager ours are raised at most so often) is done by
  // a check of its own when due.
  Fl::remove_timeout(OnRestackDue, this);
  if (const long due = cover_->CheckDueInMs(); due >= 0) {
    Fl::add_timeout(static_cast<double>(due) / 1000.0, OnRestackDue, this);
  }
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
    // (the window manager's choice when it gave the focus): it goes nowhere.
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
  // The screen painted over, or ours raised again, before anything else is handled.
  if (cover_->OnEvent(event)) return true;
  // While the guard holds the keyboard every key comes through it (InjectKeys): one the server
  // delivers here directly can only be another client's.
  if ((event.type == KeyPress || event.type == KeyRelease) && guard_.GuardHolds() && !injecting_) {
    return true;
  }
  if (lock_->OnEvent(event)) return true;
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
  // A lock engaged again after a release needs a guard again.
  if (!self.guard_.Connected()) self.StartGuard();
  if (self.guard_.Connected() && !self.guard_.GuardHolds()) {
    switch (self.guard_.WaitForKeyboard()) {
      case guard::GuardLink::Answer::kHeld:
        break;
      case guard::GuardLink::Answer::kCannot:
        // The forms show their own message; this says why, for whoever reads the session's log.
        std::fprintf(stderr, "kestrom.exe: %s\n", self.guard_.Cannot().c_str());
        throw RuntimeError(errc::kKeyboardLockUnavailable, self.guard_.Cannot());
      case guard::GuardLink::Answer::kGone:
        // The guard died starting: this process grabs, and another guard is tried later.
        std::fputs("kestrom.exe: the guard did not start; the lock goes on without it\n", stderr);
        Fl::add_timeout(std::chrono::duration<double>(kGuardRestartPause).count(), OnGuardStart,
                        &self);
        break;
    }
  }
  self.lock_->KeyboardFromGuard(self.guard_.GuardHolds());
  // The guard that restarted this process holds the pointer too: it lets go just before we grab.
  if (self.restarted_ && self.guard_.GuardHolds()) self.guard_.TakePointer();
  self.restarted_ = false;
  self.lock_->Engage();
  if (self.guard_.Connected() && self.guard_fd_watched_ < 0) self.GreetGuard();
}

void Runtime::GuardedLock::Release() {
  Runtime& self = runtime_;
  // The guard first: nothing may take the lock over once we let go on purpose.
  if (self.guard_fd_watched_ >= 0) Fl::remove_fd(self.guard_fd_watched_);
  self.guard_fd_watched_ = -1;
  Fl::remove_timeout(OnGuardStart, &self);
  self.guard_.StandDown();
  self.lock_->KeyboardFromGuard(false);
  self.lock_->Release();
  // Keys that came through the guard and found no window go with it.
  self.pending_keys_.clear();
}

bool Runtime::StartGuard() {
  if (guard_missing_ || guard_.Connected()) return guard_.Connected();
  std::string why;
  if (!guard_.Start(guard::ProgramFile(), command_line_, why)) {
    guard_missing_ = true;
    std::fprintf(stderr, "kestrom.exe: the lock runs without its guard (%s)\n", why.c_str());
    return false;
  }
  YieldToGuardOnOom();
  return true;
}

bool Runtime::StartGuardFork(const guard::FirstLockWindow& first_window) {
  auto forked = guard::ForkGuard(guard::ProgramFile(), first_window);
  if (!forked) return false;
  guard_.Adopt(forked->fd, forked->pid, command_line_, std::move(forked->area));
  YieldToGuardOnOom();
  return true;
}

void Runtime::YieldToGuardOnOom() {
  // Lower, where permitted, else one above where this process (and so the guard) started.
  if (!guard::SetOomScore(-900)) guard::SetOomScore(oom_score_at_start_ + 1);
}

void Runtime::GreetGuard() {
  guard_fd_watched_ = guard_.fd();
  Fl::add_fd(guard_fd_watched_, FL_READ, OnGuardReadable, this);
  guard_.Send(std::string(guard::kStatePrefix) + FormatLockState(lock_state_));
  if (!record_.empty()) guard_.Send(guard::FormatRecord(record_));
  cover_reported_.clear();
  // The first guard may cover the lock window's place already.
  area_reported_ = guard_.TakeFirstArea();
  ReportArea();
  ReportCover();
  FromGuard();  // what came while we waited for its grab
}

void Runtime::OnGuardStart(void* data) {
  auto& self = *static_cast<Runtime*>(data);
  if (!self.lock_->Engaged() || self.guard_.Connected() || !self.StartGuard()) return;
  self.GreetGuard();
}

void Runtime::OnGuardReadable(int fd, void* data) {
  auto& self = *static_cast<Runtime*>(data);
  if (self.guard_.Read()) {
    self.FromGuard();
    return;
  }
  Fl::remove_fd(fd);
  self.guard_fd_watched_ = -1;
  self.cover_->AllowAbove(0);
  if (!self.lock_->Engaged()) return;  // the next Engage starts another
  // The guard is gone (killed, or it could not take the keyboard back): the keyboard is grabbed
  // here at once, and another guard starts, at once unless the last one died before it was up.
  if (self.lock_->KeyboardFromGuard() && !self.lock_->TakeKeyboard(self.guard_.GrabBreak())) {
    std::fputs("kestrom.exe: the keyboard was lost with the guard\n", stderr);
  }
  const double pause = self.guard_.GoneAfterReady()
                           ? 0.0
                           : std::chrono::duration<double>(kGuardRestartPause).count();
  Fl::add_timeout(pause, OnGuardStart, data);
}

void Runtime::FromGuard() {
  // The guard's warning that the keyboard is not safe may lie above our windows.
  cover_->AllowAbove(guard_.WarningWindow());
  if (guard_.GuardHolds()) lock_->KeyboardFromGuard(true);
  for (const guard::Key& key : guard_.TakeKeys()) pending_keys_.push_back(key);
  InjectKeys();
}

void Runtime::InjectKeys() {
  // Each key as the server would have delivered it to the window that has the focus, for the
  // toolkit's own handling (access keys, Tab, Enter and Esc included). Keys that come before any
  // window of ours is up wait for one.
  while (!pending_keys_.empty()) {
    const Window target = FocusTarget();
    if (target == 0) return;
    const guard::Key key = pending_keys_.front();
    pending_keys_.pop_front();
    XEvent event{};
    event.xkey.type = key.press ? KeyPress : KeyRelease;
    event.xkey.display = display_;
    event.xkey.window = target;
    event.xkey.root = DefaultRootWindow(display_);
    event.xkey.time = key.time;
    event.xkey.state = key.state;
    event.xkey.keycode = key.keycode;
    event.xkey.same_screen = True;
    injecting_ = true;
    fl_handle(event);
    injecting_ = false;
  }
}

void Runtime::LockStateChanged(const LockState& state) {
  lock_state_ = state;
  guard_.Send(std::string(guard::kStatePrefix) + FormatLockState(state));
}

void Runtime::ReportArea() {
  std::optional<guard::Area> area;
  for (auto& [form, window] : windows_) {
    if (!form->lock_screen || !window->wanted || !window->placed) continue;
    const CoverRect& r = window->place;
    area = guard::Area{r.x, r.y, r.width, r.height, fl_xpixel(FL_BACKGROUND_COLOR)};
  }
  SendArea(area);
}

void Runtime::SendArea(const std::optional<guard::Area>& area) {
  if (!guard_.Connected()) return;
  // A guard that restarted this process covers the place of the lock window that died: it keeps
  // its cover until this process has placed its own.
  if (!area && area_reported_.empty()) return;
  std::string line = guard::FormatArea(area);
  if (line == area_reported_) return;
  guard_.Send(line);
  area_reported_ = std::move(line);
}

void Runtime::RecordReadAtLoad(const std::string& record) {
  record_ = record;
  guard_.Send(guard::FormatRecord(record));
}

void Runtime::ReportCover() {
  // Nothing before our first window is up: a guard that restarted us drops its black cover on
  // the first report.
  if (!guard_.Connected() || FocusTarget() == 0) return;
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
