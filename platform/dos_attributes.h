#pragma once
// The DOS attributes a Unix file system has no room for (hidden 2, system 4, archive 32), kept in
// the `user.DOSATTRIB` extended attribute the way Wine and Samba keep them. Read-only is not
// stored here: it is the file's write permission.
//
// Format: we write Wine's text form, "0x" and the value in lower-case hex without a NUL ("0x6").
// We read that form, Samba 3's (the same text with a NUL) and Samba 4's NDR blob (a NUL-ended
// hex text, possibly empty, then version and an info structure holding the attribute word).
//
// Host file systems that refuse user extended attributes (tmpfs on older kernels, some network
// mounts) get an in-memory fallback: the bits hold for the life of the process only.

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace vellomar::platform {

inline constexpr char kDosAttribXattr[] = "user.DOSATTRIB";
// The bits this attribute carries.
inline constexpr int kStoredDosBits = 2 | 4 | 32;

// The attribute word held in a user.DOSATTRIB value, or nullopt when the value is not understood.
std::optional<int> ParseDosAttrib(const std::string& value);
// The value written for `bits`: "0x%x".
std::string FormatDosAttrib(int bits);

class DosAttributeStore {
 public:
  explicit DosAttributeStore(bool use_xattrs = true) : use_xattrs_(use_xattrs) {}

  // The stored hidden/system/archive bits of `host`, nullopt when none are stored.
  std::optional<int> Read(const std::filesystem::path& host);
  // Stores `bits` (masked to kStoredDosBits). Returns 0 or the errno of a real failure; a file
  // system without user extended attributes falls back to memory and counts as success.
  int Write(const std::filesystem::path& host, int bits);
  // True once a write had to fall back to memory.
  bool fell_back() const { return fell_back_; }

 private:
  bool use_xattrs_;
  bool fell_back_ = false;
  std::mutex mutex_;
  std::map<std::filesystem::path, int> memory_;
};

}  // namespace vellomar::platform
