#include "platform/dos_attributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vellomar::platform {
namespace {

bool Unsupported(int error_number) {
  return error_number == ENOTSUP || error_number == EPERM;
}

std::uint32_t ReadLe(const std::string& data, std::size_t pos, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(data[pos + i]);
  }
  return value;
}

// Samba 4's xattr_DOSATTRIB: NUL-ended hex text, align 2, uint16 version, uint16 union level,
// align 4, then the info structure of that version.
std::optional<int> ParseNdrBlob(const std::string& data) {
  const std::size_t nul = data.find('\0');
  if (nul == std::string::npos) return std::nullopt;
  std::size_t pos = (nul + 2) & ~std::size_t{1};
  if (data.size() < pos + 4) return std::nullopt;
  const std::uint32_t version = ReadLe(data, pos, 2);
  pos = (pos + 4 + 3) & ~std::size_t{3};
  std::size_t attrib_at;
  switch (version) {
    case 1:  // attrib first
      attrib_at = pos;
      break;
    case 2:  // flags, attrib
    case 3:  // valid_flags, attrib, ...
    case 4:
    case 5:
      attrib_at = pos + 4;
      break;
    default:
      return std::nullopt;
  }
  if (data.size() < attrib_at + 4) return std::nullopt;
  return static_cast<int>(ReadLe(data, attrib_at, 4));
}

}  // namespace

std::optional<int> ParseDosAttrib(const std::string& value) {
  if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    const std::string text = value.substr(0, value.find('\0'));
    char* end = nullptr;
    const long bits = std::strtol(text.c_str(), &end, 16);
    if (end != text.c_str() + 2 && *end == '\0') return static_cast<int>(bits);
    return std::nullopt;
  }
  return ParseNdrBlob(value);
}

std::string FormatDosAttrib(int bits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(bits));
  return text;
}

std::optional<int> DosAttributeStore::Read(const std::filesystem::path& host) {
  if (use_xattrs_) {
    char data[256];
    const ssize_t size = getxattr(host.c_str(), kDosAttribXattr, data, sizeof data);
    if (size >= 0) {
      const std::optional<int> bits = ParseDosAttrib(std::string(data, size));
      if (bits) return *bits & kStoredDosBits;
      return std::nullopt;
    }
    if (!Unsupported(errno)) return std::nullopt;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = memory_.find(host);
  if (it == memory_.end()) return std::nullopt;
  return it->second;
}

int DosAttributeStore::Write(const std::filesystem::path& host, int bits) {
  bits &= kStoredDosBits;
  if (use_xattrs_) {
    const std::string value = FormatDosAttrib(bits);
    if (setxattr(host.c_str(), kDosAttribXattr, value.data(), value.size(), 0) == 0) return 0;
    if (!Unsupported(errno)) return errno;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  fell_back_ = true;
  memory_[host] = bits;
  return 0;
}

}  // namespace vellomar::platform
