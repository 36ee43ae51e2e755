#include "ui/guess_pacer.h"

#include "platform/clock.h"

namespace vellomar::ui {

double GuessPacer::Remaining(float now) const {
  if (!failed_at_) return 0;
  const double left = kWrongPasswordWaitSeconds - platform::ElapsedSeconds(*failed_at_, now);
  return left > 0 ? left : 0;
}

}  // namespace vellomar::ui
