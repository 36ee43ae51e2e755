#pragma once
// The registry's file format, REGEDIT4, as regedit of Windows 95/98 exports it:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUNSERVICES]
//   "Vellomar"="C:\\Program Files\\Vellomar\\kestrom.exe /SU:..."
//   "Count"=dword:0000002a
//   @="the default value"
//   "Other"=hex(2):41,42,00
//
// Strings escape only backslash and quotation mark. A value a quoted string cannot hold exactly
// (a REG_SZ without its single trailing NUL, with an inner NUL or a line break, any other type)
// is written as hex(N): with its exact bytes; REG_BINARY as hex:. Hex lists may continue on the
// next line after a trailing backslash. Lines end in CR LF when written; LF alone is read too.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellomar::platform {

struct RegValue {
  std::string name;  // empty for the default value "@"
  std::uint32_t type = 0;
  std::string data;  // exact bytes, as RegQueryValueExA returns them
};

struct RegKey {
  std::string path;  // full name, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT"
  std::vector<RegValue> values;
};

struct RegFile {
  std::vector<RegKey> keys;  // in file order

  // The section named `path` (case-insensitive), or nullptr.
  RegKey* FindKey(const std::string& path);
  // True when `path` has a section or is the ancestor of one; the root always exists.
  bool KeyExists(const std::string& path) const;
  // The section for an existing key, appended when the key so far only had sub-keys.
  RegKey& SectionFor(const std::string& path);
};

RegValue* FindValue(RegKey& key, const std::string& name);

// nullopt when the text is not a well-formed REGEDIT4 file.
std::optional<RegFile> ParseRegedit4(const std::string& text);
std::string SerializeRegedit4(const RegFile& file);

}  // namespace vellomar::platform
