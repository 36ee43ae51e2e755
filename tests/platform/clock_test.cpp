// Clock: seconds since midnight, elapsed time across midnight, and waits that sleep toward their
// deadline instead of spinning. A scripted clock stands in for time; nothing here really waits.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/clock.h"
#include "platform/emulated.h"

namespace vellomar::testing {
namespace {

// Time of day that moves only when slept, read back in single precision like the real one.
class ScriptedClock : public platform::Clock {
 public:
  explicit ScriptedClock(double start) : now_(start) {}
  float Timer() override {
    ++readings;
    return static_cast<float>(std::fmod(now_, 86400.0));
  }
  void Sleep(double seconds) override {
    sleeps.push_back(seconds);
    now_ += seconds;
  }
  double now() const { return now_; }
  std::vector<double> sleeps;
  int readings = 0;

 private:
  double now_;
};

TEST(ClockTest, ElapsedSecondsSurviveMidnight) {
  EXPECT_FLOAT_EQ(2.5f, platform::ElapsedSeconds(100.0f, 102.5f));
  EXPECT_FLOAT_EQ(1.0f, platform::ElapsedSeconds(86399.5f, 0.5f)) << "across midnight";
  EXPECT_FLOAT_EQ(0.0f, platform::ElapsedSeconds(5.0f, 5.0f));
}

TEST(ClockTest, WaitSleepsTowardTheDeadline) {
  ScriptedClock clock(1000.0);
  platform::Wait(clock, 0.5);
  EXPECT_GE(clock.now(), 1000.5);
  ASSERT_FALSE(clock.sleeps.empty());
  EXPECT_LE(clock.sleeps.size(), 3u) << "sleeps, does not spin";
  for (double s : clock.sleeps) EXPECT_GT(s, 0.0);
}

TEST(ClockTest, WaitAcrossMidnightEnds) {
  ScriptedClock clock(86399.95);
  platform::Wait(clock, 0.1);
  EXPECT_GE(clock.now(), 86400.04) << "a wait started just before midnight still finishes";
  EXPECT_LE(clock.sleeps.size(), 20u);
}

TEST(ClockTest, WaitOfNothingDoesNotSleep) {
  ScriptedClock clock(10.0);
  platform::Wait(clock, 0.0);
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST(ClockTest, SystemClockIsTheTimeOfDay) {
  platform::SystemClock clock;
  const float now = clock.Timer();
  EXPECT_GE(now, 0.0f);
  EXPECT_LT(now, 86400.0f);
}

}  // namespace
}  // namespace vellomar::testing
