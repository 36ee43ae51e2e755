#pragma once
// fCreateShellLink over real MS-SHLLINK .lnk files: header, LinkInfo with the local base path,
// working directory (the target's folder) and arguments, strings in ANSI.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/atomic_file.h"
#include "platform/shell_link.h"

namespace vellomar::platform {

class DesktopTwins;

struct LinkSpec {
  std::string target;     // DOS path of the target, e.g. C:\Program Files\Vellomar\kestrom.exe
  std::string arguments;  // e.g. "/locknow"
  std::string working_directory;  // DOS path; the target's folder
};

// The bytes of a .lnk file for `link`.
std::string BuildLnkFile(const LinkSpec& link);

class LnkShellLinks : public ShellLinks {
 public:
  // `host_path` maps a DOS path to the host path; `programs_folder` is the DOS path of the Start
  // menu's Programs folder (C:\WINDOWS\Start Menu\Programs).
  // `twins`, when given, gets a desktop twin of every link written; `faults` are the machine's
  // replacement test hooks.
  LnkShellLinks(std::function<std::filesystem::path(const std::string&)> host_path,
                std::string programs_folder, DesktopTwins* twins = nullptr,
                std::shared_ptr<ReplaceFaults> faults = nullptr);
  long fCreateShellLink(const std::string& folder, const std::string& name,
                        const std::string& target, const std::string& arguments) override;
  std::string ProgramsFolder() override { return programs_folder_; }
  // The Windows 95/98 layout: "Desktop" beside "Start Menu" in the Windows directory.
  std::string DesktopFolder() override;

 private:
  std::function<std::filesystem::path(const std::string&)> host_path_;
  std::string programs_folder_;
  DesktopTwins* twins_;
  std::shared_ptr<ReplaceFaults> faults_;
};

}  // namespace vellomar::platform
