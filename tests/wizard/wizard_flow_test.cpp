// The first-time wizard from the first page to the last: page order, hide/unload/modal nesting,
// the trial lock, the four options, and closing a page at any point.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "wizard/welcome2.h"
#include "wizard/wizard_state.h"
#include "wizard_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

using WizardFlowTest = WizardFixture;

TEST_F(WizardFlowTest, OptionOneWalkProtectsTheMachine) {
  StartWizard();
  ToPasswordPage();
  // The boxes differ only in letter case: Text2 is what gets stored.
  ChoosePassword("Secret1", "SECRET1");
  EXPECT_EQ(RecordFileContent(), RecordLine("Secret1") + "\r\n");
  // The trial lock accepts the password in another letter case, like every password check.
  TrialLock("sEcReT1");
  ASSERT_TRUE(rt().FormVisible("Welcome4"));
  ChooseOption(1);
  LockingChoices(false, true);  // as the boxes open
  rt().Click("Welcome9", "Command1");

  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_FALSE(rt().KeyboardLocked());
  EXPECT_EQ(RecordFileContent(), RecordLine("Secret1", "0100") + "\r\n");
  EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand("", "Secret1"));
  EXPECT_EQ(LogonRunner(), ExpectedLogonRunner(true));
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknowfull"));
  EXPECT_TRUE(LinkTo(lock_link(), Program(), "/locknowfull"));
  EXPECT_TRUE(LinkTo(setup_link(), Program(), "/setup"));

  // The pages before the trial lock hide themselves and stay loaded until the end; the pages after
  // it unload themselves.
  const char* const hidden[] = {"Welcome11", "Welcome1", "Welcome12", "Welcome2", "Welcome3"};
  std::vector<std::string> steps = {"lock on", "lock off"};
  for (const std::string page : hidden) steps.insert(steps.end(), {"show " + page, "hide " + page});
  steps.insert(steps.end(), {"lock on", "show Kestrom", "place Kestrom 0,0 1024x768", "lock off",
                             "unload Kestrom"});
  for (const std::string page : {"Welcome4", "Welcome5", "Welcome6", "Welcome8", "Welcome9"}) {
    steps.insert(steps.end(), {"show " + page, "unload " + page});
  }
  steps.push_back("end");
  EXPECT_TRUE(StepsInOrder(steps));
  for (const char* page : hidden) EXPECT_TRUE(rt().FormLoaded(page)) << page;
}

// Walks to page `index` (0 = Welcome11 ... 9 = Welcome9, 10 = Welcome7) and returns its name.
std::string WalkTo(WizardFixture& t, int index) {
  static const char* const kPages[] = {"Welcome11", "Welcome1", "Welcome12", "Welcome2",
                                       "Welcome3",  "Welcome4", "Welcome5",  "Welcome6",
                                       "Welcome8",  "Welcome9", "Welcome7"};
  t.StartWizard();
  if (index >= 1) t.rt().Click("Welcome11", "Command1");
  if (index >= 2) t.rt().Click("Welcome1", "Command1");
  if (index >= 3) t.rt().Click("Welcome12", "Command1");
  if (index >= 4) t.ChoosePassword(kPassword, kPassword);
  if (index >= 5) t.TrialLock(kPassword);
  if (index >= 6) t.rt().Click("Welcome4", "Command1");
  if (index >= 7) t.rt().Click("Welcome5", "Command1");
  if (index == 10) t.rt().Click("Welcome6", "Option4");
  if (index >= 8) t.rt().Click("Welcome6", "Command1");
  if (index == 9) t.rt().Click("Welcome8", "Command1");
  return kPages[index];
}

TEST_F(WizardFlowTest, PagesShowTheirCaptionsAndTitles) {
  const struct {
    const char *part, *title, *button;
  } pages[] = {
      {"1", "Welcome to Vellomar version 1.0!", "Next"},
      {"2", "Important Information", "Next"},
      {"3", "The Agreement", "Next"},
      {"4", "Choose a Password", "Next"},
      {"5", "Prepare to Run for First Time", "Next"},
      {"6", "Option Explanation", "Next"},
      {"7", "Option Explanation Continued", "Next"},
      {"8", "Choose Setup Option", "Next"},
      {"9", "Immediate Locking Options", "Next"},
      {"10", "Ready to Finish", "Finish"},
      {"10", "No Changes Made", "Finish"},
  };
  for (int index = 0; index <= 10; ++index) {
    WritePlaceholder();
    const std::string page = WalkTo(*this, index);
    SCOPED_TRACE(page);
    ASSERT_TRUE(rt().FormVisible(page));
    ui::Form& form = rt().form(page);
    EXPECT_EQ(form.Caption(),
              std::string("Vellomar First Time Setup - Part ") + pages[index].part + "/10");
    EXPECT_EQ(form.client_width, 6816);
    EXPECT_EQ(form.client_height, 3288);
    EXPECT_EQ(rt().Caption(page, "Label2"), pages[index].title);
    if (index != 10) {
      EXPECT_EQ(rt().Caption(page, "Command1"), pages[index].button);
    }
  }
  EXPECT_EQ(rt().Caption("Welcome7", "Label4"),
            "To access Kestrom setup, use \"kestrom.exe /setup\".");
}

