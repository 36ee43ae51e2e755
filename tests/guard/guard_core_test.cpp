// The guard's decisions without an X server: a host that records what the guard asks of it and
// grants grabs as each case says.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "guard/guard_core.h"

namespace vellomar::guard {
namespace {

class FakeHost : public GuardHost {
 public:
  bool keyboard_free = true;
  std::vector<std::string> log;  // what the guard did, in order
  std::vector<std::string> told;

  bool GrabKeyboard() override {
    log.push_back(keyboard_free ? "grab" : "grab refused");
    return keyboard_free;
  }
  bool GrabPointer() override {
    log.push_back("grab pointer");
    return true;
  }
  void UngrabPointer() override { log.push_back("ungrab pointer"); }
  void DisableGrabBreak() override { log.push_back("grab-break off"); }
  void AdoptGrabBreak(const std::string& saved) override { log.push_back("adopt " + saved); }
  void ShowArea(const std::optional<Area>& area) override {
    log.push_back(area ? "area " + std::to_string(area->width) : "area none");
  }
  void CoverWhole(bool cover) override { log.push_back(cover ? "cover" : "uncover"); }
  void KeepOnTop(bool keep) override { log.push_back(keep ? "on top" : "beneath"); }
  void WarnUnsafe(bool warn) override { log.push_back(warn ? "warn" : "unwarn"); }
  void Tell(const std::string& line) override { told.push_back(line); }
  void StartForms(const std::string& greeting) override { log.push_back("start " + greeting); }

