#pragma once
// Where a locked run stands, told to whatever restarts the program should it die while the
// keyboard is locked (the guard process on X11), so that the lock comes back as it was: the timed
// prompt with the seconds it had used, or the lockout. Every other run (an immediate lock, the
// setup gate, the wizard) comes back from its command line alone.
//
// It also says whether a wait after a wrong password was running (ui/guess_pacer.h): a restarted
// run then waits once more before its first check, so a kill never shortens the wait.
//
// Its text form travels between processes and in the environment of a restarted run:
// "prompt SECONDS", "lockout" or "other", followed by " wait" while a wait runs.

#include <string>
#include <string_view>

namespace vellomar::ui {

struct LockState {
  enum class Stage { kOther, kPrompt, kLockout };
  Stage stage = Stage::kOther;
  int prompt_elapsed_seconds = 0;  // whole seconds of the minute used, 0 to 60
  bool guess_wait = false;         // a wait after a wrong password was running
  bool operator==(const LockState&) const = default;
};

std::string FormatLockState(const LockState& state);
// Anything that is not a well-formed state reads as "other": a restarted run never resumes into
// a state it was not told exactly. The seconds are kept within the minute.
LockState ParseLockState(std::string_view text);

}  // namespace vellomar::ui
