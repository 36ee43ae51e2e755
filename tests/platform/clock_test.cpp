// Clock: seconds since midnight, elapsed time across midnight, and waits that sleep toward their
// deadline instead of spinning. A scripted clock stands in for time; nothing here really waits.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/clock.h"

namespace vellomar::testing {
namespace {

// Time of day that moves only when slept, read back in single precision like the real one.
class ScriptedClock : public platform::Clock {
 public:
  explicit ScriptedClock(double start) : now_(start) {}
  float Timer() override { return static_cast<float>(std::fmod(now_, 86400.0)); }
  void Sleep(double seconds) override {
    sleeps.push_back(seconds);
    now_ += seconds;
  }
  double now() const { return now_; }
  std::vector<double> sleeps;

 private:
  double now_;
};

TEST(ClockTest, ElapsedSecondsSurviveMidnight) {
  EXPECT_FLOAT_EQ(2.5f, platform::ElapsedSeconds(100.0f, 102.5f));
  EXPECT_FLOAT_EQ(1.0f, platform::ElapsedSeconds(86399.5f, 0.5f)) << "across midnight";
  EXPECT_FLOAT_EQ(0.0f, platform::ElapsedSeconds(5.0f, 5.0f));
  const float now = platform::SystemClock().Timer();
  EXPECT_TRUE(now >= 0.0f && now < 86400.0f) << "the system clock is the time of day: " << now;
}

TEST(ClockTest, WaitSleepsTowardTheDeadline) {
  struct Case {
    double start, seconds, min_end;
    std::size_t max_sleeps;
  };
  for (const Case& c :
       {Case{1000.0, 0.5, 1000.5, 3}, Case{86399.95, 0.1, 86400.04, 20}, Case{10, 0, 10, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.seconds << " s from " << c.start);
    ScriptedClock clock(c.start);
    platform::Wait(clock, c.seconds);
    EXPECT_GE(clock.now(), c.min_end) << "a wait across midnight still ends";
    EXPECT_EQ(c.seconds > 0, !clock.sleeps.empty());
    EXPECT_LE(clock.sleeps.size(), c.max_sleeps) << "sleeps, does not spin";
    for (double s : clock.sleeps) EXPECT_GT(s, 0.0);
  }
}

}  // namespace
}  // namespace vellomar::testing
