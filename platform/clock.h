#pragma once
// The clock the forms read: seconds since midnight in single precision, and a sleep.

namespace vellomar::platform {

inline constexpr float kSecondsPerDay = 86400.0f;

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since midnight, single precision.
  virtual float Timer() = 0;
  // Blocks the calling thread for about `seconds` without using the CPU (a virtual clock
  // simply moves on).
  virtual void Sleep(double seconds) = 0;
};

// The real clock: local time of day, sleeps with the OS. Timer() reads the host's local time
// (platform/system_clock.cpp on POSIX, platform/win32/system_clock.cpp on Windows).
class SystemClock : public Clock {
 public:
  float Timer() override;
  void Sleep(double seconds) override;
};

// Seconds from `start` to `now`, both read from Timer(); correct across midnight.
float ElapsedSeconds(float start, float now);

// Waits until `seconds` have passed on `clock`, measured from a reading taken now. It sleeps
// toward the deadline (no spinning) and processes no events.
void Wait(Clock& clock, double seconds);

}  // namespace vellomar::platform
