#include "guard/guard_core.h"

#include <algorithm>
#include <cstring>

#include "base/lock_state.h"

namespace vellomar::guard {
namespace {

// How long the first grab is tried while another client holds the keyboard: about a second, as
// the lock always waited for a menu to close.
constexpr long kWantMs = 1000;
// While wanting, and after a grab was lost: how soon a grab is tried again.
constexpr long kRetryMs = 15;
// While holding: how often the grabs are asserted again and the windows checked without an event.
constexpr long kHoldingTickMs = 100;
// A forms process that dies before its windows are up is started again after a pause that
// doubles each time, up to this: a program that cannot start must not spin the machine.
constexpr long kLongestRestartPauseMs = 8000;

constexpr char kCannotHaveKeyboard[] =
    "Could not lock keyboard: another program holds the keyboard.";

}  // namespace

GuardCore::GuardCore(GuardHost& host, long now) : host_(host) {
  want_until_ = now + kWantMs;
  TryFirstGrab(now);
}

void GuardCore::TryFirstGrab(long now) {
  if (host_.GrabKeyboard()) {
    Hold();
    return;
  }
  // The forms process itself may hold the keyboard (this guard replaces one that died): it lets
  // go when asked. Anyone else gets until the second is over.
  if (!asked_) host_.Tell(kWant);
  asked_ = true;
  if (now >= want_until_) {
    host_.Tell(std::string(kCannot) + ' ' + kCannotHaveKeyboard);
    stage_ = Stage::kEnding;
  }
}

void GuardCore::Hold() {
  stage_ = Stage::kHolding;
  keyboard_held_ = true;
  host_.DisableGrabBreak();
  host_.Tell(kHeld);
}

void GuardCore::OnLine(const std::string& line, long now) {
  if (stage_ == Stage::kEnding) return;
  if (line == kRelease) {
    // Only the forms process's word ends the lock: the socket reaches the live one alone.
    stage_ = Stage::kEnding;
    released_ = true;
    return;
  }
  if (auto command_line = ParseCommand(line)) {
    command_line_ = std::move(*command_line);
  } else if (auto record = ParseRecord(line)) {
    record_ = std::move(*record);
  } else if (auto saved = ParseHexLine(kGrabBreak, line)) {
    host_.AdoptGrabBreak(*saved);
  } else if (line.rfind(kStatePrefix, 0) == 0) {
    state_ = ui::FormatLockState(ui::ParseLockState(line.substr(std::strlen(kStatePrefix))));
  } else if (auto area = ParseArea(line)) {
    if (*area == area_) return;
    area_ = *area;
    host_.ShowArea(area_);
  } else if (line == kLetGo) {
    // The forms process let go of the keyboard it held meanwhile: it is ours now, at once.
    if (stage_ == Stage::kWanting) {
      for (int i = 0; i < 50 && stage_ == Stage::kWanting; ++i) TryFirstGrab(now);
      // Still not ours: another client took it while the lock was up. The lock goes on as with
      // a grab lost: tried again at every tick, the warning shown until it is had.
      if (stage_ == Stage::kWanting) {
        Hold();
        OnGrabLost();
      }
    }
  } else if (line == kTake) {
    // A restarted forms process grabs the pointer itself; the keyboard stays here.
    if (pointer_held_) host_.UngrabPointer();
    pointer_held_ = false;
    host_.Tell(kLetGo);
  } else if (ParseCover(line)) {
    // The forms process's windows are up: they cover the screen now, and keep on top.
    if (!forms_up_) {
      forms_up_ = true;
      restarts_ = 0;
      host_.CoverWhole(false);
      host_.KeepOnTop(false);
    }
  }
}

void GuardCore::OnKey(bool press, unsigned keycode, unsigned state, unsigned long time) {
  if (stage_ != Stage::kHolding || !forms_connected_) return;
  host_.Tell(FormatKey({press, keycode, state, time}));
}

void GuardCore::OnFormsGone(long now) {
  if (stage_ == Stage::kEnding) return;
  if (stage_ == Stage::kWanting) {
    // Nobody to hand keys to and no state to restart in: the lock never began.
    stage_ = Stage::kEnding;
    return;
  }
  if (!forms_connected_ && !forms_up_ && start_at_) return;  // told twice (socket and windows)
  forms_connected_ = false;
  forms_up_ = false;
  pointer_held_ = host_.GrabPointer();
  if (!area_) host_.CoverWhole(true);
  host_.KeepOnTop(true);
  // The first restart is at once; one that died before its windows were up waits longer each
  // time.
  const long pause =
      restarts_ == 0 ? 0 : std::min(kLongestRestartPauseMs, 250L << std::min(restarts_, 6));
  start_at_ = now + pause;
}

void GuardCore::StartFormsAgain() {
  start_at_.reset();
  ++restarts_;
  forms_connected_ = true;
  std::string greeting = FormatCommand(command_line_) + '\n';
  greeting += FormatRecord(record_) + '\n';
  greeting += std::string(kReady) + '\n' + kHeld;
  host_.StartForms(greeting);
}

void GuardCore::OnGrabLost() {
  if (stage_ != Stage::kHolding) return;
  keyboard_held_ = false;
  Regrab();
}

void GuardCore::Regrab() {
  keyboard_held_ = host_.GrabKeyboard();
  if (warned_ == keyboard_held_) {
    warned_ = !keyboard_held_;
    host_.WarnUnsafe(warned_);
  }
  if (!forms_connected_ && !pointer_held_) pointer_held_ = host_.GrabPointer();
}

void GuardCore::OnReconnected(long now) {
  if (stage_ == Stage::kWanting) {
    TryFirstGrab(now);
    return;
  }
  if (stage_ != Stage::kHolding) return;
  // Whatever the dead connection held went with it. The cover first, so that the overlay the
  // forms' windows share is never shaped to less than theirs.
  keyboard_held_ = false;
  pointer_held_ = false;
  warned_ = false;
  host_.ShowArea(area_);
  if (!forms_connected_) {
    if (!area_) host_.CoverWhole(true);
    host_.KeepOnTop(true);
  }
  Regrab();
  host_.DisableGrabBreak();
}

void GuardCore::OnTick(long now) {
  if (stage_ == Stage::kWanting) {
    TryFirstGrab(now);
    return;
  }
  if (stage_ != Stage::kHolding) return;
  Regrab();
  if (start_at_ && now >= *start_at_) StartFormsAgain();
}

long GuardCore::NextTickIn(long now) const {
  if (stage_ == Stage::kWanting) return std::max(0L, std::min(kRetryMs, want_until_ - now));
  if (stage_ != Stage::kHolding) return -1;
  long next = keyboard_held_ ? kHoldingTickMs : kRetryMs;
  if (start_at_) next = std::clamp(*start_at_ - now, 0L, next);
  return next;
}

}  // namespace vellomar::guard
