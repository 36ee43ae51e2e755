#pragma once
// The shortcuts: the desktop icon "Vellomar" and the Start-menu folder "Vellomar" holding
// "Vellomar - Immediate Lock" and "Vellomar Setup". Creation goes through fCreateShellLink with
// folders relative to the Start menu's Programs folder; the existence tests and the removal use
// the file services, with paths built from the Windows directory. The wizard's Finish and the
// Setup form both use these; neither carries the password (a shortcut's program reads
// supermp.dat in its working directory, the program's own folder).

#include <string>

#include "platform/filesystem.h"
#include "platform/shell_link.h"

namespace vellomar {

inline constexpr char kDesktopLinkFolder[] = "..\\..\\Desktop";
inline constexpr char kDesktopLinkName[] = "Vellomar";
inline constexpr char kStartMenuLinkFolder[] = "\\Vellomar";
inline constexpr char kLockLinkName[] = "Vellomar - Immediate Lock";
inline constexpr char kSetupLinkName[] = "Vellomar Setup";
inline constexpr char kSetupArguments[] = "/setup";

// GetWindowsDirectoryA into a buffer of 260 NULs: the text up to the first NUL, or "" when the
// call returns 0.
std::string WindowsDirectory(platform::FileSystem& files);
// `win_path` + "\Start Menu\Programs\Vellomar".
std::string StartMenuFolder(const std::string& win_path);

// Whether the Start-menu folder exists, tested the way the Setup form does: create the folder and
// remove it again. Both succeed: it did not exist (and is gone again). Either fails, for any
// reason (it exists, the Start Menu tree is missing): it is taken to exist.
bool StartMenuFolderExists(platform::FileSystem& files, const std::string& win_path);
// Whether `win_path` + "\Desktop\Vellomar.lnk" opens for reading as file number 1 (closed again;
// closed as well when the open fails).
bool DesktopShortcutExists(platform::FileSystem& files, const std::string& win_path);

// Creates or replaces the desktop icon: one fCreateShellLink("..\..\Desktop", "Vellomar",
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

// Deletes `win_path` + "\desktop\Vellomar.lnk". Throws RuntimeError (53 when it is not there).
void RemoveDesktopShortcut(platform::FileSystem& files, const std::string& win_path);
// Deletes every file in the Start-menu folder, then the folder; an empty folder is just removed.
// Throws RuntimeError: a missing folder (76), one replaced by a file, a file that cannot go.
void RemoveStartMenuFolder(platform::FileSystem& files, const std::string& win_path);

}  // namespace vellomar
