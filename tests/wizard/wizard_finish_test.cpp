// The password page and the Finish page when something goes wrong: refused passwords, files and
// folders that cannot be written, a registry without its key or damaged, and the current
// directory in unusual places.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "wizard/welcome2.h"
#include "wizard/welcome9.h"
#include "wizard/wizard_state.h"
#include "wizard_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

const char kProgram[] = "C:\\Program Files\\Vellomar\\kestrom.exe";

class PasswordPageTest : public WizardFixture {
 protected:
  void SetUp() override {
    StartWizard();
    ToPasswordPage();
  }
  // The box is answered, the page is still up, and supermp.dat still holds the placeholder.
  void ExpectRefused(const std::string& message) {
    ASSERT_EQ(rt().MessageBoxes().size(), 1u);
    EXPECT_EQ(rt().MessageBoxes()[0], std::make_pair(std::string("Error"), message));
    rt().DismissMessageBox();
    EXPECT_TRUE(rt().FormVisible("Welcome2"));
    EXPECT_FALSE(rt().FormLoaded("Welcome3"));
    EXPECT_EQ(RecordFileContent(), PlaceholderLine() + "\r\n");
  }
};

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
  EXPECT_EQ(fs::status(record_file()).permissions(), fs::perms::owner_read | fs::perms::owner_write)
      << "the record written is the user's alone, whatever the installed file allowed";
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

TEST_F(PasswordPageTest, AnUnwritablePasswordFileKeepsThePageOpen) {
  machine().InjectReplaceFault(platform::ReplaceStep::kWrite);
  ChoosePassword(kPassword, kPassword);
  ExpectRefused(kMsgRecordMissing);
  fs::permissions(record_file(), fs::perms::owner_read | fs::perms::group_read);
  rt().Click("Welcome2", "Command1");
  ExpectRefused(kMsgRecordMissing);
  // Writable again, "Next" repeats the whole sequence.
  fs::permissions(record_file(), fs::perms::owner_read | fs::perms::owner_write);
  rt().Click("Welcome2", "Command1");
  EXPECT_TRUE(rt().FormVisible("Welcome3"));
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword) + "\r\n");
}

class FinishTest : public WizardFixture {
 protected:
  // Finish pressed: it failed with `text`, the page stays open with Label3 hidden, and its close
  // box still ends the program.
  void ExpectFailure(const std::string& text) {
    rt().Click("Welcome9", "Command1");
    ASSERT_FALSE(rt().Ended()) << rt().Transcript();
    EXPECT_TRUE(rt().FormVisible("Welcome9"));
    EXPECT_EQ(rt().Caption("Welcome9", "Label1"), text);
    EXPECT_FALSE(rt().ControlVisible("Welcome9", "Label3"));
    EXPECT_TRUE(rt().MessageBoxes().empty());
    rt().Close("Welcome9", 0);
    EXPECT_TRUE(rt().Ended());
  }
};

TEST_F(FinishTest, AnUnknownOptionChangesNothingButTheDigits) {
  WalkToFinish(1, false, true);
  rt().app().Get<WizardState>().opchoice = "5";
  ExpectFailure(kMsgFinishNothingChanged);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "0100") + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_FALSE(fs::exists(desktop_link()));
}

TEST_F(FinishTest, AnUnwritableOrMissingPasswordFileStopsBeforeAnyOtherChange) {
  for (bool missing : {false, true}) {
    SCOPED_TRACE(missing ? "missing" : "read-only");
    WritePlaceholder();
    WalkToFinish(missing ? 3 : 1, false, true);
    if (missing) {
      RemoveRecordFile();
    } else {
      fs::permissions(record_file(), fs::perms::owner_read);
    }
    ExpectFailure(kMsgFinishFailed);
    EXPECT_EQ(RecordFileContent(), missing ? "" : RecordLine(kPassword) + "\r\n");
    EXPECT_EQ(fs::exists(record_file()), !missing);
    EXPECT_TRUE(IsEmpty(StartupEntry()));
    EXPECT_FALSE(fs::exists(desktop_link()));
    std::error_code ignored;
    fs::permissions(record_file(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
}

TEST_F(FinishTest, AStartupEntryThatCannotBeWrittenIsAFailure) {
  // The RunServices key is missing: it is not created, and the wizard says so.
  std::ofstream(registry_file(), std::ios::binary | std::ios::trunc)
      << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS]\r\n";
  const std::string before = Content(registry_file());
  WalkToFinish(1, false, true);
  ExpectFailure(kMsgFinishFailed);
  EXPECT_EQ(Content(registry_file()), before);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "0100") + "\r\n");
  EXPECT_FALSE(fs::exists(desktop_link())) << "the steps after the failure must not run";
}

