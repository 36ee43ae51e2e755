#pragma once
// Pieces of the file and shortcut services that both machines share (the emulated one over a
// host folder, the Win32 one over the real API): the classic run-time errors, line reading over
// any byte source, and the path arithmetic of Kill and fCreateShellLink. Internal to platform/.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/errors.h"

namespace vellomar::platform {

// A run-time error with the classic message for `code`, naming `what`.
RuntimeError FileError(int code, const std::string& what);

// Reads lines from a byte source in chunks. `read` fills up to `size` bytes and returns how many
// it gave (0 at the end); it throws when the source fails.
class LineReader {
 public:
  explicit LineReader(std::function<std::size_t(char* buffer, std::size_t size)> read);
  // True when no byte is left.
  bool AtEnd() { return !Fill(); }
  // The next line up to CR, LF or CR LF (not included), read to its end; nothing when it is
  // longer than `limit` (the rest of the line is then unread). Must not be called at the end.
  std::optional<std::string> Next(std::size_t limit);

 private:
  bool Fill();  // makes unread bytes available; false at the end

  std::function<std::size_t(char*, std::size_t)> read_;
  std::string buffer_;
  std::size_t pos_ = 0;
};

// Splits "C:\folder\*.lnk" into "C:\folder" and "*.lnk"; a bare name's folder is ".".
void SplitLast(const std::string& path, std::string* folder, std::string* name);

// `base` joined with `folder` ("\Vellomar", "..\..\Desktop"), unless `folder` carries its own
// drive; "." and ".." are folded and never climb above the drive's root.
std::string ResolveFolder(const std::string& base, const std::string& folder);
// The folder part of a DOS path, with the root keeping its backslash ("C:\kestrom.exe" -> "C:\").
std::string FolderOf(const std::string& dos_path);
// A shortcut name Windows accepts: not empty, no control character and none of \/:*?"<>|.
bool IsValidLinkName(const std::string& name);

}  // namespace vellomar::platform
