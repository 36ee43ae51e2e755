// The installer: a first run prepares drive C:, a second run replaces only the program.

#include "platform/installation.h"

#include <unistd.h>

#include "emulated_fixture.h"
#include "platform/registry.h"
#include "record/password_record.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

class InstallationTest : public EmulatedPlatformTest {
 protected:
  void SetUp() override {
    EmulatedPlatformTest::SetUp();
    fs::remove_all(drive_c_);  // the installer starts from nothing
    program_ = root_ / "build" / "kestrom.exe";
    fs::create_directories(program_.parent_path());
    WriteProgram("program v1");
    options_.drive_c = drive_c_;
    options_.program = program_;
    options_.initial_record = std::string(kStartMarker) + kNoPasswordPlaceholder + kEndMarker;
  }

  void WriteProgram(const std::string& content) {
    std::ofstream(program_, std::ios::binary) << content;
    fs::permissions(program_, fs::perms(0755));
  }

  platform::InstallResult Install() {
    platform::InstallResult result = platform::Install(options_);
    machine_ = std::make_unique<platform::EmulatedMachine>(drive_c_, drive_c_);
    return result;
  }

  fs::path program_;
  platform::InstallOptions options_;
};

TEST_F(InstallationTest, FirstRunPreparesDriveC) {
  const platform::InstallResult result = Install();
  EXPECT_TRUE(result.ok()) << (result.problems.empty() ? "" : result.problems[0]);

  EXPECT_TRUE(fs::is_directory(Host("WINDOWS/Desktop")));
  EXPECT_TRUE(fs::is_directory(Host("WINDOWS/Start Menu/Programs")));

  platform::HKEY key = 0;
  EXPECT_EQ(
      platform::win32::kErrorSuccess,
      registry().RegOpenKeyExA(platform::kHkeyLocalMachine, platform::kRunServicesKey, 0, 63, &key))
      << "the RunServices key the system writes into";
  registry().RegCloseKey(key);

  EXPECT_EQ(attr::kReadOnly | attr::kHidden | attr::kSystem, files().GetAttr("C:\\MSDOS.SYS"));
  const std::string msdos = Get("MSDOS.SYS");
  EXPECT_EQ(0u, msdos.find("[Paths]\r\nWinDir=C:\\WINDOWS\r\n"));
  EXPECT_NE(std::string::npos, msdos.find("\r\n[Options]\r\nBootMulti=1\r\nBootGUI=1\r\n"));
  EXPECT_GT(msdos.size(), 1024u);

  EXPECT_EQ("@ECHO OFF\r\nPROMPT $p$g\r\n", Get("AUTOEXEC.BAT"));
  EXPECT_EQ(0u, Get("WINDOWS/DOSSTART.BAT").find("@ECHO OFF\r\n"));

  EXPECT_EQ("program v1", Get("Program Files/Vellomar/kestrom.exe"));
  EXPECT_EQ(0700u, Mode("Program Files/Vellomar/kestrom.exe")) << "still executable";
  EXPECT_EQ("*kvd%3u~H4%tZM}qEyR=Brfp9e>4w\r\n", Get("Program Files/Vellomar/supermp.dat"));

  // The record and the registry that repeats it are the user's alone, and so is the drive.
  EXPECT_EQ(0600u, Mode("Program Files/Vellomar/supermp.dat"));
  EXPECT_EQ(0600u, Mode("WINDOWS/SYSTEM.REG"));
  EXPECT_EQ(0700u, Mode("")) << "drive C:";
  EXPECT_EQ(0700u, Mode("Program Files/Vellomar"));
}

TEST_F(InstallationTest, RecordAndRegistryLeftReadableByOthersAreTightened) {
  ASSERT_TRUE(Install().ok());
  const std::string record = "*kvd%3u~chosenrfp9e>4w1100\r\n";
  Put("Program Files/Vellomar/supermp.dat", record);
  fs::permissions(Host("Program Files/Vellomar/supermp.dat"), fs::perms(0644));
  fs::permissions(Host("WINDOWS/SYSTEM.REG"), fs::perms(0664));
  const std::string registry_file = Get("WINDOWS/SYSTEM.REG");

  EXPECT_TRUE(Install().ok());
  EXPECT_EQ(0600u, Mode("Program Files/Vellomar/supermp.dat"));
  EXPECT_EQ(0600u, Mode("WINDOWS/SYSTEM.REG"));
  EXPECT_EQ(record, Get("Program Files/Vellomar/supermp.dat")) << "content kept";
  EXPECT_EQ(registry_file, Get("WINDOWS/SYSTEM.REG"));
}

