#pragma once
// The MS-DOS start-up files: the lock line in AUTOEXEC.BAT (lock before Windows loads) and in
// DOSSTART.BAT (lock when restarting in MS-DOS mode), and the BootKeys entry in MSDOS.SYS. The
// Setup form's load asks AutoexecHasLock; its apply run calls the six edits, one per stage.
//
// Files, from the Windows directory `win_path` (its first character is the drive):
//   drive:\AUTOEXEC.BAT (backup drive:\AUTOEXEC.QVR, only when adding the lock line)
//   drive:\MSDOS.SYS    (backup drive:\MSDOS.QVR, only when disabling the boot keys)
//   win_path\dosstart.bat (backup win_path\dosstart.qvr, only when adding the lock line)
// Every file goes through file number 1, read as lines (CR, LF or CR LF ends a line) and written
// back with CR LF; a rewrite replaces the file atomically and keeps its attributes, so a failure
// leaves the old file whole. At most kBootLineBuffer lines are kept for a rewrite: one more fails
// the operation with RuntimeError 9.
//
// Errors: every edit throws RuntimeError with the file's run-time error number (53 missing, 75
// read-only or a folder of that name, 76 missing folder, 9 too many lines); the boot-key edits
// throw BootKeysUnavailable when MSDOS.SYS cannot be reached at all.

#include <string>

#include "platform/errors.h"
#include "platform/filesystem.h"

namespace vellomar {

inline constexpr int kBootLineBuffer = 400;
inline constexpr char kLockProgram[] = "halvrik.exe";

// MSDOS.SYS is missing, its attributes cannot be read or cleared, or it does not open for
// reading: the Setup form reports this with its own stage code (30).
class BootKeysUnavailable : public RuntimeError {
 public:
  using RuntimeError::RuntimeError;
};

std::string AutoexecPath(const std::string& win_path);  // drive + ":\AUTOEXEC.BAT"
std::string DosStartPath(const std::string& win_path);  // win_path + "\dosstart.bat"
std::string MsdosSysPath(const std::string& win_path);  // drive + ":\MSDOS.SYS"

// GetShortPathNameA of the current directory into a buffer of 250 characters: sets `sname` to
// the short form; leaves it as it was when the call fails (or the form does not fit).
void StoreShortPath(platform::FileSystem& files, std::string& sname);
// `sname` + "\halvrik.exe /STARTPATH: " + `sname`.
std::string LockLine(const std::string& sname);
// A line that mentions "HALVRIK.EXE" anywhere, in any letter case, remarks included.
bool IsLockLine(const std::string& line);

// True when AUTOEXEC.BAT holds a lock line; a file that cannot be read holds none.
bool AutoexecHasLock(platform::FileSystem& files, const std::string& win_path);

// Puts the lock line (from the short current directory, stored in `sname`) first in
// AUTOEXEC.BAT, after copying the file to AUTOEXEC.QVR; creates the file holding the lock line
// alone, without a backup, when it does not open. It does not look for an existing lock line.
void AddAutoexecLock(platform::FileSystem& files, const std::string& win_path, std::string& sname);
// Drops every lock line from AUTOEXEC.BAT; nothing when the file does not open. No backup.
void RemoveAutoexecLock(platform::FileSystem& files, const std::string& win_path);
// The same for DOSSTART.BAT, except that a file already holding a lock line is left unchanged
// (its backup dosstart.qvr is still refreshed).
void AddDosStartLock(platform::FileSystem& files, const std::string& win_path, std::string& sname);
// Drops every lock line from DOSSTART.BAT; nothing when it does not open or holds no line.
void RemoveDosStartLock(platform::FileSystem& files, const std::string& win_path);

// The boot-key edits run inside one frame: MSDOS.SYS's read-only, hidden, system and archive
// bits are noted, cleared while it is edited and put back afterwards (after a failure too).
//
// Writes "BootKeys=0" after copying the file to MSDOS.QVR: in the place of the last BootKeys
// entry, or right after the last [Options] line when there is no entry. A file already holding
// "BootKeys=0" is left alone. A file with neither fails (RuntimeError 5): the keys stay enabled.
void DisableBootKeys(platform::FileSystem& files, const std::string& win_path);
// Turns the last "BootKeys=0" line into "BootKeys=1". A file already holding "BootKeys=1" is
// left alone; one without "BootKeys=0" is written back with the same lines. No backup.
void EnableBootKeys(platform::FileSystem& files, const std::string& win_path);

}  // namespace vellomar
