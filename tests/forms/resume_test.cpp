// A run restarted after a crash while locked (the guard process restarts kestrom.exe): the
// prompt goes on with the seconds it had left, the lockout comes straight back, and every other
// run starts from its command line as usual. The running prompt reports what a restart needs.

#include <string>

#include "forms/fixture.h"

namespace vellomar::testing {
namespace {

using ResumeTest = FormsFixture;
using Stage = ui::LockState::Stage;

ui::HeadlessRuntime& StartResumed(ResumeTest& test, const std::string& command_line,
                                  ui::LockState resume, double time_of_day = 12 * 3600.0) {
  ui::HeadlessRuntime::Options options;
  options.command_line = command_line;
  options.resume = resume;
  options.start_time_of_day = time_of_day;
  return test.Start(std::move(options));
}

TEST_F(ResumeTest, PromptGoesOnWithTheSecondsItHadLeftAcrossMidnight) {
  // 20 s before midnight, 45 s of the minute already used before the crash.
  StartResumed(*this, "", {Stage::kPrompt, 45}, 86380);
  EXPECT_TRUE(rt().FormVisible("PassMain"));
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "15");
  rt().AdvanceTime(14900);
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "1");
  EXPECT_FALSE(rt().FormLoaded("Lockout"));
  rt().AdvanceTime(100);
  EXPECT_TRUE(rt().FormVisible("Lockout")) << "the minute ends 15 s after the restart";
  EXPECT_TRUE(rt().KeyboardLocked());

  // A restart with the whole minute used goes to the lockout at its first tick.
  StartResumed(*this, "", {Stage::kPrompt, 60});
  rt().AdvanceTime(1);
  EXPECT_TRUE(rt().FormVisible("Lockout"));
}

TEST_F(ResumeTest, ResumedPromptStillTakesThePassword) {
  StartResumed(*this, "", {Stage::kPrompt, 30});
  TypeAndEnter("PassMain", kPassword);
  EXPECT_TRUE(rt().Ended());
  EXPECT_EQ(rt().ExitCode(), 0);
  EXPECT_FALSE(rt().KeyboardLocked());
}

TEST_F(ResumeTest, LockoutComesStraightBack) {
  StartResumed(*this, "", {Stage::kLockout, 0});
  EXPECT_FALSE(rt().FormVisible("PassMain"));
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_TRUE(rt().KeyboardLocked());
  rt().AdvanceTime(10 * 60000);
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_FALSE(rt().Ended());
}

TEST_F(ResumeTest, RunsWithoutThePromptIgnoreAResumedState) {
  // An immediate lock comes back from its command line: the state said is not its own.
  StartResumed(*this, "/locknow", {Stage::kLockout, 0});
  EXPECT_TRUE(rt().FormVisible("Kestrom"));
  EXPECT_FALSE(rt().FormLoaded("Lockout"));
  StartResumed(*this, "/locknowfull", {Stage::kPrompt, 50});
  EXPECT_TRUE(rt().FormVisible("Kestrom"));
  rt().AdvanceTime(60000);
  EXPECT_FALSE(rt().FormLoaded("Lockout"));

  // The first-time wizard starts over.
  WritePlaceholder();
  StartResumed(*this, "", {Stage::kLockout, 0});
  EXPECT_FALSE(rt().FormLoaded("Lockout"));
  EXPECT_FALSE(rt().FormVisible("PassMain"));
}

TEST_F(ResumeTest, PromptReportsTheSecondsUsedThenTheLockout) {
  Start("");
  rt().AdvanceTime(2500);
  ASSERT_FALSE(rt().lock_states().empty());
  EXPECT_EQ(rt().lock_states().front(), (ui::LockState{Stage::kPrompt, 0}));
  EXPECT_EQ(rt().lock_states().back(), (ui::LockState{Stage::kPrompt, 2}));
  EXPECT_EQ(rt().lock_states().size(), 3u) << "only changes are reported";
  rt().AdvanceTime(60000);
  EXPECT_EQ(rt().lock_states().back(), (ui::LockState{Stage::kLockout, 0}));

  // An immediate lock has nothing to report: its command line brings it back.
  Start("/locknow");
  rt().AdvanceTime(5000);
  EXPECT_TRUE(rt().lock_states().empty());
}

TEST(LockStateText, RoundTripsAndRefusesAnythingElse) {
  for (const ui::LockState& state :
       {ui::LockState{}, ui::LockState{Stage::kPrompt, 0}, ui::LockState{Stage::kPrompt, 59},
        ui::LockState{Stage::kLockout, 0}, ui::LockState{Stage::kPrompt, 7, true},
        ui::LockState{Stage::kOther, 0, true}}) {
    EXPECT_EQ(ui::ParseLockState(ui::FormatLockState(state)), state);
  }
  EXPECT_EQ(ui::ParseLockState("prompt 99"), (ui::LockState{Stage::kPrompt, 60}));
  EXPECT_EQ(ui::ParseLockState("prompt -5"), (ui::LockState{Stage::kPrompt, 0}));
  for (const char* bad : {"", "prompt", "prompt ", "prompt 1x", "prompt 1 2", "Lockout", "lockout ",
                          "prompt 99999999999999", " wait", "wait", "prompt 1 wait wait"}) {
    EXPECT_EQ(ui::ParseLockState(bad), ui::LockState{}) << bad;
  }
}

}  // namespace
}  // namespace vellomar::testing
