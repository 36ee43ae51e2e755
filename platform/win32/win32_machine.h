#pragma once
// The platform services on the real Win32 API: files through CreateFileA and friends,
// attributes with GetFileAttributesA/SetFileAttributesA, copies with CopyFileA, atomic rewrites
// renamed into place with MoveFileExA, the registry through advapi32 on HKEY_LOCAL_MACHINE and
// shortcuts through IShellLinkA / IPersistFile. Windows-only (built under WIN32).
//
// Relative paths are taken against the process's current directory, as on Windows; ChDir changes
// it. By default the machine is the real one: the real Windows directory, the Start menu's
// Programs and desktop folders and HKEY_LOCAL_MACHINE itself. Win32Places moves each of them
// elsewhere, so that tests run in a scratch folder and under a scratch registry key.

#include <memory>
#include <string>

#include "platform/platform.h"

namespace vellomar::platform {

struct Win32Places {
  // What GetWindowsDirectoryA reports; empty: the real Windows directory.
  std::string windows_directory;
  // The folder fCreateShellLink works from; empty: the Start menu's Programs folder.
  std::string programs_folder;
  // The desktop folder; empty: the shell's.
  std::string desktop_folder;
  // A key under HKEY_LOCAL_MACHINE that stands for HKEY_LOCAL_MACHINE itself (it must exist);
  // empty: HKEY_LOCAL_MACHINE.
  std::string registry_root;
};

class Win32Machine {
 public:
  explicit Win32Machine(Win32Places places = {});
  ~Win32Machine();
  Win32Machine(const Win32Machine&) = delete;
  Win32Machine& operator=(const Win32Machine&) = delete;

  FileSystem& files();
  Registry& registry();
  ShellLinks& links();
  Services services() { return {files(), registry(), links()}; }

  // For the installer and tests only (the system never creates keys): makes sure
  // HKEY_LOCAL_MACHINE\`subkey` exists.
  KeyCreation CreateRegistryKey(const std::string& subkey);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vellomar::platform
