// The wizard's password page and Finish against what only the emulated machine can set up: a
// password file that will not be written, a registry without the RunServices key or damaged,
// and the current directory at the drive's root or outside drive C:.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/emulated.h"
#include "wizard/wizard_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

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
  EXPECT_EQ(fs::status(record_file()).permissions(), fs::perms::owner_read | fs::perms::owner_write)
      << "the record written is the user's alone, whatever the installed file allowed";
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
