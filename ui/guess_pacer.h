#pragma once
// The wait after a wrong password: the next check happens no sooner than two seconds after a
// wrong one, as PAM's fail delay does, so that guessing runs at a crawl however fast the keys
// come. One rule for every form that checks a password (the Application holds a button that
// checks one until the wait is over), for the console lock, and for a run restarted after a
// crash (the wait is part of the lock state, so killing the program between guesses does not
// shorten it).

#include <optional>

namespace vellomar::ui {

inline constexpr double kWrongPasswordWaitSeconds = 2.0;

class GuessPacer {
 public:
  // A wrong password was checked at `now`, a clock reading in seconds since midnight.
  void Failed(float now) { failed_at_ = now; }
  // Seconds left before the next check may happen at `now`; 0 when it may happen now. Correct
  // across midnight.
  double Remaining(float now) const;
  bool Waiting(float now) const { return Remaining(now) > 0; }

 private:
  std::optional<float> failed_at_;
};

}  // namespace vellomar::ui
