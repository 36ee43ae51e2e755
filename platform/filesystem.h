#pragma once
// The file services the forms use, in DOS terms: paths are DOS paths ("C:\WINDOWS\Desktop"),
// relative paths are taken against the current directory, files are addressed by number.
// Every failure throws RuntimeError with the code Windows would give.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vellomar::platform {

enum class OpenMode { Input, Output };

// File attribute bits, as GetAttr/SetAttr use them.
namespace attr {
constexpr int kNormal = 0;
constexpr int kReadOnly = 1;
constexpr int kHidden = 2;
constexpr int kSystem = 4;
constexpr int kDirectory = 16;
constexpr int kArchive = 32;
}  // namespace attr

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The current directory as a DOS path, without a trailing backslash except at a drive's root.
  virtual std::string CurDir() const = 0;
  // Changes the current directory (tests and the start-up runner use it).
  virtual void ChDir(const std::string& path) = 0;

  // Opens `path` as file `number`. Input reads from the start (53 when missing, 75 for a
  // directory or anything else that is not a plain file, such as a device or a pipe); Output
  // empties the file, but the old content stays whole on disk until Close replaces it atomically
  // (75 when the file or its folder is read-only, 76 for a missing folder).
  virtual void Open(int number, const std::string& path, OpenMode mode) = 0;
  // Reads one line up to CR, LF or CR LF (not included); 62 at end of file.
  virtual std::string LineInput(int number) = 0;
  // The same for a line that must not be longer than `limit` bytes: nothing when it is (the rest
  // of the file is then unread), after reading no more than about that much.
  virtual std::optional<std::string> LineInputAtMost(int number, std::size_t limit) {
    std::string line = LineInput(number);
    if (line.size() > limit) return std::nullopt;
    return line;
  }
  // Writes `text` followed by CR LF.
  virtual void PrintLine(int number, const std::string& text) = 0;
  virtual bool Eof(int number) = 0;
  // Closes `number`; for an output file this is when the new content replaces the old one.
  // Closing a number that is not open is no error.
  virtual void Close(int number) = 0;

  // Deletes files; the last component may hold * and ? wildcards. No match is error 53.
  virtual void Kill(const std::string& pattern) = 0;
  virtual void MkDir(const std::string& path) = 0;  // 75 when it exists, 76 missing parent
  virtual void RmDir(const std::string& path) = 0;  // 75 when not empty, 76 missing
  // Copies a whole file over its target.
  virtual void FileCopy(const std::string& from, const std::string& to) = 0;
  virtual int GetAttr(const std::string& path) = 0;
  virtual void SetAttr(const std::string& path, int attributes) = 0;

  // GetWindowsDirectoryA: copies the Windows directory with its NUL into `buffer`, returns its
  // length; when `size` is too small returns the size needed (NUL included); 0 on failure.
  virtual std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) = 0;
  // GetShortPathNameA: the 8.3 form of an existing path. Returns its length (without NUL) when it
  // fits, the size needed (with NUL) when it does not, 0 on failure (missing path).
  virtual std::uint32_t GetShortPathNameA(const char* long_path, char* buffer,
                                          std::uint32_t size) = 0;
};

}  // namespace vellomar::platform
