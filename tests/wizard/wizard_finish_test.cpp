// The password page and the Finish page when something goes wrong: refused passwords, and
// folders that cannot be written (wizard/emulated holds the cases only the emulated machine can
// set up: files that will not be written, a registry without its key or damaged, the current
// directory in unusual places).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "wizard/welcome2.h"
#include "wizard/welcome9.h"
#include "wizard/wizard_state.h"
#include "wizard_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(PasswordPageTest, BlankOrDifferentEntriesAreRefused) {
  ChoosePassword("", "");
  ExpectRefused(kMsgFieldsBlank);
  ChoosePassword("abc", "");
  ExpectRefused(kMsgFieldsBlank);
  ChoosePassword("", "abc");
  ExpectRefused(kMsgFieldsBlank);
  ChoosePassword("abc", "abd");
  ExpectRefused(kMsgPasswordsDiffer);
  // The boxes keep what was typed.
  EXPECT_EQ(rt().Text("Welcome2", "Text2"), "abc");
  EXPECT_EQ(rt().Text("Welcome2", "Text3"), "abd");
  // Corrected, the same page goes on.
  ChoosePassword("abc", "ABC");
  EXPECT_TRUE(rt().FormVisible("Welcome3"));
  EXPECT_EQ(rt().app().Get<WizardState>().finpa, EncodePassword("abc"));
}

TEST_F(PasswordPageTest, PasswordsThatWouldBreakTheRecordAreRefused) {
  // Stored as the end marker itself, the password would end the record early.
  ChoosePassword("x" + DecodePassword(kEndMarker), "x" + DecodePassword(kEndMarker));
  ExpectRefused(kMsgPasswordUnusable);
  // Stored as the placeholder, it would bring the wizard back at every start.
  ChoosePassword(DecodePassword(kNoPasswordPlaceholder), DecodePassword(kNoPasswordPlaceholder));
  ExpectRefused(kMsgPasswordUnusable);
  EXPECT_EQ(rt().app().Get<WizardState>().finpa, "");
}

TEST_F(FinishTest, AnUnknownOptionChangesNothingButTheDigits) {
  WalkToFinish(1, false, true);
  rt().app().Get<WizardState>().opchoice = "5";
  ExpectFailure(kMsgFinishNothingChanged);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "0100") + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_FALSE(fs::exists(desktop_link()));
}

TEST_F(FinishTest, OptionThreeNeedsNoRegistryAndReusesAnExistingStartMenuFolder) {
#ifndef _WIN32
  fs::remove(registry_file());  // no registry at all (the Win32 machine always has one)
#endif
  fs::create_directories(start_menu_folder());
  std::ofstream(start_menu_folder() / "readme.txt") << "kept";
  WalkToFinish(3, true, true);
  rt().Click("Welcome9", "Command1");
  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknow"));
  EXPECT_TRUE(LinkTo(lock_link(), Program(), "/locknow"));
  EXPECT_TRUE(LinkTo(setup_link(), Program(), "/setup"));
  EXPECT_TRUE(fs::exists(start_menu_folder() / "readme.txt"));
}

TEST_F(FinishTest, ADesktopThatCannotHoldTheIconIsAFailure) {
  fs::remove_all(desktop());
  std::ofstream(desktop()) << "a file where the Desktop folder should be";
  WalkToFinish(1, false, true);
  ExpectFailure(kMsgFinishFailed);
  // The entry was written before the icon was tried.
  EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand(""));
  EXPECT_FALSE(fs::exists(start_menu_folder()));
}

TEST_F(FinishTest, AStartMenuThatCannotHoldTheFolderIsAFailure) {
  fs::remove_all(programs());
  WalkToFinish(2, true, true);
  ExpectFailure(kMsgFinishFailed);
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknow"));
}

TEST_F(FinishTest, FinishingAgainAfterAFailureAppendsASecondSetOfDigits) {
  fs::remove_all(desktop());
  WalkToFinish(3, false, true);
  rt().Click("Welcome9", "Command1");
  ASSERT_EQ(rt().Caption("Welcome9", "Label1"), kMsgFinishFailed);
  // The user mends the desktop and presses Finish again: the whole sequence runs once more.
  fs::create_directories(desktop());
  rt().Click("Welcome9", "Command1");
  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "01000100") + "\r\n");
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknowfull"));
  EXPECT_TRUE(LinkTo(setup_link(), Program(), "/setup"));
}

}  // namespace
}  // namespace vellomar::testing
