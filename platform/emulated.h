#pragma once
// The emulated Windows 9x platform over a host folder, the way Wine maps drive_c:
// C: is a host folder, Z: is the host root. Paths are resolved case-insensitively.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace vellomar::platform {

// Where drive C: lives: $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c.
std::filesystem::path DefaultDriveC();

// The emulated machine: one drive C:, the registry file in C:\WINDOWS, shortcuts as .lnk files.
// `current_dir` is a host path; it is reported as a DOS path on C: when under the drive folder,
// otherwise on Z:.
class EmulatedMachine {
 public:
  EmulatedMachine(std::filesystem::path drive_c, std::filesystem::path current_dir);
  ~EmulatedMachine();

  FileSystem& files();
  Registry& registry();
  ShellLinks& links();
  Services services() { return {files(), registry(), links()}; }

  const std::filesystem::path& drive_c() const;
  // Host path for a DOS path (existing components matched case-insensitively; missing ones kept
  // as written). Relative paths are taken against the current directory.
  std::filesystem::path HostPath(const std::string& dos_path) const;
  // DOS path for a host path.
  std::string DosPath(const std::filesystem::path& host_path) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The real clock: local time of day, sleeps with the OS.
class SystemClock : public Clock {
 public:
  float Timer() override;
  void Sleep(double seconds) override;
};

}  // namespace vellomar::platform
