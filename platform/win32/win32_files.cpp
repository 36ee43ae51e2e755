// The file services on the Win32 API: files by number, deletion with wildcards, folders, copies,
// attributes, the Windows directory and short names, with the run-time errors a program gets on
// Windows.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/dos_names.h"
#include "platform/win32/win32_parts.h"

namespace vellomar::platform {
namespace {

constexpr int kMaxFileNumber = 511;
constexpr std::size_t kWriteChunk = 64 * 1024;
constexpr DWORD kClassicBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                               FILE_ATTRIBUTE_ARCHIVE;

DWORD Attributes(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}
bool Exists(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES;
}
bool IsDir(DWORD attributes) {
  return Exists(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool ReadOnly(DWORD attributes) {
  return Exists(attributes) && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The full path of `path` with what Windows would say about a missing file or folder: 53 when
// the folder exists, 76 when it does not.
std::string FullOrThrow(const std::string& path) {
  std::string full = FullPath(path);
  if (full.empty()) throw FileError(errc::kPathNotFound, path);
  return full;
}
bool ParentExists(const std::string& full) {
  const std::string parent = FolderOf(full);
  return !parent.empty() && IsFolder(parent);
}

// The names in `folder` (files and folders, without "." and "..").
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const std::string pattern = folder + (folder.back() == '\\' ? "*" : "\\*");
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// Copies `text` with its NUL into `buffer` when it fits: the GetWindowsDirectoryA contract.
std::uint32_t CopyOut(const std::string& text, char* buffer, std::uint32_t size) {
  const auto length = static_cast<std::uint32_t>(text.size());
  if (buffer == nullptr && size > 0) return 0;
  if (size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), length + 1);
  return length;
}

}  // namespace

int CodeForWin32Error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return errc::kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return errc::kPathNotFound;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return errc::kDiskFull;
    case ERROR_INVALID_NAME:
      return errc::kBadFileName;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
    case ERROR_DIR_NOT_EMPTY:
    case ERROR_DIRECTORY:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_WRITE_PROTECT:
      return errc::kPathFileAccessError;
    default:
      return errc::kDeviceIoError;
  }
}

std::string FullPath(const std::string& path) {
  if (path.empty()) return {};
  char buffer[MAX_PATH];
  char* name = nullptr;
  const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

bool IsFolder(const std::string& path) {
  return IsDir(Attributes(path));
}

Replacement::Replacement(const std::string& target) : target_(target) {
  const std::string folder = FolderOf(target);
  char temporary[MAX_PATH];
  // GetTempFileNameA makes the file, so the name is ours until we rename or delete it.
  if (folder.empty() || ::GetTempFileNameA(folder.c_str(), "vel", 0, temporary) == 0) {
    throw FileError(CodeForWin32Error(::GetLastError()), target);
  }
  temporary_ = temporary;
  handle_ = ::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temporary);
    throw FileError(CodeForWin32Error(error), target);
  }
}

Replacement::~Replacement() {
  CloseHandle();
  if (!temporary_.empty()) ::DeleteFileA(temporary_.c_str());
}

void Replacement::CloseHandle() {
  if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

void Replacement::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kWriteChunk));
    ::DWORD written = 0;
    if (!::WriteFile(handle_, data, chunk, &written, nullptr) || written == 0) {
      throw FileError(CodeForWin32Error(::GetLastError()), target_);
    }
    data += written;
    size -= written;
  }
}

