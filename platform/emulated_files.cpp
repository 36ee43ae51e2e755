// The file services of the emulated machine: files by number, deletion with wildcards, folders,
// copies, attributes, the Windows directory and short names. Failures are the run-time errors a
// Windows 9x program would get.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/dos_names.h"
#include "platform/emulated_parts.h"
#include "platform/file_parts.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

namespace {

constexpr int kMaxFileNumber = 511;
constexpr std::size_t kCopyChunk = 64 * 1024;

bool Stat(const fs::path& host, struct stat* st) {
  return stat(host.c_str(), st) == 0;
}
bool IsDir(const fs::path& host) {
  struct stat st {};
  return Stat(host, &st) && S_ISDIR(st.st_mode);
}
bool ReadOnly(const struct stat& st) {
  return (st.st_mode & 0222) == 0;
}

RuntimeError FromReplaceError(const ReplaceError& error) {
  return FileError(CodeForErrno(error.error_number()), error.what());
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int CodeForErrno(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return errc::kPathNotFound;
    case ENOSPC:
    case EDQUOT:
      return errc::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ENOTEMPTY:
    case EEXIST:
    case EBUSY:
      return errc::kPathFileAccessError;
    default:
      return errc::kDeviceIoError;
  }
}

struct EmulatedFileSystem::OpenFile {
  OpenMode mode = OpenMode::Input;
  fs::path host;
  std::string name;  // as the caller wrote it, for messages
  // Input
  int fd = -1;
  std::unique_ptr<LineReader> reader;
  // Output
  std::unique_ptr<AtomicFile> out;
  bool broken = false;  // a write failed: Close drops the new content

  ~OpenFile() {
    if (fd >= 0) close(fd);
  }
};

EmulatedFileSystem::EmulatedFileSystem(DosPaths& paths, std::shared_ptr<ReplaceFaults> faults,
                                       DesktopTwins* twins)
    : paths_(paths), faults_(std::move(faults)), twins_(twins) {}

// Open output files that were never closed are abandoned here: their targets stay untouched.
EmulatedFileSystem::~EmulatedFileSystem() = default;

ResolvedPath EmulatedFileSystem::ResolveOrThrow(const std::string& path,
                                                int missing_drive_code) const {
  ResolvedPath resolved = paths_.Resolve(path);
  if (!resolved.valid) throw FileError(missing_drive_code, path);
  return resolved;
}

std::string EmulatedFileSystem::CurDir() const {
  return paths_.CurDir();
}

void EmulatedFileSystem::ChDir(const std::string& path) {
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kPathNotFound);
  if (!IsDir(resolved.host)) throw FileError(errc::kPathNotFound, path);
  paths_.SetCurrent(resolved);
}

EmulatedFileSystem::OpenFile& EmulatedFileSystem::Number(int number) {
  const auto it = open_.find(number);
  if (it == open_.end()) {
    throw FileError(errc::kBadFileNameOrNumber, "file #" + std::to_string(number));
  }
  return *it->second;
}

void EmulatedFileSystem::Open(int number, const std::string& path, OpenMode mode) {
  if (number < 1 || number > kMaxFileNumber) {
    throw FileError(errc::kBadFileNameOrNumber, "file #" + std::to_string(number));
  }
  if (open_.count(number)) throw FileError(errc::kFileAlreadyOpen, path);
  if (path.empty()) throw FileError(errc::kPathFileAccessError, "(empty name)");
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kPathNotFound);
  if (!IsDir(resolved.host.parent_path())) throw FileError(errc::kPathNotFound, path);
  for (const auto& [other, file] : open_) {
    if (file->host == resolved.host &&
        (mode == OpenMode::Output || file->mode == OpenMode::Output)) {
      throw FileError(errc::kFileAlreadyOpen, path);
    }
  }

  auto file = std::make_unique<OpenFile>();
  file->mode = mode;
  file->host = resolved.host;
  file->name = path;
  struct stat st {};
  const bool exists = Stat(resolved.host, &st);
  if (exists && S_ISDIR(st.st_mode)) throw FileError(errc::kPathFileAccessError, path);

  if (mode == OpenMode::Input) {
    if (!exists) throw FileError(errc::kFileNotFound, path);
    // Never waits: a pipe without a writer would block the open, and a device or a pipe would
    // feed reads that never end. Only a plain file is read.
    file->fd = open(resolved.host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (file->fd < 0) throw FileError(CodeForErrno(errno), path);
    struct stat opened {};
    if (fstat(file->fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      throw FileError(errc::kPathFileAccessError, path);
    }
    file->reader = std::make_unique<LineReader>(
        [fd = file->fd, path](char* buffer, std::size_t size) -> std::size_t {
          ssize_t n;
          do {
            n = read(fd, buffer, size);
          } while (n < 0 && errno == EINTR);
          if (n < 0) throw FileError(errc::kDeviceIoError, path);
          return static_cast<std::size_t>(n);
        });
  } else {
    if (exists && ReadOnly(st)) throw FileError(errc::kPathFileAccessError, path);
    try {
      file->out = std::make_unique<AtomicFile>(resolved.host, resolved.host, faults_);
    } catch (const ReplaceError& error) {
      throw FromReplaceError(error);
    }
  }
  open_[number] = std::move(file);
}

std::string EmulatedFileSystem::LineInput(int number) {
  return *LineInputAtMost(number, std::string::npos);
}

std::optional<std::string> EmulatedFileSystem::LineInputAtMost(int number, std::size_t limit) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Input) throw FileError(errc::kBadFileMode, file.name);
  if (file.reader->AtEnd()) throw FileError(errc::kInputPastEndOfFile, file.name);
  return file.reader->Next(limit);
}

