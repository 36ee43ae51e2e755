#pragma once
// Preparing a working installation on the emulated drive C:, as the setup program of the
// original product did on Windows 98. vellomar-install calls it; tests call it directly.
//
// What it makes, each only when missing unless said otherwise:
//   C:\WINDOWS, C:\WINDOWS\Desktop, C:\WINDOWS\Start Menu\Programs
//   C:\WINDOWS\SYSTEM.REG holding the RunServices key (kRunServicesKey under
//     HKEY_LOCAL_MACHINE); an existing file only gains the key when it lacks it, never overwritten
//   C:\MSDOS.SYS with [Paths] and [Options], read-only, hidden and system
//   C:\AUTOEXEC.BAT and C:\WINDOWS\DOSSTART.BAT, short batch files as Windows 98 leaves them
//   C:\Program Files\Vellomar\kestrom.exe and halvrik.exe (and vellomar-guard, the guard process
//     kestrom.exe starts while locked, when it lies beside kestrom.exe), put there every time
//     (atomically):
//     copies of a built program, or symbolic links to an installed package's programs, so that
//     upgrading the package upgrades every drive
//   C:\Program Files\Vellomar\supermp.dat holding the no-password record
// Running it again changes nothing but the program files; existing boot files are never touched.
// Drive C: is the user's alone: the folders it makes are 0700 and the files 0600 (the emulation's
// rule), a supermp.dat or SYSTEM.REG found readable by others is made the owner's only, and a
// drive folder that belongs to another user is refused before anything is done.

#include <filesystem>
#include <string>
#include <vector>

namespace vellomar::platform {

inline constexpr char kProgramFolder[] = "C:\\Program Files\\Vellomar";

struct InstallOptions {
  std::filesystem::path drive_c;       // host folder of drive C:, created when missing
  std::filesystem::path program;       // the kestrom.exe to install
  std::filesystem::path console_lock;  // the halvrik.exe to install; none when empty
  bool link_programs = false;          // link to the programs instead of copying them
  std::string initial_record;          // the line of a new supermp.dat, without its CR LF
};

struct InstallResult {
  std::vector<std::string> done;      // one line per thing made, copied or kept
  std::vector<std::string> problems;  // one line per step that could not be done
  bool ok() const { return problems.empty(); }
};

// Runs every step; a failing step is reported in `problems` and the others still run.
InstallResult Install(const InstallOptions& options);

}  // namespace vellomar::platform
