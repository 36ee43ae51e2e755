#pragma once
// The pieces EmulatedMachine is built from: the drive map, the file services and the registry.
// Internal to platform/; the rest of the program sees only the interfaces.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/desktop_twins.h"
#include "platform/dos_attributes.h"
#include "platform/emulated.h"
#include "platform/errors.h"
#include "platform/filesystem.h"
#include "platform/registry.h"

namespace vellomar::platform {

// A DOS path resolved against the drive map.
struct ResolvedPath {
  bool valid = false;  // false for a drive letter that is not mapped
  char drive = 'C';
  std::vector<std::string> components;  // host names where they exist, as written otherwise
  std::filesystem::path host;
};

// Drive C: over a host folder, Z: over the host root, and the current directory.
class DosPaths {
 public:
  DosPaths(std::filesystem::path drive_c, const std::filesystem::path& current_dir);

  ResolvedPath Resolve(const std::string& dos_path) const;
  std::string DosPath(const std::filesystem::path& host) const;
  std::string CurDir() const { return ToDos(current_drive_, current_); }
  void SetCurrent(const ResolvedPath& path);
  std::filesystem::path DriveRoot(char drive) const;
  const std::filesystem::path& drive_c() const { return drive_c_; }

  // The entry of `folder` named `name` case-insensitively: the exact name when it exists, else
  // the first match in byte order, else `name` itself.
  static std::string MatchEntry(const std::filesystem::path& folder, const std::string& name);
  static std::string ToDos(char drive, const std::vector<std::string>& components);

 private:
  std::filesystem::path drive_c_;  // absolute, symlinks resolved
  char current_drive_ = 'C';
  std::vector<std::string> current_;
};

class EmulatedFileSystem : public FileSystem {
 public:
  // `twins`, when given, learns of every .lnk that Kill deletes.
  EmulatedFileSystem(DosPaths& paths, std::shared_ptr<ReplaceFaults> faults,
                     DesktopTwins* twins = nullptr);
  ~EmulatedFileSystem() override;

  std::string CurDir() const override;
  void ChDir(const std::string& path) override;
  void Open(int number, const std::string& path, OpenMode mode) override;
  std::string LineInput(int number) override;
  std::optional<std::string> LineInputAtMost(int number, std::size_t limit) override;
  void PrintLine(int number, const std::string& text) override;
  bool Eof(int number) override;
  void Close(int number) override;
  void Kill(const std::string& pattern) override;
  void MkDir(const std::string& path) override;
  void RmDir(const std::string& path) override;
  void FileCopy(const std::string& from, const std::string& to) override;
  int GetAttr(const std::string& path) override;
  void SetAttr(const std::string& path, int attributes) override;
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override;
  std::uint32_t GetShortPathNameA(const char* long_path, char* buffer, std::uint32_t size) override;

  DosAttributeStore& attributes() { return attributes_; }

 private:
  struct OpenFile;
  OpenFile& Number(int number);
  ResolvedPath ResolveOrThrow(const std::string& path, int missing_drive_code) const;

  DosPaths& paths_;
  std::shared_ptr<ReplaceFaults> faults_;
  DosAttributeStore attributes_;
  DesktopTwins* twins_;
  std::map<int, std::unique_ptr<OpenFile>> open_;
};

// HKEY_LOCAL_MACHINE kept in a REGEDIT4 file. Every call reads the file afresh; every change
// runs under an exclusive flock on a lock file beside it and replaces the file atomically, so
// two processes writing at once never lose each other's values.
class EmulatedRegistry : public Registry {
 public:
  EmulatedRegistry(std::function<std::filesystem::path()> file,
                   std::shared_ptr<ReplaceFaults> faults);

  LONG RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD options, DWORD access,
                     HKEY* result) override;
  LONG RegQueryValueExA(HKEY key, const std::string& name, DWORD* type, std::uint8_t* data,
                        DWORD* size) override;
  LONG RegSetValueExA(HKEY key, const std::string& name, DWORD type, const std::uint8_t* data,
                      DWORD size) override;
  LONG RegDeleteValueA(HKEY key, const std::string& name) override;
  LONG RegCloseKey(HKEY key) override;

  // For the installer only: makes sure HKEY_LOCAL_MACHINE\`subkey` exists, creating the file
  // when it is absent. A damaged file is left alone.
  KeyCreation CreateKey(const std::string& subkey);

 private:
  struct Handle {
    std::string path;
    DWORD access = 0;
  };
  const Handle* Find(HKEY key) const;
  // Reads the file under the caller's lock (if any), applies `change` and writes it back.
  template <typename Change>
  LONG Modify(const std::string& key_path, Change change);

  std::function<std::filesystem::path()> file_;
  std::shared_ptr<ReplaceFaults> faults_;
  std::map<HKEY, Handle> handles_;
  HKEY next_handle_ = 0x00000100;
};

// The run-time error for a failed system call.
int CodeForErrno(int error_number);

}  // namespace vellomar::platform
