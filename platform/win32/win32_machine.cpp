// The Win32 machine: the file services, the registry and the shortcuts of one run.

#include "platform/win32/win32_machine.h"

#include "platform/win32/win32_parts.h"

namespace vellomar::platform {

struct Win32Machine::Impl {
  explicit Impl(const Win32Places& places)
      : files(places.windows_directory),
        registry(places.registry_root),
        links(places.programs_folder, places.desktop_folder) {}

  Win32FileSystem files;
  Win32Registry registry;
  Win32ShellLinks links;
};

Win32Machine::Win32Machine(Win32Places places) : impl_(std::make_unique<Impl>(places)) {}

Win32Machine::~Win32Machine() = default;

FileSystem& Win32Machine::files() {
  return impl_->files;
}
Registry& Win32Machine::registry() {
  return impl_->registry;
}
ShellLinks& Win32Machine::links() {
  return impl_->links;
}

KeyCreation Win32Machine::CreateRegistryKey(const std::string& subkey) {
  return impl_->registry.CreateKey(subkey);
}

}  // namespace vellomar::platform