TEST_F(FinishTest, ADamagedRegistryIsAFailureAndStaysAsItWas) {
  for (const std::string& damaged :
       {std::string("this is no registry\r\n"),
        std::string("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n\"Vellomar\"=\"x\"\r\n")}) {
    SCOPED_TRACE(damaged);
    WritePlaceholder();
    std::ofstream(registry_file(), std::ios::binary | std::ios::trunc) << damaged;
    WalkToFinish(2, false, false);
    ExpectFailure(kMsgFinishFailed);
    EXPECT_EQ(Content(registry_file()), damaged);
  }
}

TEST_F(FinishTest, OptionThreeNeedsNoRegistryAndReusesAnExistingStartMenuFolder) {
  fs::remove(registry_file());
  fs::create_directories(start_menu_folder());
  std::ofstream(start_menu_folder() / "readme.txt") << "kept";
  WalkToFinish(3, true, true);
  rt().Click("Welcome9", "Command1");
  ASSERT_TRUE(rt().Ended()) << rt().Transcript();
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknow"));
  EXPECT_TRUE(LinkTo(lock_link(), kProgram, "/locknow"));
  EXPECT_TRUE(LinkTo(setup_link(), kProgram, "/setup"));
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
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknow"));
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
  EXPECT_TRUE(LinkTo(desktop_link(), kProgram, "/locknowfull"));
  EXPECT_TRUE(LinkTo(setup_link(), kProgram, "/setup"));
}

class CurrentDirectoryTest : public WizardFixture {
 protected:
  // Moves the run to `host_dir` (created, holding the placeholder record) before it starts, and
  // walks option 1 to its end.
  void FinishIn(const fs::path& host_dir) {
    fs::create_directories(host_dir);
    std::ofstream(host_dir / "supermp.dat", std::ios::binary) << PlaceholderLine() << "\r\n";
    Create({});
    dos_dir_ = machine().DosPath(host_dir);
    machine().files().ChDir(dos_dir_);
    rt().Start();
    ASSERT_TRUE(rt().FormVisible("Welcome11"));
    ToPasswordPage();
    ChoosePassword(kPassword, kPassword);
    TrialLock(kPassword);
    ChooseOption(1);
    LockingChoices(false, true);
    rt().Click("Welcome9", "Command1");
    ASSERT_TRUE(rt().Ended()) << rt().Transcript();
    std::ifstream in(host_dir / "supermp.dat", std::ios::binary);
    std::getline(in, record_);
  }
  std::string dos_dir_;
  std::string record_;
};

// At the drive's root the directory keeps its backslash ("C:\\kestrom.exe"); outside drive C: the
// Z: path is used.
TEST_F(CurrentDirectoryTest, TheProgramIsWhereverTheCurrentDirectoryIs) {
  for (const fs::path& dir : {drive_c(), drive_c().parent_path() / "elsewhere" / "my tools"}) {
    SCOPED_TRACE(dir.string());
    WritePlaceholder();
    FinishIn(dir);
    ASSERT_EQ(dos_dir_.substr(0, 3), dir == drive_c() ? "C:\\" : "Z:\\");
    EXPECT_EQ(record_, RecordLine(kPassword, "0100") + "\r");
    EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand("", kPassword, dos_dir_));
    EXPECT_TRUE(LinkTo(desktop_link(), dos_dir_ + "\\kestrom.exe", "/locknowfull"));
    EXPECT_TRUE(LinkHolds(setup_link(), dos_dir_));
  }
}

}  // namespace
}  // namespace vellomar::testing