  bool Did(const std::string& what) const {
    return std::find(log.begin(), log.end(), what) != log.end();
  }
  int Count(const std::string& what) const {
    return static_cast<int>(std::count(log.begin(), log.end(), what));
  }
};

TEST(GuardCore, HoldsFromTheStartPassesKeysOnAndEndsOnlyOnRelease) {
  FakeHost host;
  GuardCore core(host, 0);
  EXPECT_EQ(core.stage(), GuardCore::Stage::kHolding);
  EXPECT_EQ(host.told, std::vector<std::string>{"held"});
  EXPECT_TRUE(host.Did("grab-break off"));

  core.OnLine(FormatArea(Area{0, 0, 1024, 738, 7}), 5);
  core.OnLine(FormatArea(Area{0, 0, 1024, 738, 7}), 6);  // the same again changes nothing
  EXPECT_EQ(host.Count("area 1024"), 1);
  core.OnKey(true, 38, 0, 99);
  EXPECT_EQ(host.told.back(), "key 1 38 0 99");

  // A restarted process asks for the pointer; the keyboard stays.
  core.OnLine("take", 10);
  EXPECT_EQ(host.told.back(), "let-go");

  core.OnLine("state prompt 3", 11);
  core.OnLine("release", 12);
  EXPECT_EQ(core.stage(), GuardCore::Stage::kEnding);
  EXPECT_EQ(core.ExitStatus(), 0);
  core.OnKey(true, 38, 0, 100);
  EXPECT_EQ(host.told.back(), "let-go") << "no key after the release";
}

TEST(GuardCore, AKeyboardHeldElsewhereIsAskedForAndGivenUpOnAfterASecondUnlessTheLockIsUp) {
  // The forms process holds it (its guard died): asked once, it lets go.
  FakeHost host;
  host.keyboard_free = false;
  GuardCore core(host, 0);
  EXPECT_EQ(core.stage(), GuardCore::Stage::kWanting);
  core.OnTick(15);
  EXPECT_EQ(host.told, std::vector<std::string>{"want"});
  host.keyboard_free = true;
  core.OnLine("let-go", 20);
  EXPECT_EQ(core.stage(), GuardCore::Stage::kHolding);
  EXPECT_EQ(host.told.back(), "held");

  // Let go of while the lock is up, but another client took it first: held as a lost grab is,
  // the warning shown until it is had.
  FakeHost raced;
  raced.keyboard_free = false;
  GuardCore replacing(raced, 0);
  replacing.OnLine("let-go", 5);
  EXPECT_EQ(replacing.stage(), GuardCore::Stage::kHolding);
  EXPECT_EQ(raced.Count("warn"), 1);
  raced.keyboard_free = true;
  replacing.OnTick(5 + replacing.NextTickIn(5));
  EXPECT_EQ(raced.log.back(), "unwarn");

  // Another program that never lets go: "cannot" once the second is over, and the end.
  FakeHost taken;
  taken.keyboard_free = false;
  GuardCore refused(taken, 0);
  for (long now = 15; now < 1000; now += 15) refused.OnTick(now);
  EXPECT_EQ(refused.stage(), GuardCore::Stage::kWanting);
  refused.OnTick(1000);
  EXPECT_EQ(refused.stage(), GuardCore::Stage::kEnding);
  EXPECT_EQ(refused.ExitStatus(), 1);
  EXPECT_EQ(taken.told.back().rfind("cannot Could not lock keyboard", 0), 0u) << taken.told.back();
}

TEST(GuardCore, TheFormsProcessDiesAndIsStartedAgainWithoutReleasingAnything) {
  FakeHost host;
  GuardCore core(host, 0);
  core.OnLine(FormatCommand("/locknowfull /SU:x"), 1);
  core.OnLine(FormatHexLine("record", "rec"), 1);
  core.OnLine("state lockout", 2);
  core.OnLine(FormatArea(Area{0, 0, 800, 600, 7}), 3);
  host.log.clear();

  core.OnFormsGone(100);
  core.OnFormsGone(100);  // told twice: the socket and the windows
  EXPECT_EQ(host.Count("grab pointer"), 1);
  EXPECT_FALSE(host.Did("cover")) << "the lock window's area is covered already";
  EXPECT_TRUE(host.Did("on top"));
  core.OnKey(true, 38, 0, 1);
  EXPECT_NE(host.told.back(), "key 1 38 0 1") << "nobody to hand keys to";
  core.OnTick(100);
  ASSERT_EQ(host.log.back(), "start " + FormatCommand("/locknowfull /SU:x") + "\n" +
                                 FormatHexLine("record", "rec") + "\nready\nheld");
  EXPECT_EQ(core.state(), "lockout");
  EXPECT_FALSE(host.Did("grab-break off")) << "the keyboard was never let go";

  // Dead again before its windows were up: the next start waits.
  core.OnFormsGone(200);
  long now = 200;
  for (core.OnTick(now); host.log.back().rfind("start", 0) != 0 && now < 10'000;) {
    now += core.NextTickIn(now);
    core.OnTick(now);
  }
  EXPECT_EQ(now, 700) << "half a second after the second death";

  // Its windows up, they are the ones on top.
  core.OnLine(FormatCover(Cover{1, 2, {{5, 0, 0, 800, 600}}}), 900);
  EXPECT_EQ(host.log.back(), "beneath");
}

TEST(GuardCore, TheTimedPromptIsCoveredBlackWhileItsProcessIsAway) {
  FakeHost host;
  GuardCore core(host, 0);
  core.OnFormsGone(10);
  EXPECT_TRUE(host.Did("cover"));
  core.OnTick(10);
  core.OnLine(FormatCover(Cover{1, 2, {}}), 50);
  EXPECT_TRUE(host.Did("uncover"));
}

TEST(GuardCore, ALostGrabIsTakenBackWithAWarningMeanwhileAndAfterAReconnection) {
  FakeHost host;
  GuardCore core(host, 0);
  core.OnLine(FormatArea(Area{0, 0, 640, 480, 7}), 1);
  host.keyboard_free = false;
  core.OnGrabLost();
  EXPECT_EQ(core.NextTickIn(2), 15) << "tried again soon";
  core.OnTick(20);
  core.OnTick(40);
  EXPECT_EQ(host.Count("warn"), 1);
  host.keyboard_free = true;
  core.OnTick(60);
  EXPECT_EQ(host.log.back(), "unwarn");

  host.log.clear();
  core.OnReconnected(100);
  EXPECT_EQ(host.log, (std::vector<std::string>{"area 640", "grab", "grab-break off"}));
}

}  // namespace
}  // namespace vellomar::guard