TEST_F(WizardFlowTest, OptionsTwoAndThreeWriteTheirDigitsEntryAndShortcuts) {
  const struct {
    int option;
    bool taskbar, smiley;
    const char *digits, *switches;
    bool entry;
  } cases[] = {{2, true, true, "1100", "/locknow", true},
               {3, true, false, "1000", "/locknow /nosmile", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "option " << c.option);
    WritePlaceholder();
    RemoveStartupEntry();
    WalkToFinish(c.option, c.taskbar, c.smiley);
    rt().Click("Welcome9", "Command1");
    ASSERT_TRUE(rt().Ended()) << rt().Transcript();
    EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, c.digits) + "\r\n");
    if (c.entry) {
      EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand(c.switches));
    } else {
      EXPECT_TRUE(IsEmpty(StartupEntry()));
    }
    EXPECT_TRUE(LinkTo(desktop_link(), Program(), c.switches));
    EXPECT_TRUE(LinkTo(lock_link(), Program(), c.switches));
    EXPECT_TRUE(LinkTo(setup_link(), Program(), "/setup"));
  }
}

TEST_F(WizardFlowTest, OptionFourEndsOnWelcome7WithoutChangingTheSystem) {
  StartWizard();
  ToPasswordPage();
  ChoosePassword(kPassword, kPassword);
  TrialLock(kPassword);
  rt().Click("Welcome4", "Command1");
  rt().Click("Welcome5", "Command1");
  // Option 2, then 3, then 4: the last click counts.
  for (const char* option : {"Option2", "Option3", "Option4"}) rt().Click("Welcome6", option);
  rt().Click("Welcome6", "Command1");
  ASSERT_TRUE(rt().FormVisible("Welcome7"));
  EXPECT_FALSE(rt().FormLoaded("Welcome8"));
  rt().Click("Welcome7", "Command1");

  ASSERT_TRUE(rt().Ended());
  EXPECT_TRUE(StepsInOrder({"unload Welcome6", "show Welcome7", "unload Welcome7", "end"}));
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword) + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_FALSE(fs::exists(desktop_link()));
  EXPECT_FALSE(fs::exists(start_menu_folder()));
}

TEST_F(WizardFlowTest, ClosingAnyPageByItsCloseBoxOrTheTaskListEndsAtOnce) {
  for (int reason : {0, 3}) {
    for (int index = 0; index <= 10; ++index) {
      WritePlaceholder();
      const std::string page = WalkTo(*this, index);
      SCOPED_TRACE(page + " closed with reason " + std::to_string(reason));
      ASSERT_TRUE(rt().FormVisible(page));
      const std::string record = RecordFileContent();
      rt().Close(page, reason);
      EXPECT_TRUE(rt().Ended());
      EXPECT_FALSE(rt().KeyboardLocked());
      EXPECT_TRUE(rt().MessageBoxes().empty());
      // Whatever was done stays done, and nothing more is written.
      EXPECT_EQ(RecordFileContent(), record);
      EXPECT_EQ(record, index <= 3 ? PlaceholderLine() + "\r\n" : RecordLine(kPassword) + "\r\n");
      EXPECT_FALSE(fs::exists(desktop_link()));
    }
  }
}

TEST_F(WizardFlowTest, OtherCloseReasonsOnlyUnloadThePage) {
  // Welcome5 unloads; Welcome4's handler, whose modal show then returns, ends the program.
  WalkTo(*this, 6);
  rt().Close("Welcome5", 2);
  EXPECT_TRUE(StepsInOrder({"show Welcome5", "unload Welcome5", "end"}));
  EXPECT_TRUE(rt().Ended());

  // Welcome9 unloads and nothing ends: Welcome8's handler simply returns. The Finish was never
  // pressed, so the record has no digits.
  WritePlaceholder();
  WalkTo(*this, 9);
  rt().Close("Welcome9", 2);
  EXPECT_FALSE(rt().FormLoaded("Welcome9"));
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword) + "\r\n");
}

// Closed before the password page, the next start runs the wizard again; after it, the prompt.
TEST_F(WizardFlowTest, TheNextStartDependsOnWhetherThePasswordWasChosen) {
  for (const auto& [index, next] : {std::pair{2, "Welcome11"}, std::pair{4, "PassMain"}}) {
    WritePlaceholder();
    const std::string page = WalkTo(*this, index);
    SCOPED_TRACE(page);
    rt().Close(page, 0);
    ASSERT_TRUE(rt().Ended());
    Start("");
    EXPECT_TRUE(rt().FormVisible(next));
  }
}

}  // namespace
}  // namespace vellomar::testing