void Replacement::Commit(DWORD attributes) {
  if (handle_ != INVALID_HANDLE_VALUE && !::FlushFileBuffers(handle_)) {
    throw FileError(CodeForWin32Error(::GetLastError()), target_);
  }
  CloseHandle();
  if (!::SetFileAttributesA(temporary_.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL)) {
    throw FileError(CodeForWin32Error(::GetLastError()), target_);
  }
  if (!::MoveFileExA(temporary_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = ::GetLastError();
    // Windows 95/98 have no MoveFileExA: there the old file goes first, and a failure between
    // the two steps leaves the new content under the temporary name.
    if (error != ERROR_CALL_NOT_IMPLEMENTED) throw FileError(CodeForWin32Error(error), target_);
    if (!::DeleteFileA(target_.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      throw FileError(CodeForWin32Error(::GetLastError()), target_);
    }
    if (!::MoveFileA(temporary_.c_str(), target_.c_str())) {
      throw FileError(CodeForWin32Error(::GetLastError()), target_);
    }
  }
  temporary_.clear();
}

struct Win32FileSystem::OpenFile {
  OpenMode mode = OpenMode::Input;
  std::string full;  // the absolute path, to find a file opened twice
  std::string name;  // as the caller wrote it, for messages
  // Input
  HANDLE in = INVALID_HANDLE_VALUE;
  std::unique_ptr<LineReader> reader;
  // Output
  std::unique_ptr<Replacement> out;
  DWORD keep = FILE_ATTRIBUTE_ARCHIVE;  // the attributes the new content gets
  std::string pending;                  // written through in chunks
  bool broken = false;                  // a write failed: Close drops the new content

  ~OpenFile() {
    if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
  }
  void Flush() {
    out->Write(pending.data(), pending.size());
    pending.clear();
  }
};

Win32FileSystem::Win32FileSystem(std::string windows_directory)
    : windows_directory_(std::move(windows_directory)) {}

// Open output files that were never closed are abandoned here: their targets stay untouched.
Win32FileSystem::~Win32FileSystem() = default;

std::string Win32FileSystem::CurDir() const {
  char buffer[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) throw FileError(errc::kDeviceIoError, "CurDir");
  return std::string(buffer, length);
}

void Win32FileSystem::ChDir(const std::string& path) {
  if (!IsFolder(path) || !::SetCurrentDirectoryA(path.c_str())) {
    throw FileError(errc::kPathNotFound, path);
  }
}

Win32FileSystem::OpenFile& Win32FileSystem::Number(int number) {
  const auto it = open_.find(number);
  if (it == open_.end()) {
    throw FileError(errc::kBadFileNameOrNumber, "file #" + std::to_string(number));
  }
  return *it->second;
}

void Win32FileSystem::Open(int number, const std::string& path, OpenMode mode) {
  if (number < 1 || number > kMaxFileNumber) {
    throw FileError(errc::kBadFileNameOrNumber, "file #" + std::to_string(number));
  }
  if (open_.count(number)) throw FileError(errc::kFileAlreadyOpen, path);
  if (path.empty()) throw FileError(errc::kPathFileAccessError, "(empty name)");
  const std::string full = FullOrThrow(path);
  if (!ParentExists(full)) throw FileError(errc::kPathNotFound, path);
  for (const auto& [other, file] : open_) {
    if (SameDosName(file->full, full) &&
        (mode == OpenMode::Output || file->mode == OpenMode::Output)) {
      throw FileError(errc::kFileAlreadyOpen, path);
    }
  }

  auto file = std::make_unique<OpenFile>();
  file->mode = mode;
  file->full = full;
  file->name = path;
  const DWORD attributes = Attributes(full);
  if (IsDir(attributes)) throw FileError(errc::kPathFileAccessError, path);

  if (mode == OpenMode::Input) {
    if (!Exists(attributes)) throw FileError(errc::kFileNotFound, path);
    file->in = ::CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file->in == INVALID_HANDLE_VALUE) {
      throw FileError(CodeForWin32Error(::GetLastError()), path);
    }
    // Only a plain file is read: a device or a pipe would feed reads that never end.
    if (::GetFileType(file->in) != FILE_TYPE_DISK) {
      throw FileError(errc::kPathFileAccessError, path);
    }
    file->reader = std::make_unique<LineReader>(
        [handle = file->in, path](char* buffer, std::size_t size) -> std::size_t {
          ::DWORD got = 0;
          if (!::ReadFile(handle, buffer, static_cast<DWORD>(size), &got, nullptr)) {
            throw FileError(errc::kDeviceIoError, path);
          }
          return got;
        });
  } else {
    if (ReadOnly(attributes)) throw FileError(errc::kPathFileAccessError, path);
    // The new content keeps the old file's hidden, system and archive bits; a new file is
    // marked for archiving, as Windows marks every file written.
    if (Exists(attributes)) file->keep = attributes & kClassicBits & ~FILE_ATTRIBUTE_DIRECTORY;
    file->out = std::make_unique<Replacement>(full);
  }
  open_[number] = std::move(file);
}

std::string Win32FileSystem::LineInput(int number) {
  return *LineInputAtMost(number, std::string::npos);
}

std::optional<std::string> Win32FileSystem::LineInputAtMost(int number, std::size_t limit) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Input) throw FileError(errc::kBadFileMode, file.name);
  if (file.reader->AtEnd()) throw FileError(errc::kInputPastEndOfFile, file.name);
  return file.reader->Next(limit);
}

void Win32FileSystem::PrintLine(int number, const std::string& text) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Output) throw FileError(errc::kBadFileMode, file.name);
  if (file.broken) throw FileError(errc::kDeviceIoError, file.name);
  file.pending += text;
  file.pending += "\r\n";
  if (file.pending.size() < kWriteChunk) return;
  try {
    file.Flush();
  } catch (const RuntimeError&) {
    file.broken = true;
    throw;
  }
}

bool Win32FileSystem::Eof(int number) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Input) throw FileError(errc::kBadFileMode, file.name);
  return file.reader->AtEnd();
}

void Win32FileSystem::Close(int number) {
  const auto it = open_.find(number);
  if (it == open_.end()) return;
  std::unique_ptr<OpenFile> file = std::move(it->second);
  open_.erase(it);
  if (file->mode != OpenMode::Output || file->broken) return;  // a broken file was reported
  file->Flush();
  file->out->Commit(file->keep);
}

