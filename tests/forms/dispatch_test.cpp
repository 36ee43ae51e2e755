// The start-up dispatch of PassMain: which form a command line opens.

#include <algorithm>
#include <string>
#include <vector>

#include "forms/fixture.h"

namespace vellomar::testing {
namespace {

using DispatchTest = FormsFixture;

TEST_F(DispatchTest, SetupInAnyLetterCaseOpensTheGateWithTheKeyboardLocked) {
  for (const std::string& command : std::vector<std::string>{"/setup", "/SETUP", "/SeTuP"}) {
    SCOPED_TRACE(command);
    Start(command);
    EXPECT_TRUE(rt().FormVisible("EnterSetupPassword"));
    EXPECT_FALSE(rt().FormVisible("PassMain"));
    EXPECT_FALSE(rt().FormLoaded("Kestrom"));
    EXPECT_TRUE(rt().KeyboardLocked());
    EXPECT_FALSE(rt().Ended());
  }
}

TEST_F(DispatchTest, SetupWithAnythingElseOnTheLineGivesThePrompt) {
  for (const std::string& command :
       std::vector<std::string>{"/SETUP " + SuArgument(kPassword), "/setup x", " /setup"}) {
    SCOPED_TRACE(command);
    Start(command);
    EXPECT_TRUE(rt().FormVisible("PassMain"));
    EXPECT_FALSE(rt().FormLoaded("EnterSetupPassword"));
    EXPECT_EQ(rt().Caption("PassMain", "Label2"), "60");
  }
}

TEST_F(DispatchTest, SetupAndLocknowTogetherOpenOnlyTheLockScreen) {
  Start("/SETUP /LOCKNOW");
  EXPECT_TRUE(rt().FormVisible("Kestrom"));
  EXPECT_FALSE(rt().FormLoaded("EnterSetupPassword"));
  EXPECT_FALSE(rt().FormVisible("PassMain"));
}

TEST_F(DispatchTest, EveryLineContainingLocknowOpensTheLockScreen) {
  for (const std::string& command : std::vector<std::string>{
           "/locknow", "/locknowfull", "/locknow /nosmile", "/LOCKNOWFULL /NOSMILE", "/locknowxyz",
           "/locknow " + SuArgument(kPassword)}) {
    SCOPED_TRACE(command);
    Start(command);
    EXPECT_TRUE(rt().FormVisible("Kestrom"));
    EXPECT_FALSE(rt().FormVisible("PassMain"));
    EXPECT_TRUE(rt().KeyboardLocked());
    // The minute never runs out behind the lock screen.
    rt().AdvanceTime(61000);
    EXPECT_FALSE(rt().FormLoaded("Lockout"));
    const std::vector<std::string> steps = Steps();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "show Kestrom"), 1)
        << "the lock screen is shown once, however many switch tests pass";
  }
}

TEST_F(DispatchTest, UnknownSwitchOrNoSwitchGivesThePrompt) {
  for (const std::string& command :
       std::vector<std::string>{"", "/unknown", "/nosmile", SuArgument(kPassword)}) {
    SCOPED_TRACE(command);
    Start(command);
    EXPECT_TRUE(rt().FormVisible("PassMain"));
    EXPECT_FALSE(rt().FormLoaded("Kestrom"));
    EXPECT_TRUE(rt().KeyboardLocked());
  }
}

TEST_F(DispatchTest, PlaceholderWithNoSwitchOpensTheWizardAndNeverThePrompt) {
  WritePlaceholder();
  Start("");
  EXPECT_TRUE(rt().FormVisible("Welcome11"));
  EXPECT_FALSE(rt().FormVisible("PassMain"));
  for (const std::string& step : Steps()) EXPECT_NE(step, "show PassMain");
  EXPECT_FALSE(rt().KeyboardLocked()) << "the wizard's first page frees the system keys";
  // The minute was stopped: the lockout never comes.
  rt().AdvanceTime(61000);
  EXPECT_FALSE(rt().FormLoaded("Lockout"));
}

TEST_F(DispatchTest, PlaceholderOnTheCommandLineOpensTheWizardEvenWithAGoodFile) {
  Start(std::string("/SU:") + PlaceholderLine());
  EXPECT_TRUE(rt().FormVisible("Welcome11"));
}

TEST_F(DispatchTest, PlaceholderWithLocknowHandsTheEngagedLockToTheWizard) {
  WritePlaceholder();
  Start("/locknow");
  EXPECT_FALSE(rt().FormLoaded("Kestrom"));
  EXPECT_TRUE(rt().FormVisible("Welcome11"));
  // Kestrom unloads itself without releasing; the lock comes off when Welcome11 loads.
  EXPECT_TRUE(StepsInOrder(
      {"lock on", "place Kestrom 0,0 1024x700", "unload Kestrom", "lock off", "show Welcome11"}));
  const std::vector<std::string> steps = Steps();
  const auto unload = std::find(steps.begin(), steps.end(), "unload Kestrom");
  EXPECT_EQ(std::find(steps.begin(), unload, "lock off"), unload)
      << "nothing released the lock before Kestrom made way for the wizard";
}

TEST_F(DispatchTest, PlaceholderAfterSetupBringsTheWizardOverTheGate) {
  WritePlaceholder();
  Start("/setup");
  EXPECT_TRUE(rt().FormVisible("EnterSetupPassword"));
  EXPECT_TRUE(rt().FormVisible("Welcome11"));
}

TEST_F(DispatchTest, SuRecordIsUsedEvenWhenThePasswordFileIsMissing) {
  RemoveRecordFile();
  Start(SuArgument(kPassword));
  ASSERT_TRUE(rt().FormVisible("PassMain"));
  rt().Type("PassMain", "Text1", kPassword);
  rt().PressEnter("PassMain");
  EXPECT_TRUE(rt().Ended());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DispatchTest, SuRecordKeepsItsLetterCaseAndWinsOverTheFile) {
  WritePassword("FileOnly");
  // "/su:" in lower case is found; the record after it is taken as received.
  Start("/su:" + RecordLine("aBc"));
  rt().Type("PassMain", "Text1", "FileOnly");
  rt().PressEnter("PassMain");
  EXPECT_EQ(Messages().back(), ErrorBox("The password is incorrect."));
  rt().DismissMessageBox();
  rt().Type("PassMain", "Text1", "ABC");
  rt().PressEnter("PassMain");
  EXPECT_TRUE(rt().Ended());
}

}  // namespace
}  // namespace vellomar::testing