// Whoever owns the drive's folder can read or swap what is put there: refused, nothing made.
TEST_F(InstallationTest, DriveOfAnotherUserIsRefusedAndLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  fs::create_directories(drive_c_);
  ASSERT_EQ(0, chown(drive_c_.c_str(), 65534, 65534));
  const platform::InstallResult result = Install();
  ASSERT_EQ(1u, result.problems.size());
  EXPECT_NE(std::string::npos, result.problems[0].find("belongs to another user"))
      << result.problems[0];
  EXPECT_TRUE(Entries("").empty()) << "nothing made in it";
  struct stat st {};
  ASSERT_EQ(0, stat(drive_c_.c_str(), &st));
  EXPECT_EQ(65534u, st.st_uid);
}

TEST_F(InstallationTest, SecondRunReplacesOnlyTheProgram) {
  ASSERT_TRUE(Install().ok());
  Put("Program Files/Vellomar/supermp.dat", "*kvd%3u~chosenrfp9e>4w1100\r\n");
  files().SetAttr("C:\\MSDOS.SYS", attr::kNormal);
  Put("MSDOS.SYS", "[Options]\r\nBootKeys=0\r\n");
  Put("AUTOEXEC.BAT", "C:\\LOCK\\HALVRIK.EXE\r\n");
  fs::remove(Host("WINDOWS/DOSSTART.BAT"));
  platform::HKEY key = 0;
  registry().RegOpenKeyExA(platform::kHkeyLocalMachine, platform::kRunServicesKey, 0, 63, &key);
  const std::uint8_t entry[] = "C:\\kestrom.exe";
  registry().RegSetValueExA(key, "Vellomar", platform::kRegSz, entry, sizeof entry);
  registry().RegCloseKey(key);
  const std::string registry_file = Get("WINDOWS/SYSTEM.REG");
  WriteProgram("program v2");

  EXPECT_TRUE(Install().ok());
  EXPECT_EQ("*kvd%3u~chosenrfp9e>4w1100\r\n", Get("Program Files/Vellomar/supermp.dat"));
  EXPECT_EQ("[Options]\r\nBootKeys=0\r\n", Get("MSDOS.SYS"));
  EXPECT_EQ("C:\\LOCK\\HALVRIK.EXE\r\n", Get("AUTOEXEC.BAT"));
  EXPECT_TRUE(fs::exists(Host("WINDOWS/DOSSTART.BAT"))) << "a missing one is laid out again";
  EXPECT_EQ(registry_file, Get("WINDOWS/SYSTEM.REG"));
  EXPECT_EQ("program v2", Get("Program Files/Vellomar/kestrom.exe"));
}

TEST_F(InstallationTest, ExistingRegistryGainsTheKeyAndKeepsItsValues) {
  Put("WINDOWS/SYSTEM.REG",
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"A\"=\"1\"\r\n");
  EXPECT_TRUE(Install().ok());
  const std::string text = Get("WINDOWS/SYSTEM.REG");
  EXPECT_NE(std::string::npos,
            text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"A\"=\"1\"\r\n"));
  EXPECT_NE(std::string::npos,
            text.find(std::string("[HKEY_LOCAL_MACHINE\\") + platform::kRunServicesKey + "]"));
}

TEST_F(InstallationTest, DamagedRegistryIsReportedAndLeftAlone) {
  Put("WINDOWS/SYSTEM.REG", "not a registry\r\n");
  const platform::InstallResult result = Install();
  EXPECT_FALSE(result.ok());
  EXPECT_EQ("not a registry\r\n", Get("WINDOWS/SYSTEM.REG"));
  EXPECT_TRUE(fs::exists(Host("Program Files/Vellomar/supermp.dat"))) << "the rest is done";
}

TEST_F(InstallationTest, MissingProgramIsReported) {
  fs::remove(program_);
  const platform::InstallResult result = Install();
  ASSERT_EQ(1u, result.problems.size());
  EXPECT_NE(std::string::npos, result.problems[0].find(program_.string()));
  EXPECT_TRUE(fs::exists(Host("Program Files/Vellomar/supermp.dat")));
}

TEST_F(InstallationTest, APackagedInstallationLinksSoThatAnUpgradeReachesTheDrive) {
  ASSERT_TRUE(Install().ok());  // an older installation with a copy of the program
  const fs::path lock = root_ / "build" / "halvrik.exe";
  std::ofstream(lock) << "lock v1";
  options_.console_lock = lock;
  options_.link_programs = true;
  ASSERT_TRUE(Install().ok());
  const std::string supermp = Get("Program Files/Vellomar/supermp.dat");

  // The package is upgraded in place; the drive is not touched and runs the new programs.
  WriteProgram("program v2");
  std::ofstream(lock) << "lock v2";
  EXPECT_EQ("program v2", Get("Program Files/Vellomar/kestrom.exe"));
  EXPECT_EQ("lock v2", Get("Program Files/Vellomar/halvrik.exe"));
  EXPECT_EQ(program_, fs::read_symlink(Host("Program Files/Vellomar/kestrom.exe")));
  EXPECT_EQ(supermp, Get("Program Files/Vellomar/supermp.dat"));
  EXPECT_TRUE(Install().ok()) << "linking again replaces the link";
}

}  // namespace
}  // namespace vellomar::testing
