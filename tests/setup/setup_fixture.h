#pragma once
// An installation that finished the first-time wizard: a password with option digits, the
// Windows folders, the RunServices key and the MS-DOS start-up files a Windows 98 machine has.
// Helpers open Setup through the gate the way a user does and read back what it wrote.

#include <filesystem>
#include <string>
#include <vector>

#include "setup/setup.h"
#include "wizard/wizard_fixture.h"

namespace vellomar::testing {

class SetupFixture : public WizardFixture {
 public:
  SetupFixture() : WizardFixture(/*whole_drive=*/true) {
    WritePassword(kPassword, "1100");
    Put(autoexec(), "@ECHO OFF\r\nPROMPT $p$g\r\n");
    Put(dosstart(), "MOUSE\r\n");
    Put(msdos(), "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\n");
  }

  // The lock line Setup writes from the program folder's short form.
  std::string LockLine() const {
    const std::string folder = ShortProgramFolder(machines().Make(program_dir())->files(),
                                                  machines().Dos("Program Files/Vellomar"));
    return folder + "\\halvrik.exe /STARTPATH: " + folder;
  }

  std::filesystem::path autoexec() const { return drive_c() / "AUTOEXEC.BAT"; }
  std::filesystem::path dosstart() const { return windows() / "dosstart.bat"; }
  std::filesystem::path msdos() const { return drive_c() / "MSDOS.SYS"; }

  static void Put(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  }
  static std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
  }

  // "/setup", the password on the gate: Setup is up.
  void OpenSetup(ui::HeadlessRuntime::Options options = {}) {
    options.command_line = "/setup";
    Start(std::move(options));
    TypeAndEnter("EnterSetupPassword", kPassword);
    ASSERT_TRUE(rt().FormVisible("Setup")) << ::testing::PrintToString(Steps());
  }
  vellomar::Setup& setup() { return rt().app().Get<vellomar::Setup>(); }
  void MakeChanges() { rt().Click("Setup", "Command1"); }
  std::string Report() { return rt().Caption("ChangesMade", "Label1"); }
  int Value(const std::string& control) {
    return static_cast<ui::ValueControl*>(setup().FindControl(control))->Value();
  }

  void SetStartupEntry(const std::string& command) {
    ASSERT_EQ(WriteMachineValue(machines().Make(program_dir())->registry(), kRunServicesKey,
                                kStartupValueName, command, platform::kRegSz),
              0);
  }
  // The attributes of `relative` (forward slashes) on the drive.
  int Attributes(const std::string& relative) {
    return machines().Make(program_dir())->files().GetAttr(machines().Dos(relative));
  }
  void SetAttributes(const std::string& relative, int attributes) {
    machines().Make(program_dir())->files().SetAttr(machines().Dos(relative), attributes);
  }
};

}  // namespace vellomar::testing