void EmulatedFileSystem::PrintLine(int number, const std::string& text) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Output) throw FileError(errc::kBadFileMode, file.name);
  if (file.broken) throw FileError(errc::kDeviceIoError, file.name);
  try {
    file.out->Write(text);
    file.out->Write("\r\n", 2);
  } catch (const ReplaceError& error) {
    file.broken = true;
    throw FromReplaceError(error);
  }
}

bool EmulatedFileSystem::Eof(int number) {
  OpenFile& file = Number(number);
  if (file.mode != OpenMode::Input) throw FileError(errc::kBadFileMode, file.name);
  return file.reader->AtEnd();
}

void EmulatedFileSystem::Close(int number) {
  const auto it = open_.find(number);
  if (it == open_.end()) return;
  std::unique_ptr<OpenFile> file = std::move(it->second);
  open_.erase(it);
  if (file->mode != OpenMode::Output) return;
  if (file->broken) {
    file->out->Abandon();  // the failed write was reported when it happened
    return;
  }
  try {
    file->out->Commit();
  } catch (const ReplaceError& error) {
    throw FromReplaceError(error);
  }
}

void EmulatedFileSystem::Kill(const std::string& pattern) {
  std::string folder_text, name;
  SplitLast(pattern, &folder_text, &name);
  const ResolvedPath folder = ResolveOrThrow(folder_text, errc::kPathNotFound);
  if (!IsDir(folder.host)) throw FileError(errc::kPathNotFound, pattern);

  std::vector<fs::path> victims;
  if (HasWildcards(name)) {
    for (const std::string& entry : Listing(folder.host)) {
      if (MatchesDosPattern(entry, name) && !IsDir(folder.host / entry)) {
        victims.push_back(folder.host / entry);
      }
    }
  } else if (!name.empty()) {
    const fs::path host = folder.host / DosPaths::MatchEntry(folder.host, name);
    struct stat st {};
    if (lstat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) victims.push_back(host);
  }
  if (victims.empty()) throw FileError(errc::kFileNotFound, pattern);
  for (const fs::path& victim : victims) {
    struct stat st {};
    if (Stat(victim, &st) && ReadOnly(st)) throw FileError(errc::kPathFileAccessError, pattern);
    if (unlink(victim.c_str()) != 0) throw FileError(CodeForErrno(errno), pattern);
    if (twins_ && SameDosName(victim.extension().string(), ".lnk")) twins_->LinkDeleted(victim);
  }
}

void EmulatedFileSystem::MkDir(const std::string& path) {
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kPathNotFound);
  struct stat st {};
  if (resolved.components.empty() || Stat(resolved.host, &st)) {
    throw FileError(errc::kPathFileAccessError, path);
  }
  if (!IsDir(resolved.host.parent_path())) throw FileError(errc::kPathNotFound, path);
  // The user's alone, as every file the emulation writes (atomic_file.cpp says why).
  if (mkdir(resolved.host.c_str(), 0700) != 0) throw FileError(CodeForErrno(errno), path);
}

void EmulatedFileSystem::RmDir(const std::string& path) {
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kPathNotFound);
  struct stat st {};
  if (!Stat(resolved.host, &st)) throw FileError(errc::kPathNotFound, path);
  if (!S_ISDIR(st.st_mode) || resolved.components.empty()) {
    throw FileError(errc::kPathFileAccessError, path);
  }
  if (rmdir(resolved.host.c_str()) != 0) throw FileError(CodeForErrno(errno), path);
}

