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
  static constexpr char kLockLine[] =
      "C:\\PROGRA~1\\VELLOMAR\\halvrik.exe /STARTPATH: C:\\PROGRA~1\\VELLOMAR";

  SetupFixture() {
    WritePassword(kPassword, "1100");
    Put(autoexec(), "@ECHO OFF\r\nPROMPT $p$g\r\n");
    Put(dosstart(), "MOUSE\r\n");
    Put(msdos(), "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\n");
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
    platform::EmulatedMachine writer(drive_c(), program_dir());
    ASSERT_EQ(WriteMachineValue(writer.registry(), kRunServicesKey, kStartupValueName, command,
                                platform::kRegSz),
              0);
  }
  int Attributes(const std::string& dos_path) {
    platform::EmulatedMachine reader(drive_c(), program_dir());
    return reader.files().GetAttr(dos_path);
  }
  void SetAttributes(const std::string& dos_path, int attributes) {
    platform::EmulatedMachine writer(drive_c(), program_dir());
    writer.files().SetAttr(dos_path, attributes);
  }
};

}  // namespace vellomar::testing
