#pragma once
// Shortcut creation in the manner of the setup toolkit's fCreateShellLink, and the two folders
// the shell keeps shortcuts in.

#include <string>

namespace vellomar::platform {

class ShellLinks {
 public:
  virtual ~ShellLinks() = default;
  // Creates or replaces `<folder>\<name>.lnk`, `folder` taken relative to the Start menu's
  // Programs folder ("..\..\Desktop" is the desktop). The link starts `target` with `arguments`
  // in the target's own folder. Returns 1 on success, 0 on failure; never throws.
  virtual long fCreateShellLink(const std::string& folder, const std::string& name,
                                const std::string& target, const std::string& arguments) = 0;

  // The folder of the Start menu's Programs list and the desktop folder, as DOS paths without a
  // trailing backslash; "" when the shell cannot name one. The emulated machine keeps the Windows
  // 95/98 layout (C:\WINDOWS\Start Menu\Programs, C:\WINDOWS\Desktop); the Win32 machine asks
  // the shell for the current user's (SHGetSpecialFolderPathA with CSIDL_PROGRAMS and
  // CSIDL_DESKTOPDIRECTORY), which on the NT family and Wine lie elsewhere.
  virtual std::string ProgramsFolder() = 0;
  virtual std::string DesktopFolder() = 0;
};

}  // namespace vellomar::platform
