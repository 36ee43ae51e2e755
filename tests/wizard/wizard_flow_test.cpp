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

const char kProgram[] = "C:\\Program Files\\Vellomar\\kestrom.exe";

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
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknowfull"));
  EXPECT_TRUE(LinkHolds(desktop_link(), "C:\\Program Files\\Vellomar"));
  EXPECT_TRUE(LinkTo(lock_link(), kProgram, "/locknowfull"));
  EXPECT_TRUE(LinkTo(setup_link(), kProgram, "/setup"));

  EXPECT_TRUE(StepsInOrder({"lock on",
                            "lock off",
                            "show Welcome11",
                            "hide Welcome11",
                            "show Welcome1",
                            "hide Welcome1",
                            "show Welcome12",
                            "hide Welcome12",
                            "show Welcome2",
                            "hide Welcome2",
                            "show Welcome3",
                            "hide Welcome3",
                            "lock on",
                            "show Kestrom",
                            "place Kestrom 0,0 1024x768",
                            "lock off",
                            "unload Kestrom",
                            "show Welcome4",
                            "unload Welcome4",
                            "show Welcome5",
                            "unload Welcome5",
                            "show Welcome6",
                            "unload Welcome6",
                            "show Welcome8",
                            "unload Welcome8",
                            "show Welcome9",
                            "unload Welcome9",
                            "end"}));
  // The pages that only hid themselves are still loaded when the program ends.
  for (const char* page : {"Welcome11", "Welcome1", "Welcome12", "Welcome2", "Welcome3"}) {
    EXPECT_TRUE(rt().FormLoaded(page)) << page;
  }
}

TEST_F(WizardFlowTest, PagesShowTheirCaptionsAndTitles) {
  struct Page {
    const char* form;
    const char* part;
    const char* title;
    const char* button;
  };
  const std::vector<Page> pages = {
      {"Welcome11", "1", "Welcome to Vellomar version 1.0!", "Next"},
      {"Welcome1", "2", "Important Information", "Next"},
      {"Welcome12", "3", "The Agreement", "Next"},
      {"Welcome2", "4", "Choose a Password", "Next"},
      {"Welcome3", "5", "Prepare to Run for First Time", "Next"},
      {"Welcome4", "6", "Option Explanation", "Next"},
      {"Welcome5", "7", "Option Explanation Continued", "Next"},
      {"Welcome6", "8", "Choose Setup Option", "Next"},
      {"Welcome8", "9", "Immediate Locking Options", "Next"},
      {"Welcome9", "10", "Ready to Finish", "Finish"},
  };
  StartWizard();
  auto check = [&](const Page& page) {
    SCOPED_TRACE(page.form);
    ui::Form& form = rt().form(page.form);
    EXPECT_EQ(form.Caption(), std::string("Vellomar First Time Setup - Part ") + page.part + "/10");
    EXPECT_EQ(form.client_width, 6816);
    EXPECT_EQ(form.client_height, 3288);
    EXPECT_EQ(rt().Caption(page.form, "Label2"), page.title);
    EXPECT_EQ(rt().Caption(page.form, "Command1"), page.button);
  };
  check(pages[0]);
  rt().Click("Welcome11", "Command1");
  check(pages[1]);
  rt().Click("Welcome1", "Command1");
  check(pages[2]);
  rt().Click("Welcome12", "Command1");
  check(pages[3]);
  ChoosePassword(kPassword, kPassword);
  check(pages[4]);
  TrialLock(kPassword);
  check(pages[5]);
  rt().Click("Welcome4", "Command1");
  check(pages[6]);
  rt().Click("Welcome5", "Command1");
  check(pages[7]);
  EXPECT_EQ(rt().app().Get<WizardState>().opchoice, "1");
  rt().Click("Welcome6", "Command1");
  check(pages[8]);
  rt().Click("Welcome8", "Command1");
  check(pages[9]);
  EXPECT_EQ(rt().app().Get<WizardState>().ck1, "false");
  EXPECT_EQ(rt().app().Get<WizardState>().ck2, "true");
}

TEST_F(WizardFlowTest, OptionTwoLocksAtStartWithTheChosenSwitches) {
  WalkToFinish(2, true, true);
  rt().Click("Welcome9", "Command1");
  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1100") + "\r\n");
  EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand("/locknow"));
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknow"));
  EXPECT_TRUE(LinkTo(lock_link(), kProgram, "/locknow"));
  EXPECT_TRUE(LinkTo(setup_link(), kProgram, "/setup"));
}

TEST_F(WizardFlowTest, OptionThreeMakesShortcutsButNoStartupEntry) {
  StartWizard();
  ToPasswordPage();
  ChoosePassword(kPassword, kPassword);
  TrialLock(kPassword);
  rt().Click("Welcome4", "Command1");
  rt().Click("Welcome5", "Command1");
  // Option 2, then 4, then 3: the last click counts and the page goes on to Welcome8.
  rt().Click("Welcome6", "Option2");
  rt().Click("Welcome6", "Option4");
  rt().Click("Welcome6", "Option3");
  EXPECT_EQ(rt().app().Get<WizardState>().opchoice, "3");
  rt().Click("Welcome6", "Command1");
  ASSERT_TRUE(rt().FormVisible("Welcome8"));
  LockingChoices(true, false);
  rt().Click("Welcome9", "Command1");

  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1000") + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknow /nosmile"));
  EXPECT_TRUE(LinkTo(lock_link(), kProgram, "/locknow /nosmile"));
  EXPECT_TRUE(LinkTo(setup_link(), kProgram, "/setup"));
}

TEST_F(WizardFlowTest, OptionFourEndsOnWelcome7WithoutChangingTheSystem) {
  StartWizard();
  ToPasswordPage();
  ChoosePassword(kPassword, kPassword);
  TrialLock(kPassword);
  ChooseOption(4);
  ASSERT_TRUE(rt().FormVisible("Welcome7"));
  EXPECT_FALSE(rt().FormLoaded("Welcome8"));
  EXPECT_EQ(rt().form("Welcome7").Caption(), "Vellomar First Time Setup - Part 10/10");
  EXPECT_EQ(rt().Caption("Welcome7", "Label2"), "No Changes Made");
  EXPECT_EQ(rt().Caption("Welcome7", "Label4"),
            "To access Kestrom setup, use \"kestrom.exe /setup\".");
  rt().Click("Welcome7", "Command1");

  ASSERT_TRUE(rt().Ended());
  EXPECT_TRUE(StepsInOrder({"unload Welcome6", "show Welcome7", "unload Welcome7", "end"}));
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword) + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_FALSE(fs::exists(desktop_link()));
  EXPECT_FALSE(fs::exists(start_menu_folder()));
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

TEST_F(WizardFlowTest, ClosingTheAgreementLeavesThePlaceholderForTheNextStart) {
  WalkTo(*this, 2);
  rt().Close("Welcome12", 0);
  ASSERT_TRUE(rt().Ended());
  Start("");
  EXPECT_TRUE(rt().FormVisible("Welcome11")) << "the next start runs the wizard again";
}

TEST_F(WizardFlowTest, AfterThePasswordPageTheNextStartIsTheOrdinaryPrompt) {
  WalkTo(*this, 4);
  rt().Close("Welcome3", 0);
  Start("");
  EXPECT_TRUE(rt().FormVisible("PassMain"));
  EXPECT_FALSE(rt().FormLoaded("Welcome11"));
}

}  // namespace
}  // namespace vellomar::testing
