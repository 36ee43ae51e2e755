// Kestrom, the immediate lock screen: status line, smiley, modes, the wizard's trial lock.

#include <string>
#include <vector>

#include "forms/fixture.h"
#include "lock/kestrom.h"
#include "wizard/pages_handover.h"
#include "wizard/wizard_state.h"

namespace vellomar::testing {
namespace {

using LockScreenTest = FormsFixture;

TEST_F(LockScreenTest, WrongAndBlankEntriesOnlySetTheStatusLine) {
  Start("/locknow");
  rt().PressEnter("Kestrom");
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"),
            "Status: You have left the required password field blank.");
  TypeAndEnter("Kestrom", "Secret2");
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"), "Status: The password is incorrect.");
  rt().Type("Kestrom", "Text1", "again wrong");
  rt().Click("Kestrom", "Command1");
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"), "Status: The password is incorrect.");
  EXPECT_EQ(rt().Text("Kestrom", "Text1"), "again wrong");
  EXPECT_TRUE(rt().MessageBoxes().empty());
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_TRUE(rt().FormVisible("Kestrom"));
  // Clicking into the box clears the status line.
  rt().Click("Kestrom", "Text1");
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"), "");
}

TEST_F(LockScreenTest, CorrectPasswordPlaysTheGrowingSmileyThenEndsAfterASecond) {
  Start("/locknow");
  TypeAndEnter("Kestrom", "SECRET1");
  EXPECT_TRUE(rt().Ended());
  EXPECT_FALSE(rt().KeyboardLocked());
  EXPECT_TRUE(StepsInOrder({"set Kestrom.Label3.caption=Status: Password verified.", "lock off",
                            "set Kestrom.Image1.visible=true", "set Kestrom.Image1.visible=false",
                            "set Kestrom.Image2.visible=true", "set Kestrom.Image2.visible=false",
                            "set Kestrom.Image3.visible=true", "set Kestrom.Image3.visible=false",
                            "set Kestrom.Image4.visible=true", "unload Kestrom", "end"}));
  // Each wait ends once the single-precision clock has passed its deadline: a few ms late at most.
  const long first = TimeOf("set Kestrom.Image1.visible=true");
  EXPECT_NEAR(TimeOf("set Kestrom.Image2.visible=true") - first, 200, 10);
  EXPECT_NEAR(TimeOf("set Kestrom.Image3.visible=true") - first, 300, 15);
  EXPECT_NEAR(TimeOf("set Kestrom.Image4.visible=true") - first, 400, 20);
  EXPECT_NEAR(TimeOf("end") - first, 1400, 25);
}

TEST_F(LockScreenTest, NosmileShowsNoPictureButStillWaitsASecond) {
  Start("/locknowfull /nosmile");
  TypeAndEnter("Kestrom", kPassword);
  EXPECT_TRUE(rt().Ended());
  for (const std::string& step : Steps()) {
    EXPECT_EQ(step.find("set Kestrom.Image"), std::string::npos) << step;
  }
  EXPECT_NEAR(TimeOf("end") - TimeOf("lock off"), 1000, 5);
}

TEST_F(LockScreenTest, OnlyFullModeTakesTheFocusBackToThePasswordBox) {
  for (const auto& [command, focus] :
       {std::pair{"/locknowfull", "Kestrom.Text1"}, std::pair{"/locknow", "Kestrom.Command1"}}) {
    SCOPED_TRACE(command);
    Start(command);
    rt().Click("Kestrom", "Command1");  // the focus goes to the button (blank entry)
    EXPECT_EQ(rt().Focused(), "Kestrom.Command1");
    rt().AdvanceTime(3000);
    EXPECT_EQ(rt().Focused(), focus);
  }
}

TEST_F(LockScreenTest, TheLockWindowHidesBeforeAnErrorMessageThatEndsTheRun) {
  WriteRecordFile("garbage\r\n");
  Start("/locknowfull");
  ASSERT_EQ(rt().MessageBoxes().size(), 1u);
  EXPECT_EQ(rt().MessageBoxes()[0].second, kMsgRecordCorrupted);
  EXPECT_FALSE(rt().FormVisible("Kestrom")) << "the top-most window would cover the message";
  EXPECT_TRUE(StepsInOrder({"hide Kestrom", "msgbox Error: " + std::string(kMsgRecordCorrupted)}));
}

TEST_F(LockScreenTest, ARecordDamagedWhileLockedIsReportedOverTheLock) {
  Start("/locknowfull");
  WriteRecordFile("garbage\r\n");
  rt().PressEnter("Kestrom");  // the record is checked even before a blank entry is refused
  ASSERT_EQ(rt().MessageBoxes().size(), 1u);
  EXPECT_EQ(rt().MessageBoxes()[0].second, kMsgRecordCorrupted);
  EXPECT_TRUE(rt().FormVisible("Kestrom"));
  rt().DismissMessageBox();
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"),
            "Status: You have left the required password field blank.");
}

