#pragma once
// The emulated Windows 9x platform over a host folder, the way Wine maps drive_c:
// C: is a host folder, Z: is the host root. Paths are resolved case-insensitively, component by
// component, so "C:\WINDOWS\desktop" finds the host folder "drive_c/WINDOWS/Desktop".
//
// Where drive C: lives: the environment variable VELLOMAR_DRIVE_C, when set and not empty, names
// the host folder (absolute, or relative to the working directory); otherwise it is
// ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c. The program and vellomar-install both read
// it, so `VELLOMAR_DRIVE_C=/tmp/c vellomar-install` followed by running the installed
// kestrom.exe with the same variable uses one throw-away machine.
//
// What lives on C: (made by vellomar-install): C:\WINDOWS with Desktop and Start Menu\Programs,
// the registry C:\WINDOWS\SYSTEM.REG (REGEDIT4 text, HKEY_LOCAL_MACHINE only), C:\MSDOS.SYS and
// the program folder C:\Program Files\Vellomar.
//
// Attributes: read-only is the host write permission; hidden, system and archive are kept in the
// user.DOSATTRIB extended attribute as Wine writes it ("0x6"). A file that carries no such
// attribute reads as archive, as a freshly written file does on Windows.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/atomic_file.h"
#include "platform/desktop_twins.h"
#include "platform/platform.h"

namespace vellomar::platform {

// Where drive C: lives: $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c.
std::filesystem::path DefaultDriveC();

inline constexpr char kWindowsDirectory[] = "C:\\WINDOWS";
inline constexpr char kRegistryFile[] = "C:\\WINDOWS\\SYSTEM.REG";
inline constexpr char kProgramsFolder[] = "C:\\WINDOWS\\Start Menu\\Programs";

// The emulated machine: one drive C:, the registry file in C:\WINDOWS, shortcuts as .lnk files.
// `current_dir` is a host path; it is reported as a DOS path on C: when under the drive folder,
// otherwise on Z:. The machine keeps its own current directory (ChDir changes it, not the
// process's).
class EmulatedMachine {
 public:
  // With `places`, every shortcut written or deleted on the Desktop or in the Start menu gets or
  // loses its desktop twin there (platform/desktop_twins.h); tests leave it out.
  EmulatedMachine(std::filesystem::path drive_c, std::filesystem::path current_dir,
                  std::optional<DesktopPlaces> places = std::nullopt);
  ~EmulatedMachine();

  FileSystem& files();
  Registry& registry();
  ShellLinks& links();
  Services services() { return {files(), registry(), links()}; }

  const std::filesystem::path& drive_c() const;
  // Host path for a DOS path (existing components matched case-insensitively; missing ones kept
  // as written). Relative paths are taken against the current directory. Empty for a drive
  // other than C: and Z:.
  std::filesystem::path HostPath(const std::string& dos_path) const;
  // DOS path for a host path.
  std::string DosPath(const std::filesystem::path& host_path) const;

  // For the installer only (the system never creates keys): makes sure
  // HKEY_LOCAL_MACHINE\`subkey` exists, creating the registry file when it is absent. A damaged
  // file is left alone.
  KeyCreation CreateRegistryKey(const std::string& subkey);

  // Test hook: the next atomic replacement (an output file's Close, FileCopy, a registry write)
  // fails at `step` as if the system call had failed with EIO.
  void InjectReplaceFault(ReplaceStep step);
  // Test hook: asked before every step of every atomic replacement (files, registry, links); a
  // step it answers true for fails as if the system call had failed with EIO. Empty: none fail.
  void SetReplaceFaultHook(std::function<bool(ReplaceStep)> fails);
  // True once the host refused user extended attributes and attributes fell back to memory.
  bool AttributesInMemoryOnly() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vellomar::platform
