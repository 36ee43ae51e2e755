// PassMain as the timed start-up prompt: the countdown, the minute, the password check.

#include <stdexcept>
#include <string>

#include "forms/fixture.h"

namespace vellomar::testing {
namespace {

using PromptTest = FormsFixture;

TEST_F(PromptTest, CountdownRunsAcrossMidnightAndTheMinuteEndsInTheLockout) {
  ui::HeadlessRuntime::Options options;
  options.start_time_of_day = 86370;  // 30 s before midnight
  Start(options);
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "60");
  rt().AdvanceTime(30000);
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "30") << "midnight passed just now";
  rt().AdvanceTime(29900);
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "1");
  EXPECT_TRUE(rt().FormVisible("PassMain"));
  EXPECT_FALSE(rt().FormLoaded("Lockout"));

  rt().AdvanceTime(100);
  EXPECT_EQ(rt().Caption("PassMain", "Label2"), "0");
  EXPECT_FALSE(rt().FormVisible("PassMain"));
  EXPECT_TRUE(rt().FormLoaded("PassMain")) << "the prompt stays loaded behind the lockout";
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_FALSE(rt().Ended());
  EXPECT_THROW(rt().Type("PassMain", "Text1", kPassword), std::logic_error)
      << "after the minute the prompt cannot be typed into";

  // The lockout keeps the keyboard locked and never ends.
  rt().AdvanceTime(10 * 60000);
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_EQ(rt().keyboard_lock().release_calls(), 0);
  EXPECT_FALSE(rt().Ended());
}

TEST_F(PromptTest, WrongPasswordKeepsTypedTextAndThePromptWaits) {
  Start("");
  TypeAndEnter("PassMain", "Secret2");
  ASSERT_EQ(rt().MessageBoxes().size(), 1u);
  EXPECT_EQ(rt().MessageBoxes()[0].first, "Error");
  EXPECT_EQ(rt().MessageBoxes()[0].second, "The password is incorrect.");
  rt().DismissMessageBox();
  EXPECT_EQ(rt().Text("PassMain", "Text1"), "Secret2");
  EXPECT_TRUE(rt().FormVisible("PassMain"));
  EXPECT_TRUE(rt().KeyboardLocked());
  // No count of attempts: the right password still works afterwards, in any letter case. A
  // press within two seconds of the wrong one is held and acts when the wait is over, with what
  // was typed meanwhile.
  rt().Type("PassMain", "Text1", "sEcReT");
  rt().Click("PassMain", "cmdOK");
  rt().PressEnter("PassMain");
  rt().Type("PassMain", "Text1", "sEcReT1");
  rt().AdvanceTime(1950);
  EXPECT_FALSE(rt().Ended()) << "checked before the wait was over";
  EXPECT_TRUE(rt().MessageBoxes().empty()) << "a held press is checked once, when the wait ends";
  rt().AdvanceTime(100);
  EXPECT_TRUE(rt().Ended());
  EXPECT_FALSE(rt().KeyboardLocked());
}

TEST_F(PromptTest, BlankEntryIsRefusedBeforeAnyComparison) {
  WritePassword("");  // an empty stored password: only a blank entry would equal it
  Start("");
  rt().PressEnter("PassMain");
  EXPECT_EQ(Messages(),
            std::vector<std::string>{ErrorBox("You have left the required password field blank.")});
  rt().DismissMessageBox();
  EXPECT_TRUE(rt().FormVisible("PassMain"));
  TypeAndEnter("PassMain", "x");
  EXPECT_EQ(Messages().back(), ErrorBox("The password is incorrect."));
}

TEST_F(PromptTest, CorrectPasswordShowsTheSmileyForOneSecondThenReleasesAndEnds) {
  Start("");
  rt().AdvanceTime(5000);
  TypeAndEnter("PassMain", kPassword);
  EXPECT_TRUE(rt().Ended());
  EXPECT_FALSE(rt().KeyboardLocked());
  const std::vector<std::string> expected = {
      "lock on",  // Initialize; Load and Activate lock again, which changes nothing
      "show PassMain",
      // Accepted: the smiley takes the countdown's place for one second, then release and end.
      "set PassMain.Label2.visible=false",
      "set PassMain.Image1.visible=true",
      "lock off",
      "unload PassMain",
      "end",
  };
  EXPECT_EQ(Steps(), expected);
  EXPECT_NEAR(TimeOf("lock off") - TimeOf("set PassMain.Image1.visible=true"), 1000, 5);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(PromptTest, MinuteRunningOutUnderTheIncorrectMessage) {
  Start("");
  TypeAndEnter("PassMain", "nope");
  ASSERT_EQ(rt().MessageBoxes().size(), 1u);
  rt().AdvanceTime(60000);
  EXPECT_FALSE(rt().FormVisible("PassMain"));
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_EQ(rt().MessageBoxes().size(), 1u);
  // Closing the message only finishes the handler: the lockout stays, the lock stays.
  rt().DismissMessageBox();
  EXPECT_TRUE(rt().FormVisible("Lockout"));
  EXPECT_FALSE(rt().FormVisible("PassMain"));
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_FALSE(rt().Ended());
}

// The close box (0) and the task list (3) are refused; Windows shutting down (2) closes the form.
TEST_F(PromptTest, CloseRequestsByReason) {
  for (const auto& [command, form] :
       {std::pair{"", "PassMain"}, std::pair{"/locknow", "Kestrom"}, std::pair{"", "Lockout"}}) {
    SCOPED_TRACE(form);
    Start(command);
    if (std::string(form) == "Lockout") rt().AdvanceTime(60000);
    rt().Close(form, 0);
    rt().Close(form, 3);
    EXPECT_TRUE(rt().FormVisible(form));
    EXPECT_TRUE(rt().KeyboardLocked());
    rt().Close(form, 2);
    EXPECT_FALSE(rt().FormLoaded(form));
  }
}

}  // namespace
}  // namespace vellomar::testing
