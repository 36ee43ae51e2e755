#pragma once
// The boot files on a fresh drive: AUTOEXEC.BAT and MSDOS.SYS at its root, DOSSTART.BAT in the
// Windows folder, and helpers that write their lines.

#include <filesystem>
#include <string>
#include <vector>

#include "system/boot_files.h"
#include "system/system_fixture.h"

namespace vellomar::testing {

class BootFilesTest : public SystemFixture {
 public:
  const std::string win_ = Dos("WINDOWS");
  // The program folder's short form and the lock line made from it.
  const std::string short_folder_ = ShortProgramFolder(files(), Dos("Program Files/Vellomar"));
  const std::string lock_line_ = short_folder_ + "\\halvrik.exe /STARTPATH: " + short_folder_;

  std::filesystem::path autoexec() const { return drive_c() / "AUTOEXEC.BAT"; }
  std::filesystem::path dosstart() const { return windows() / "dosstart.bat"; }
  std::filesystem::path msdos() const { return drive_c() / "MSDOS.SYS"; }

  static std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
  }
  static std::string Numbered(int count, const std::string& extra = "") {
    std::string text;
    for (int i = 1; i <= count; ++i) text += "REM line " + std::to_string(i) + "\r\n";
    return text + extra;
  }
  std::string sname;
};

}  // namespace vellomar::testing
