#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "ui/fltk/fltk_runtime.h"

namespace vellomar::ui::fltk {

ScaledClock::ScaledClock(double speed) : speed_(speed), start_(std::chrono::steady_clock::now()) {
  platform::SystemClock system;
  start_of_day_ = system.Timer();
}

float ScaledClock::Timer() {
  std::chrono::duration<double> real = std::chrono::steady_clock::now() - start_;
  return static_cast<float>(std::fmod(start_of_day_ + real.count() * speed_, 86400.0));
}

void ScaledClock::Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds / speed_));
}

double ClockSpeedFromEnvironment() {
  const char* trace = std::getenv("KESTROM_TRACE");
  const char* speed = std::getenv("KESTROM_TEST_CLOCK_SPEED");
  if (!trace || !*trace || !speed) return 1.0;
  // Only ever faster: a slower clock would stretch the prompt's minute.
  const double value = std::strtod(speed, nullptr);
  return value > 1.0 ? value : 1.0;
}

}  // namespace vellomar::ui::fltk
