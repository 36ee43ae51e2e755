// The time of day from the host's local time (POSIX).

#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace vellomar::platform {

float SystemClock::Timer() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t whole = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&whole, &local);
  const double fraction = duration<double>(now - system_clock::from_time_t(whole)).count();
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
  const float timer = static_cast<float>(seconds);
  return timer >= kSecondsPerDay ? 0.0f : timer;
}

}  // namespace vellomar::platform
