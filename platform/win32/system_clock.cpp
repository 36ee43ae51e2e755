// The time of day from GetLocalTime, to the millisecond as Windows keeps it.

#include <windows.h>

#include "platform/clock.h"

namespace vellomar::platform {

float SystemClock::Timer() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const double seconds =
      now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0;
  const float timer = static_cast<float>(seconds);
  return timer >= kSecondsPerDay ? 0.0f : timer;
}

}  // namespace vellomar::platform
