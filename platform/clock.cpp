// The time of day the forms read, and the short waits they make.

#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vellomar::platform {
namespace {

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

void SystemClock::Sleep(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace vellomar::platform
