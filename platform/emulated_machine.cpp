// The emulated machine: the drive map, the file services, the registry and the shortcuts of one
// run, sharing the current directory and the replacement fault hook.

#include <cstdlib>

#include "platform/emulated_parts.h"
#include "platform/lnk_links.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

fs::path DefaultDriveC() {
  if (const char* drive = std::getenv("VELLOMAR_DRIVE_C"); drive && *drive) {
    return fs::absolute(drive);
  }
  fs::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = fs::path(home) / ".local" / "share";
  } else {
    data = fs::temp_directory_path();
  }
  return data / "vellomar" / "drive_c";
}

struct EmulatedMachine::Impl {
  Impl(fs::path drive_c, const fs::path& current_dir, std::optional<DesktopPlaces> places)
      : faults(std::make_shared<ReplaceFaults>()),
        paths(std::move(drive_c), current_dir),
        twins(places ? std::make_unique<DesktopTwins>(
                           std::move(*places), [this](const std::string& dos) { return Host(dos); },
                           paths.drive_c())
                     : nullptr),
        files(paths, faults, twins.get()),
        registry([this] { return Host(kRegistryFile); }, faults),
        links([this](const std::string& dos) { return Host(dos); }, kProgramsFolder, twins.get(),
              faults) {}

  fs::path Host(const std::string& dos) const { return paths.Resolve(dos).host; }

  std::shared_ptr<ReplaceFaults> faults;
  DosPaths paths;
  std::unique_ptr<DesktopTwins> twins;
  EmulatedFileSystem files;
  EmulatedRegistry registry;
  LnkShellLinks links;
};

EmulatedMachine::EmulatedMachine(fs::path drive_c, fs::path current_dir,
                                 std::optional<DesktopPlaces> places)
    : impl_(std::make_unique<Impl>(std::move(drive_c), current_dir, std::move(places))) {}

EmulatedMachine::~EmulatedMachine() = default;

FileSystem& EmulatedMachine::files() {
  return impl_->files;
}
Registry& EmulatedMachine::registry() {
  return impl_->registry;
}
ShellLinks& EmulatedMachine::links() {
  return impl_->links;
}
const fs::path& EmulatedMachine::drive_c() const {
  return impl_->paths.drive_c();
}

fs::path EmulatedMachine::HostPath(const std::string& dos_path) const {
  const ResolvedPath resolved = impl_->paths.Resolve(dos_path);
  return resolved.valid ? resolved.host : fs::path();
}

std::string EmulatedMachine::DosPath(const fs::path& host_path) const {
  return impl_->paths.DosPath(host_path);
}

KeyCreation EmulatedMachine::CreateRegistryKey(const std::string& subkey) {
  return impl_->registry.CreateKey(subkey);
}

void EmulatedMachine::InjectReplaceFault(ReplaceStep step) {
  impl_->faults->fail_at = step;
}

void EmulatedMachine::SetReplaceFaultHook(std::function<bool(ReplaceStep)> fails) {
  impl_->faults->fails = std::move(fails);
}

bool EmulatedMachine::AttributesInMemoryOnly() const {
  return impl_->files.attributes().fell_back();
}

}  // namespace vellomar::platform
