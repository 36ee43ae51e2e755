#include "platform/file_parts.h"

#include <algorithm>
#include <vector>

namespace vellomar::platform {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

const char* Message(int code) {
  switch (code) {
    case errc::kInvalidProcedureCall:
      return "Invalid procedure call or argument";
    case errc::kBadFileNameOrNumber:
      return "Bad file name or number";
    case errc::kFileNotFound:
      return "File not found";
    case errc::kBadFileMode:
      return "Bad file mode";
    case errc::kFileAlreadyOpen:
      return "File already open";
    case errc::kDeviceIoError:
      return "Device I/O error";
    case errc::kDiskFull:
      return "Disk full";
    case errc::kInputPastEndOfFile:
      return "Input past end of file";
    case errc::kBadFileName:
      return "Bad file name";
    case errc::kPermissionDenied:
      return "Permission denied";
    case errc::kPathFileAccessError:
      return "Path/File access error";
    case errc::kPathNotFound:
      return "Path not found";
  }
  return "Run-time error";
}

}  // namespace

RuntimeError FileError(int code, const std::string& what) {
  return RuntimeError(code, std::string(Message(code)) + ": " + what);
}

LineReader::LineReader(std::function<std::size_t(char*, std::size_t)> read)
    : read_(std::move(read)) {}

bool LineReader::Fill() {
  if (pos_ < buffer_.size()) return true;
  buffer_.resize(kReadChunk);
  std::size_t n = 0;
  try {
    n = read_(buffer_.data(), buffer_.size());
  } catch (...) {
    buffer_.clear();
    pos_ = 0;
    throw;
  }
  buffer_.resize(n);
  pos_ = 0;
  return n > 0;
}

std::optional<std::string> LineReader::Next(std::size_t limit) {
  std::string line;
  while (Fill()) {
    const char* begin = buffer_.data() + pos_;
    const char* end = buffer_.data() + buffer_.size();
    const char* stop = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
    line.append(begin, stop);
    if (line.size() > limit) {
      pos_ = static_cast<std::size_t>(stop - buffer_.data());
      return std::nullopt;
    }
    if (stop == end) {
      pos_ = buffer_.size();
      continue;
    }
    pos_ = static_cast<std::size_t>(stop - buffer_.data()) + 1;
    if (*stop == '\r' && Fill() && buffer_[pos_] == '\n') ++pos_;
    break;
  }
  return line;
}

void SplitLast(const std::string& path, std::string* folder, std::string* name) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) {
    *folder = path.substr(0, slash == 0 || (slash == 2 && path[1] == ':') ? slash + 1 : slash);
    *name = path.substr(slash + 1);
  } else if (path.size() >= 2 && path[1] == ':') {
    *folder = path.substr(0, 2);
    *name = path.substr(2);
  } else {
    *folder = ".";
    *name = path;
  }
}

std::string ResolveFolder(const std::string& base, const std::string& folder) {
  const auto has_drive = [](const std::string& p) { return p.size() >= 2 && p[1] == ':'; };
  const std::string joined = has_drive(folder) ? folder : base + "\\" + folder;
  const std::string drive = has_drive(joined) ? joined.substr(0, 2) : "";

  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = drive.size(); i <= joined.size(); ++i) {
    if (i < joined.size() && joined[i] != '\\' && joined[i] != '/') {
      part += joined[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string out = drive;
  for (const std::string& p : parts) out += "\\" + p;
  return parts.empty() ? out + "\\" : out;
}

std::string FolderOf(const std::string& dos_path) {
  const std::size_t slash = dos_path.find_last_of('\\');
  if (slash == std::string::npos) return "";
  if (slash == 2 && dos_path[1] == ':') return dos_path.substr(0, 3);
  return dos_path.substr(0, slash);
}

bool IsValidLinkName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos) {
      return false;
    }
  }
  return true;
}

}  // namespace vellomar::platform
