#include "system/shortcuts.h"

#include <algorithm>
#include <cctype>
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

std::string StartMenuFolder(platform::ShellLinks& links) {
  const std::string programs = links.ProgramsFolder();
  return programs.empty() ? "" : programs + "\\Vellomar";
}

std::string RelativeFolder(const std::string& from, const std::string& to) {
  const auto parts = [](const std::string& path) {
    std::vector<std::string> names;
    std::string name;
    for (const char c : path + "\\") {
      if (c != '\\') {
        name += c;
      } else if (!name.empty()) {
        names.push_back(name);
        name.clear();
      }
    }
    return names;
  };
  const auto same = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::toupper(static_cast<unsigned char>(x)) ==
                    std::toupper(static_cast<unsigned char>(y));
           });
  };
  const std::vector<std::string> a = parts(from);
  const std::vector<std::string> b = parts(to);
  if (a.empty() || b.empty() || !same(a.front(), b.front())) return to;  // another drive
  std::size_t common = 0;
  while (common < a.size() && common < b.size() && same(a[common], b[common])) ++common;
  std::string relative;
  for (std::size_t i = common; i < a.size(); ++i) relative += relative.empty() ? ".." : "\\..";
  for (std::size_t i = common; i < b.size(); ++i) relative += (relative.empty() ? "" : "\\") + b[i];
  return relative.empty() ? "." : relative;
}

std::string DesktopLinkFolder(platform::ShellLinks& links) {
  const std::string programs = links.ProgramsFolder();
  const std::string desktop = links.DesktopFolder();
  if (programs.empty() || desktop.empty()) return "";
  return RelativeFolder(programs, desktop);
}

bool StartMenuFolderExists(platform::FileSystem& files, platform::ShellLinks& links) {
  const std::string folder = StartMenuFolder(links);
  if (folder.empty()) return false;
  try {
    files.MkDir(folder);
    files.RmDir(folder);
    return false;
  } catch (const RuntimeError&) {
    // The probe failed: say "exists" only for a folder that is there to be seen.
    try {
      return (files.GetAttr(folder) & platform::attr::kDirectory) != 0;
    } catch (const RuntimeError&) {
      return false;
    }
  }
}

bool DesktopShortcutExists(platform::FileSystem& files, platform::ShellLinks& links) {
  const std::string desktop = links.DesktopFolder();
  if (desktop.empty()) return false;
  try {
    files.Open(kFileNumber, desktop + "\\Vellomar.lnk", platform::OpenMode::Input);
    files.Close(kFileNumber);
    return true;
  } catch (const RuntimeError&) {
    files.Close(kFileNumber);
    return false;
  }
}

bool CreateDesktopShortcut(platform::ShellLinks& links, const std::string& program_path,
                           const std::string& switches) {
  const std::string folder = DesktopLinkFolder(links);
  if (folder.empty()) return false;
  return links.fCreateShellLink(folder, kDesktopLinkName, program_path, switches) != 0;
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

void RemoveDesktopShortcut(platform::FileSystem& files, platform::ShellLinks& links) {
  const std::string desktop = links.DesktopFolder();
  if (desktop.empty()) throw RuntimeError(errc::kPathNotFound, "no desktop folder");
  files.Kill(desktop + "\\Vellomar.lnk");
}

void RemoveStartMenuFolder(platform::FileSystem& files, platform::ShellLinks& links) {
  const std::string folder = StartMenuFolder(links);
  if (folder.empty()) throw RuntimeError(errc::kPathNotFound, "no Start menu folder");
  try {
    files.Kill(folder + "\\*.*");
  } catch (const RuntimeError& error) {
    // No file in it: an empty folder is simply removed.
    if (error.code() != errc::kFileNotFound) throw;
  }
  files.RmDir(folder);
}

}  // namespace vellomar
