#pragma once
// The pieces Win32Machine is built from. Internal to platform/win32.

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "platform/file_parts.h"
#include "platform/filesystem.h"
#include "platform/registry.h"
#include "platform/shell_link.h"

namespace vellomar::platform {

// The run-time error number for a failed Win32 call's GetLastError().
int CodeForWin32Error(DWORD error);
// The absolute form of `path` (GetFullPathNameA); empty when it cannot be formed.
std::string FullPath(const std::string& path);
// True when `path` names an existing folder.
bool IsFolder(const std::string& path);

// A whole-file rewrite that never leaves the target empty or half written: the new content goes
// to a temporary file in the target's folder, which is flushed, given its attributes and then
// renamed over the target with MoveFileExA (MOVEFILE_REPLACE_EXISTING). Destroyed without
// Commit, it removes the temporary file and the target stays as it was. Failures throw
// RuntimeError.
class Replacement {
 public:
  explicit Replacement(const std::string& target);
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  void Write(const char* data, std::size_t size);
  // Flushes, gives the new file `attributes` (FILE_ATTRIBUTE_* bits) and renames it over the
  // target.
  void Commit(DWORD attributes);
  const std::string& temporary() const { return temporary_; }
  // Closes the temporary file without writing through it (for writers that fill it by name).
  void CloseHandle();

 private:
  std::string target_;
  std::string temporary_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class Win32FileSystem : public FileSystem {
 public:
  explicit Win32FileSystem(std::string windows_directory);
  ~Win32FileSystem() override;

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

 private:
  struct OpenFile;
  OpenFile& Number(int number);

  std::string windows_directory_;  // empty: the real one
  std::map<int, std::unique_ptr<OpenFile>> open_;
};

// The registry handles of the interface are numbers; each stands for a real HKEY.
class Win32Registry : public Registry {
 public:
  // `root`: the key under HKEY_LOCAL_MACHINE that stands for it; empty for HKEY_LOCAL_MACHINE.
  explicit Win32Registry(const std::string& root);
  ~Win32Registry() override;

  LONG RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD options, DWORD access,
                     HKEY* result) override;
  LONG RegQueryValueExA(HKEY key, const std::string& name, DWORD* type, std::uint8_t* data,
                        DWORD* size) override;
  LONG RegSetValueExA(HKEY key, const std::string& name, DWORD type, const std::uint8_t* data,
                      DWORD size) override;
  LONG RegDeleteValueA(HKEY key, const std::string& name) override;
  LONG RegCloseKey(HKEY key) override;
  LONG WriteLogonRunner(const std::string& name, const std::string& command) override;
  LONG DeleteLogonRunner(const std::string& name) override;

  KeyCreation CreateKey(const std::string& subkey);

 private:
  ::HKEY Find(HKEY key) const;

  ::HKEY root_ = nullptr;  // HKEY_LOCAL_MACHINE or the key standing for it
  std::map<HKEY, ::HKEY> handles_;
  HKEY next_handle_ = 0x00000100;
};

class Win32ShellLinks : public ShellLinks {
 public:
  // `programs_folder`, `desktop_folder`: what ProgramsFolder and DesktopFolder report; empty for
  // the shell's own.
  Win32ShellLinks(std::string programs_folder, std::string desktop_folder);
  long fCreateShellLink(const std::string& folder, const std::string& name,
                        const std::string& target, const std::string& arguments) override;
  std::string ProgramsFolder() override;
  std::string DesktopFolder() override;

 private:
  std::string programs_folder_;
  std::string desktop_folder_;
};

}  // namespace vellomar::platform
