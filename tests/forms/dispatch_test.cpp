// The start-up dispatch of PassMain: which form a command line opens.

#include <algorithm>
#include <string>
#include <vector>

#include "forms/fixture.h"

namespace vellomar::testing {
namespace {

using DispatchTest = FormsFixture;

TEST_F(DispatchTest, EverySwitchCombinationOpensItsForm) {
  struct Case {
    std::string command;
    std::string form;     // the one form on screen
    int lock_height = 0;  // Kestrom's height on a 1024x768 screen
  };
  const std::string su = SuArgument(kPassword);
  const std::vector<Case> cases = {
      {"/setup", "EnterSetupPassword"},
      {"/SETUP", "EnterSetupPassword"},
      {"/SeTuP", "EnterSetupPassword"},
      // "/SETUP" must be the whole line.
      {"/SETUP " + su, "PassMain"},
      {"/setup x", "PassMain"},
      {" /setup", "PassMain"},
      {"/SETUP /LOCKNOW", "Kestrom", 700},
      // Every line containing "/LOCKNOW" locks; "FULL" anywhere covers the whole screen.
      {"/locknow", "Kestrom", 700},
      {"/locknowfull", "Kestrom", 768},
      {"/locknow /nosmile", "Kestrom", 700},
      {"/LOCKNOWFULL /NOSMILE", "Kestrom", 768},
      {"/LockNowFull /nosmile", "Kestrom", 768},
      {"/locknowxyz", "Kestrom", 700},
      {"/locknow " + su, "Kestrom", 700},
      // Anything else is the timed prompt.
      {"", "PassMain"},
      {"/unknown", "PassMain"},
      {"/nosmile", "PassMain"},
      {su, "PassMain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("command line \"" + c.command + "\"");
    Start(c.command);
    EXPECT_EQ(rt().FormVisible("PassMain"), c.form == "PassMain");
    for (const char* form : {"EnterSetupPassword", "Kestrom"}) {
      EXPECT_EQ(rt().FormLoaded(form), c.form == form) << form;
    }
    EXPECT_TRUE(rt().FormVisible(c.form));
    EXPECT_TRUE(rt().KeyboardLocked());
    EXPECT_FALSE(rt().Ended());
    if (c.form == "PassMain") {
      EXPECT_EQ(rt().Caption("PassMain", "Label2"), "60");
    }
    if (c.form != "Kestrom") continue;
    const ui::HeadlessRuntime::Placement place = rt().PlacementOf("Kestrom");
    EXPECT_TRUE(place.topmost);
    EXPECT_EQ(place.x, 0);
    EXPECT_EQ(place.y, 0);
    EXPECT_EQ(place.width, 1024);
    EXPECT_EQ(place.height, c.lock_height);
    const std::vector<std::string> steps = Steps();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "show Kestrom"), 1)
        << "the lock screen is shown once, however many switch tests pass";
    rt().AdvanceTime(61000);
    EXPECT_FALSE(rt().FormLoaded("Lockout")) << "the minute never runs out behind the lock";
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

  // The placeholder on the command line wins over a good file.
  WritePassword(kPassword);
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

TEST_F(DispatchTest, SuRecordKeepsItsLetterCaseAndWinsOverTheFile) {
  for (const std::string form : {"PassMain", "Kestrom"}) {
    for (bool missing_at_load : {true, false}) {
      SCOPED_TRACE(form + (missing_at_load ? ", file missing at load" : ", file missing at OK"));
      WritePassword("FileOnly");
      if (missing_at_load) RemoveRecordFile();
      // "/su:" in lower case is found; the record after it is taken as received.
      Start((form == "Kestrom" ? "/locknow /su:" : "/su:") + RecordLine("aBc"));
      RemoveRecordFile();
      TypeAndEnter(form, "FileOnly");
      if (form == "PassMain") {
        EXPECT_EQ(Messages(), std::vector<std::string>{ErrorBox("The password is incorrect.")});
        rt().DismissMessageBox();
      } else {
        EXPECT_EQ(rt().Caption("Kestrom", "Label3"), "Status: The password is incorrect.");
      }
      rt().AdvanceTime(2000);  // the wait after a wrong password
      TypeAndEnter(form, "ABC");
      EXPECT_TRUE(rt().Ended());
    }
  }
}

}  // namespace
}  // namespace vellomar::testing