// The wizard's trial lock (no switch, Welcome3's Setup = "true") covers the whole screen and goes
// on to Welcome4; outside the wizard the same form is the taskbar-mode lock and just ends.
TEST_F(LockScreenTest, TrialLockCoversTheWholeScreenAndContinuesTheWizard) {
  for (const std::string setup : {"true", "false"}) {
    SCOPED_TRACE("Setup = " + setup);
    const bool trial = setup == "true";
    Create({}, [setup](ui::Application& app) {
      app.Provide<WizardHandover, WizardPagesHandover>();
      app.Get<WizardState>().Setup = setup;
      return app.Run<Kestrom>();
    });
    rt().Start();
    EXPECT_EQ(rt().PlacementOf("Kestrom").height, trial ? 768 : 700);
    TypeAndEnter("Kestrom", kPassword);
    EXPECT_EQ(rt().Ended(), !trial);
    EXPECT_FALSE(rt().FormLoaded("Kestrom"));
    EXPECT_EQ(rt().FormVisible("Welcome4"), trial);
    EXPECT_FALSE(rt().KeyboardLocked());
  }
}

// After a wrong password the next check of any form waits two seconds: a press meanwhile is held
// and acts, with what was typed meanwhile, when the wait ends; a blank box is no guess; the wait
// is part of the lock state a restart resumes; a prompt whose minute runs out meanwhile checks
// nothing any more.
TEST_F(LockScreenTest, EveryCheckWaitsTwoSecondsAfterAWrongPassword) {
  const std::string blank = "You have left the required password field blank.";
  for (const auto& [form, command] : {std::pair{"PassMain", ""}, std::pair{"Kestrom", "/locknow"},
                                      std::pair{"EnterSetupPassword", "/setup"}}) {
    SCOPED_TRACE(form);
    // What a check said: the status line of the lock screen, the message box of the others.
    auto said = [&, form = std::string(form)] {
      if (form == "Kestrom") return rt().Caption("Kestrom", "Label3");
      if (rt().MessageBoxes().empty()) return std::string();
      const std::string text = rt().MessageBoxes().back().second;
      rt().DismissMessageBox();
      return text;
    };
    Start(command);
    TypeAndEnter(form, "wrong");
    EXPECT_NE(said().find("The password is incorrect."), std::string::npos) << "said at once";
    ASSERT_FALSE(rt().lock_states().empty());
    EXPECT_TRUE(rt().lock_states().back().guess_wait);

    TypeAndEnter(form, "");
    EXPECT_EQ(said().find(blank), std::string::npos) << "checked during the wait";
    rt().AdvanceTime(2000);
    EXPECT_NE(said().find(blank), std::string::npos) << "the held press acts when the wait ends";
    TypeAndEnter(form, kPassword);  // a blank box was no guess: no wait now
    EXPECT_FALSE(rt().KeyboardLocked());

    // A run restarted during the wait waits once more before its first check.
    ui::HeadlessRuntime::Options restarted;
    restarted.command_line = command;
    restarted.resume.guess_wait = true;
    Start(std::move(restarted));
    TypeAndEnter(form, kPassword);
    EXPECT_TRUE(rt().KeyboardLocked());
    rt().AdvanceTime(2000);
    EXPECT_FALSE(rt().KeyboardLocked());
  }

  // The minute runs out while a press waits: the lockout stays, nothing is checked.
  Start("");
  rt().AdvanceTime(58500);
  TypeAndEnter("PassMain", "wrong");
  rt().DismissMessageBox();
  TypeAndEnter("PassMain", kPassword);
  rt().AdvanceTime(3000);
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_FALSE(rt().Ended());
}

// A lock and an unlock, read as the algorithm runs them.
TEST_F(LockScreenTest, TranscriptOfALockAndUnlockFollowsTheAlgorithm) {
  Start("/locknow /nosmile");
  TypeAndEnter("Kestrom", "wrong");
  TypeAndEnter("Kestrom", kPassword);  // held until the wait after a wrong password is over
  rt().AdvanceTime(2000);
  const std::vector<std::string> expected = {
      // PassMain's Initialize locks the keyboard; its Load, finding "/LOCKNOW", hides the form
      // before it was ever on screen and shows Kestrom, whose Load sizes it top-most.
      "lock on",
      "show Kestrom",
      "place Kestrom 0,0 1024x700",
      // A wrong entry: only the status line.
      "set Kestrom.Label3.caption=Status: The password is incorrect.",
      // The right one: status, release, no smiley, one second, unload, end.
      "set Kestrom.Label3.caption=Status: Password verified.",
      "lock off",
      "unload Kestrom",
      "end",
  };
  EXPECT_EQ(Steps(), expected);
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace vellomar::testing