void EmulatedFileSystem::FileCopy(const std::string& from, const std::string& to) {
  const ResolvedPath source = ResolveOrThrow(from, errc::kPathNotFound);
  const ResolvedPath target = ResolveOrThrow(to, errc::kPathNotFound);
  struct stat st {};
  if (!Stat(source.host, &st)) throw FileError(errc::kFileNotFound, from);
  if (S_ISDIR(st.st_mode)) throw FileError(errc::kPathFileAccessError, from);
  if (!IsDir(target.host.parent_path())) throw FileError(errc::kPathNotFound, to);
  struct stat old {};
  if (Stat(target.host, &old)) {
    if (S_ISDIR(old.st_mode) || ReadOnly(old) ||
        (old.st_dev == st.st_dev && old.st_ino == st.st_ino)) {
      throw FileError(errc::kPathFileAccessError, to);
    }
  }
  const int fd = open(source.host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError(CodeForErrno(errno), from);
  try {
    AtomicFile copy(target.host, source.host, faults_);
    std::string chunk(kCopyChunk, '\0');
    while (true) {
      const ssize_t n = read(fd, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        close(fd);
        throw FileError(errc::kDeviceIoError, from);
      }
      if (n == 0) break;
      copy.Write(chunk.data(), static_cast<std::size_t>(n));
    }
    close(fd);
    copy.Commit();
  } catch (const ReplaceError& error) {
    close(fd);
    throw FromReplaceError(error);
  }
}

int EmulatedFileSystem::GetAttr(const std::string& path) {
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kFileNotFound);
  struct stat st {};
  if (resolved.components.empty() && Stat(resolved.host, &st)) return attr::kDirectory;
  if (!Stat(resolved.host, &st)) throw FileError(errc::kFileNotFound, path);
  const std::optional<int> stored = attributes_.Read(resolved.host);
  int bits = 0;
  if (S_ISDIR(st.st_mode)) {
    bits = attr::kDirectory | stored.value_or(0);
  } else {
    // A file nothing has marked yet reads as Windows shows a freshly written file: archive.
    bits = stored.value_or(attr::kArchive);
  }
  if (ReadOnly(st)) bits |= attr::kReadOnly;
  return bits;
}

void EmulatedFileSystem::SetAttr(const std::string& path, int attributes) {
  constexpr int kSettable = attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;
  if (attributes & ~kSettable) throw FileError(errc::kInvalidProcedureCall, path);
  const ResolvedPath resolved = ResolveOrThrow(path, errc::kFileNotFound);
  struct stat st {};
  if (!Stat(resolved.host, &st)) throw FileError(errc::kFileNotFound, path);
  if (S_ISDIR(st.st_mode)) {
    // Folders keep their write permission: read-only does not stop files being made in them.
    if (const int error = attributes_.Write(resolved.host, attributes)) {
      throw FileError(CodeForErrno(error), path);
    }
    return;
  }
  // Read-only is the write permission; clearing it gives write back to whoever may read. The
  // extended attribute can only be written while the file is writable, so that comes first.
  const mode_t old_mode = st.st_mode & 07777;
  mode_t mode = old_mode;
  if (attributes & attr::kReadOnly) {
    mode &= ~mode_t{0222};
  } else if (ReadOnly(st)) {
    mode |= 0200 | ((mode & 0044) >> 1);
  }
  const bool unlock = ReadOnly(st);
  if (unlock && chmod(resolved.host.c_str(), old_mode | 0200) != 0) {
    throw FileError(CodeForErrno(errno), path);
  }
  const int error = attributes_.Write(resolved.host, attributes);
  if ((unlock || mode != old_mode) && chmod(resolved.host.c_str(), error ? old_mode : mode) != 0) {
    throw FileError(CodeForErrno(errno), path);
  }
  if (error) throw FileError(CodeForErrno(error), path);
}

std::uint32_t EmulatedFileSystem::GetWindowsDirectoryA(char* buffer, std::uint32_t size) {
  const std::uint32_t length = sizeof kWindowsDirectory - 1;
  if (buffer == nullptr && size > 0) return 0;
  if (size <= length) return length + 1;
  std::memcpy(buffer, kWindowsDirectory, length + 1);
  return length;
}

std::uint32_t EmulatedFileSystem::GetShortPathNameA(const char* long_path, char* buffer,
                                                    std::uint32_t size) {
  if (long_path == nullptr || *long_path == '\0') return 0;
  std::string text = long_path;
  std::replace(text.begin(), text.end(), '/', '\\');

  // The prefix (drive, root) is kept as written; each component after it is shortened.
  std::size_t at = 0;
  if (text.size() >= 2 && text[1] == ':') at = 2;
  if (at < text.size() && text[at] == '\\') ++at;
  const ResolvedPath base = paths_.Resolve(at == 0 ? std::string(".") : text.substr(0, at));
  if (!base.valid || !IsDir(base.host)) return 0;

  std::string result = text.substr(0, at);
  fs::path host = base.host;
  std::size_t start = at;
  while (start < text.size()) {
    std::size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(start, end - start);
    if (part.empty()) {
      // A doubled or trailing backslash is kept as written.
    } else if (part == "." || part == "..") {
      host = part == "." ? host : host.parent_path();
      result += part;
    } else {
      const std::string entry = DosPaths::MatchEntry(host, part);
      struct stat st {};
      if (!Stat(host / entry, &st)) return 0;
      result += ShortNameIn(entry, Listing(host));
      host /= entry;
    }
    if (end < text.size()) result += '\\';
    start = end + 1;
  }

  const auto length = static_cast<std::uint32_t>(result.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, result.c_str(), length + 1);
  return length;
}

}  // namespace vellomar::platform