void Win32FileSystem::Kill(const std::string& pattern) {
  std::string folder_text, name;
  SplitLast(pattern, &folder_text, &name);
  const std::string folder = FullPath(folder_text);
  if (folder.empty() || !IsFolder(folder)) throw FileError(errc::kPathNotFound, pattern);

  // Names are matched by our own DOS rules, against long names only: FindFirstFileA would
  // also match the short aliases ("*.htm" finding "page.html").
  std::vector<std::string> victims;
  if (HasWildcards(name)) {
    for (const std::string& entry : Listing(folder)) {
      if (MatchesDosPattern(entry, name) && !IsFolder(Join(folder, entry))) {
        victims.push_back(Join(folder, entry));
      }
    }
  } else if (!name.empty()) {
    const DWORD attributes = Attributes(Join(folder, name));
    if (Exists(attributes) && !IsDir(attributes)) victims.push_back(Join(folder, name));
  }
  if (victims.empty()) throw FileError(errc::kFileNotFound, pattern);
  for (const std::string& victim : victims) {
    if (ReadOnly(Attributes(victim))) throw FileError(errc::kPathFileAccessError, pattern);
    if (!::DeleteFileA(victim.c_str())) {
      throw FileError(CodeForWin32Error(::GetLastError()), pattern);
    }
  }
}

void Win32FileSystem::MkDir(const std::string& path) {
  const std::string full = FullOrThrow(path);
  if (Exists(Attributes(full))) throw FileError(errc::kPathFileAccessError, path);
  if (!ParentExists(full)) throw FileError(errc::kPathNotFound, path);
  if (!::CreateDirectoryA(full.c_str(), nullptr)) {
    throw FileError(CodeForWin32Error(::GetLastError()), path);
  }
}

void Win32FileSystem::RmDir(const std::string& path) {
  const std::string full = FullOrThrow(path);
  const DWORD attributes = Attributes(full);
  if (!Exists(attributes)) throw FileError(errc::kPathNotFound, path);
  if (!IsDir(attributes) || FolderOf(full) == full) {
    throw FileError(errc::kPathFileAccessError, path);
  }
  if (!::RemoveDirectoryA(full.c_str())) {
    throw FileError(CodeForWin32Error(::GetLastError()), path);
  }
}

void Win32FileSystem::FileCopy(const std::string& from, const std::string& to) {
  const std::string source = FullOrThrow(from);
  const std::string target = FullOrThrow(to);
  const DWORD attributes = Attributes(source);
  if (!Exists(attributes)) throw FileError(errc::kFileNotFound, from);
  if (IsDir(attributes)) throw FileError(errc::kPathFileAccessError, from);
  if (!ParentExists(target)) throw FileError(errc::kPathNotFound, to);
  const DWORD old = Attributes(target);
  if (IsDir(old) || ReadOnly(old) || SameDosName(source, target)) {
    throw FileError(errc::kPathFileAccessError, to);
  }
  // CopyFileA into the temporary file, then renamed over the target: a failed copy leaves the
  // old target whole. The copy carries the source's attributes, as CopyFileA gives them.
  Replacement copy(target);
  copy.CloseHandle();
  if (!::CopyFileA(source.c_str(), copy.temporary().c_str(), FALSE)) {
    throw FileError(CodeForWin32Error(::GetLastError()), from);
  }
  copy.Commit(attributes & kClassicBits);
}

int Win32FileSystem::GetAttr(const std::string& path) {
  const DWORD attributes = Attributes(path);
  if (!Exists(attributes)) throw FileError(errc::kFileNotFound, path);
  return static_cast<int>(attributes & kClassicBits);
}

void Win32FileSystem::SetAttr(const std::string& path, int attributes) {
  constexpr int kSettable = attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;
  if (attributes & ~kSettable) throw FileError(errc::kInvalidProcedureCall, path);
  if (!Exists(Attributes(path))) throw FileError(errc::kFileNotFound, path);
  const DWORD bits = attributes ? static_cast<DWORD>(attributes) : FILE_ATTRIBUTE_NORMAL;
  // The other bits go first while the file is still writable: Wine keeps them in an extended
  // attribute that an ordinary user cannot write once the file is read-only, and would report
  // success while dropping them. On Windows the first call is merely redundant.
  const DWORD before = bits & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if ((bits & FILE_ATTRIBUTE_READONLY) && before != 0 &&
      !::SetFileAttributesA(path.c_str(), before)) {
    throw FileError(CodeForWin32Error(::GetLastError()), path);
  }
  if (!::SetFileAttributesA(path.c_str(), bits)) {
    throw FileError(CodeForWin32Error(::GetLastError()), path);
  }
}

std::uint32_t Win32FileSystem::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  if (!windows_directory_.empty()) return CopyOut(windows_directory_, buffer, size);
  if (buffer == nullptr && size > 0) return 0;
  return ::GetWindowsDirectoryA(buffer, size);
}

std::uint32_t Win32FileSystem::GetShortPathNameA(const char* long_path, char* buffer,
                                                 std::uint32_t size) {
  if (long_path == nullptr || *long_path == '\0') return 0;
  return ::GetShortPathNameA(long_path, buffer, size);
}

}  // namespace vellomar::platform
