#pragma once
// The shortcuts: the desktop icon "Vellomar" and the Start-menu folder "Vellomar" holding
// "Vellomar - Immediate Lock" and "Vellomar Setup". Creation goes through fCreateShellLink with
// folders relative to the Start menu's Programs folder; the existence tests and the removal use
// the file services. Both folders are the ones the machine's shell names (on Windows 95/98 and
// the emulated machine C:\WINDOWS\Start Menu\Programs and C:\WINDOWS\Desktop; elsewhere on
// the NT family and Wine), so "..\..\Desktop" of the old layout is worked out from where they
// lie. The wizard's Finish and the Setup form both use these; neither carries the password (a
// shortcut's program reads supermp.dat in its working directory, the program's own folder).

#include <string>

#include "platform/filesystem.h"
#include "platform/shell_link.h"

namespace vellomar {

inline constexpr char kDesktopLinkName[] = "Vellomar";
inline constexpr char kStartMenuLinkFolder[] = "\\Vellomar";
inline constexpr char kLockLinkName[] = "Vellomar - Immediate Lock";
inline constexpr char kSetupLinkName[] = "Vellomar Setup";
inline constexpr char kSetupArguments[] = "/setup";

// GetWindowsDirectoryA into a buffer of 260 NULs: the text up to the first NUL, or "" when the
// call returns 0.
std::string WindowsDirectory(platform::FileSystem& files);
// The Start-menu folder: the Programs folder + "\Vellomar"; "" when the shell names no Programs
// folder.
std::string StartMenuFolder(platform::ShellLinks& links);
// The path that leads from folder `from` to folder `to` ("..\..\Desktop" from
// "C:\WINDOWS\Start Menu\Programs" to "C:\WINDOWS\Desktop"), letter case aside; `to` itself
// when they lie on different drives.
std::string RelativeFolder(const std::string& from, const std::string& to);
// The desktop folder as fCreateShellLink takes it, relative to the Programs folder; "" when the
// shell names either folder not.
std::string DesktopLinkFolder(platform::ShellLinks& links);

// Whether the Start-menu folder exists, tested the way the Setup form does: create the folder and
// remove it again; both succeed: it did not exist (and is gone again). When either fails, it
// exists only if it is there as a folder: a failure alone (a missing Programs folder, no folder
// named by the shell) never counts as "exists".
bool StartMenuFolderExists(platform::FileSystem& files, platform::ShellLinks& links);
// Whether the desktop folder's "Vellomar.lnk" opens for reading as file number 1 (closed again;
// closed as well when the open fails).
bool DesktopShortcutExists(platform::FileSystem& files, platform::ShellLinks& links);

// Creates or replaces the desktop icon: one fCreateShellLink(DesktopLinkFolder, "Vellomar",
// `program_path`, `switches`). Returns false when the link could not be made.
bool CreateDesktopShortcut(platform::ShellLinks& links, const std::string& program_path,
                           const std::string& switches);
// Creates the Start-menu folder. Returns false when the directory could not be created, which
// usually means it exists already; callers carry on either way.
bool CreateStartMenuFolder(platform::FileSystem& files, const std::string& folder);
// Creates or replaces the two entries in "\Vellomar": "Vellomar - Immediate Lock" with `switches`
// and "Vellomar Setup" with "/setup". Both are attempted; returns false when either failed.
bool CreateStartMenuShortcuts(platform::ShellLinks& links, const std::string& program_path,
                              const std::string& switches);

// Deletes the desktop folder's "Vellomar.lnk". Throws RuntimeError (53 when it is not there, 76
// when the shell names no desktop folder).
void RemoveDesktopShortcut(platform::FileSystem& files, platform::ShellLinks& links);
// Deletes every file in the Start-menu folder, then the folder; an empty folder is just removed.
// Throws RuntimeError: a missing folder (76), one replaced by a file, a file that cannot go.
void RemoveStartMenuFolder(platform::FileSystem& files, platform::ShellLinks& links);

}  // namespace vellomar
