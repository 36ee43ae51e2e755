// The time of day the forms read, and the short waits they make.

#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/emulated.h"

namespace vellomar::platform {
namespace {

constexpr float kSecondsPerDay = 86400.0f;
// The shortest sleep Wait asks for, so that a clock whose reading moves in coarse steps (a
// single-precision time of day near midnight moves in steps of about 8 ms) still gets there.
constexpr double kMinimumSleep = 0.001;

}  // namespace

float ElapsedSeconds(float start, float now) {
  float elapsed = now - start;
  if (elapsed < 0) elapsed += kSecondsPerDay;  // midnight passed in between
  return elapsed;
}

void Wait(Clock& clock, double seconds) {
  const float start = clock.Timer();
  while (true) {
    const double elapsed = ElapsedSeconds(start, clock.Timer());
    if (elapsed >= seconds) return;
    clock.Sleep(std::max(seconds - elapsed, kMinimumSleep));
  }
}

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

void SystemClock::Sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace vellomar::platform
