#pragma once
// A fresh installation whose supermp.dat still holds the no-password placeholder, with the
// Windows folders and the RunServices key an installation has, and helpers that walk the wizard
// page by page the way a user does.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "forms/fixture.h"
#include "record/password_record.h"
#include "support/link_check.h"
#include "system/startup_entry.h"
#include "wizard/welcome2.h"
#include "wizard/welcome9.h"

namespace vellomar::testing {

class WizardFixture : public FormsFixture {
 public:
  explicit WizardFixture(bool whole_drive = false) : FormsFixture(whole_drive) {
    WritePlaceholder();
    std::filesystem::create_directories(desktop());
    std::filesystem::create_directories(programs());
    EXPECT_EQ(machines().Make(program_dir())->CreateRegistryKey(kRunServicesKey),
              platform::KeyCreation::kCreated);
  }

  std::filesystem::path windows() const { return drive_c() / "WINDOWS"; }
  std::filesystem::path desktop() const { return drive_c() / kDesktopRelative; }
  std::filesystem::path programs() const { return drive_c() / kProgramsRelative; }
  // The program's path as the run knows it ("C:\Program Files\Vellomar\kestrom.exe" when
  // emulated).
  std::string Program() const { return machines().Dos("Program Files/Vellomar/kestrom.exe"); }
  std::filesystem::path start_menu_folder() const { return programs() / "Vellomar"; }
  std::filesystem::path desktop_link() const { return desktop() / "Vellomar.lnk"; }
  std::filesystem::path lock_link() const {
    return start_menu_folder() / "Vellomar - Immediate Lock.lnk";
  }
  std::filesystem::path setup_link() const { return start_menu_folder() / "Vellomar Setup.lnk"; }
  std::filesystem::path registry_file() const { return windows() / "SYSTEM.REG"; }

  static std::string Content(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // The program as a user starts it on a fresh installation: the first page is up.
  void StartWizard() {
    Start("");
    ASSERT_TRUE(rt().FormVisible("Welcome11"));
  }
  // From Welcome11 through the agreement to the password page.
  void ToPasswordPage() {
    rt().Click("Welcome11", "Command1");
    rt().Click("Welcome1", "Command1");
    rt().Click("Welcome12", "Command1");
    ASSERT_TRUE(rt().FormVisible("Welcome2"));
  }
  void ChoosePassword(const std::string& first, const std::string& again) {
    rt().Type("Welcome2", "Text2", first);
    rt().Type("Welcome2", "Text3", again);
    rt().Click("Welcome2", "Command1");
  }
  // Welcome3's trial lock, freed with `typed`.
  void TrialLock(const std::string& typed) {
    rt().Click("Welcome3", "Command1");
    ASSERT_TRUE(rt().FormVisible("Kestrom"));
    rt().Type("Kestrom", "Text1", typed);
    rt().Click("Kestrom", "Command1");
  }
  // Welcome4 and Welcome5, then the option (1 to 4) on Welcome6.
  void ChooseOption(int option) {
    rt().Click("Welcome4", "Command1");
    rt().Click("Welcome5", "Command1");
    if (option != 1) rt().Click("Welcome6", "Option" + std::to_string(option));
    rt().Click("Welcome6", "Command1");
  }
  // Welcome8's boxes open with the taskbar clear and the smiley ticked.
  void LockingChoices(bool taskbar, bool smiley) {
    if (taskbar) rt().Click("Welcome8", "Check1");
    if (!smiley) rt().Click("Welcome8", "Check2");
    rt().Click("Welcome8", "Command1");
    ASSERT_TRUE(rt().FormVisible("Welcome9"));
  }
  // Every page up to Welcome9, with `password` typed the same in both boxes.
  void WalkToFinish(int option, bool taskbar, bool smiley,
                    const std::string& password = kPassword) {
    StartWizard();
    ToPasswordPage();
    ChoosePassword(password, password);
    TrialLock(password);
    ChooseOption(option);
    LockingChoices(taskbar, smiley);
  }

  // The start-up entry as the registry holds it; Empty when there is none.
  VariantValue StartupEntry() {
    VariantValue value;
    ReadMachineValue(machines().Make(program_dir())->registry(), kRunServicesKey, kStartupValueName,
                     value);
    return value;
  }
  // No start-up entry, as on a fresh installation.
  void RemoveStartupEntry() {
    DeleteMachineValue(machines().Make(program_dir())->registry(), kRunServicesKey,
                       kStartupValueName);
  }
  std::string ExpectedCommand(const std::string& switches, const std::string& plain = kPassword,
                              std::string dir = "") {
    if (dir.empty()) dir = machines().Dos("Program Files/Vellomar");
    return dir + "\\kestrom.exe " + (switches.empty() ? "" : switches + " ") + SuArgument(plain);
  }
};

// The wizard at its password page.
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

// The wizard up to its Finish page.
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

}  // namespace vellomar::testing
