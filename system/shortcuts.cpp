#include "system/shortcuts.h"

#include <cstdint>
#include <vector>

#include "platform/errors.h"

namespace vellomar {

namespace {
constexpr std::uint32_t kMaxPath = 260;
constexpr int kFileNumber = 1;
}  // namespace

std::string WindowsDirectory(platform::FileSystem& files) {
  std::vector<char> buffer(kMaxPath, '\0');
  const std::uint32_t length = files.GetWindowsDirectoryA(buffer.data(), kMaxPath);
  if (length == 0) return "";
  buffer.back() = '\0';  // a too-small buffer reports the size needed and may hold no NUL
  return std::string(buffer.data());
}

std::string StartMenuFolder(const std::string& win_path) {
  return win_path + "\\Start Menu\\Programs\\Vellomar";
}

bool StartMenuFolderExists(platform::FileSystem& files, const std::string& win_path) {
  const std::string folder = StartMenuFolder(win_path);
  try {
    files.MkDir(folder);
    files.RmDir(folder);
    return false;
  } catch (const RuntimeError&) {
    return true;
  }
}

bool DesktopShortcutExists(platform::FileSystem& files, const std::string& win_path) {
  try {
    files.Open(kFileNumber, win_path + "\\Desktop\\Vellomar.lnk", platform::OpenMode::Input);
    files.Close(kFileNumber);
    return true;
  } catch (const RuntimeError&) {
    files.Close(kFileNumber);
    return false;
  }
}

bool CreateDesktopShortcut(platform::ShellLinks& links, const std::string& program_path,
                           const std::string& switches) {
  return links.fCreateShellLink(kDesktopLinkFolder, kDesktopLinkName, program_path, switches) != 0;
}

bool CreateStartMenuFolder(platform::FileSystem& files, const std::string& folder) {
  try {
    files.MkDir(folder);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

bool CreateStartMenuShortcuts(platform::ShellLinks& links, const std::string& program_path,
                              const std::string& switches) {
  const bool lock_made =
      links.fCreateShellLink(kStartMenuLinkFolder, kLockLinkName, program_path, switches) != 0;
  const bool setup_made = links.fCreateShellLink(kStartMenuLinkFolder, kSetupLinkName, program_path,
                                                 kSetupArguments) != 0;
  return lock_made && setup_made;
}

void RemoveDesktopShortcut(platform::FileSystem& files, const std::string& win_path) {
  files.Kill(win_path + "\\desktop\\Vellomar.lnk");
}

void RemoveStartMenuFolder(platform::FileSystem& files, const std::string& win_path) {
  const std::string folder = StartMenuFolder(win_path);
  try {
    files.Kill(folder + "\\*.*");
  } catch (const RuntimeError& error) {
    // No file in it: an empty folder is simply removed.
    if (error.code() != errc::kFileNotFound) throw;
  }
  files.RmDir(folder);
}

}  // namespace vellomar
