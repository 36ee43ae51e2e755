#include "platform/regedit4.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/dos_names.h"

namespace vellomar::platform {
namespace {

constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr char kRoot[] = "HKEY_LOCAL_MACHINE";

std::string TrimRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

std::string TrimLeft(const std::string& text) {
  const std::size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? "" : text.substr(start);
}

// Reads a quoted string starting at text[*pos] == '"'; leaves *pos after the closing quote.
std::optional<std::string> ReadQuoted(const std::string& text, std::size_t* pos) {
  std::string out;
  for (std::size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] == '"') {
      *pos = i + 1;
      return out;
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

std::optional<std::string> ParseHexBytes(const std::string& list) {
  std::string out;
  std::size_t i = 0;
  while (true) {
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i == list.size()) return out;
    std::size_t end = i;
    while (end < list.size() && std::isxdigit(static_cast<unsigned char>(list[end]))) ++end;
    if (end == i || end - i > 2) return std::nullopt;
    out += static_cast<char>(std::strtoul(list.substr(i, end - i).c_str(), nullptr, 16));
    i = end;
    while (i < list.size() && (list[i] == ' ' || list[i] == '\t')) ++i;
    if (i == list.size()) return out;
    if (list[i] != ',') return std::nullopt;
    ++i;
  }
}

std::optional<RegValue> ParseValueLine(const std::string& line) {
  RegValue value;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    std::optional<std::string> name = ReadQuoted(line, &pos);
    if (!name) return std::nullopt;
    value.name = *name;
  }
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  const std::string data = line.substr(pos + 1);
  if (!data.empty() && data[0] == '"') {
    std::size_t end = 0;
    std::optional<std::string> text = ReadQuoted(data, &end);
    if (!text || !TrimLeft(data.substr(end)).empty()) return std::nullopt;
    value.type = kSz;
    value.data = *text + '\0';
    return value;
  }
  const std::string upper = UpperAscii(data);
  if (upper.rfind("DWORD:", 0) == 0) {
    const std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return std::nullopt;
    }
    const std::uint32_t number = std::strtoul(digits.c_str(), nullptr, 16);
    value.type = kDword;
    for (int i = 0; i < 4; ++i) value.data += static_cast<char>((number >> (8 * i)) & 0xff);
    return value;
  }
  std::size_t list_at;
  if (upper.rfind("HEX:", 0) == 0) {
    value.type = kBinary;
    list_at = 4;
  } else if (upper.rfind("HEX(", 0) == 0) {
    const std::size_t close = upper.find("):");
    if (close == std::string::npos || close == 4) return std::nullopt;
    const std::string type = data.substr(4, close - 4);
    if (type.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
    value.type = std::strtoul(type.c_str(), nullptr, 16);
    list_at = close + 2;
  } else {
    return std::nullopt;
  }
  std::optional<std::string> bytes = ParseHexBytes(data.substr(list_at));
  if (!bytes) return std::nullopt;
  value.data = *bytes;
  return value;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

bool FitsQuotedString(const RegValue& value) {
  const std::string& d = value.data;
  if (value.type != kSz || d.empty() || d.back() != '\0') return false;
  return d.find_first_of(std::string("\0\r\n", 3)) == d.size() - 1;
}

std::string HexList(const std::string& bytes) {
  std::string out;
  char hex[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += ',';
    out += hex;
  }
  return out;
}

std::string ValueLine(const RegValue& value) {
  std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
  char buffer[32];
  if (FitsQuotedString(value)) {
    line += "\"" + Escape(value.data.substr(0, value.data.size() - 1)) + "\"";
  } else if (value.type == kDword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    line += buffer;
  } else if (value.type == kBinary) {
    line += "hex:" + HexList(value.data);
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    line += buffer + HexList(value.data);
  }
  return line;
}

}  // namespace

RegKey* RegFile::FindKey(const std::string& path) {
  for (RegKey& key : keys) {
    if (SameDosName(key.path, path)) return &key;
  }
  return nullptr;
}

bool RegFile::KeyExists(const std::string& path) const {
  const std::string wanted = UpperAscii(path);
  if (wanted == kRoot) return true;
  for (const RegKey& key : keys) {
    const std::string have = UpperAscii(key.path);
    if (have == wanted || have.rfind(wanted + "\\", 0) == 0) return true;
  }
  return false;
}

RegKey& RegFile::SectionFor(const std::string& path) {
  if (RegKey* key = FindKey(path)) return *key;
  keys.push_back(RegKey{path, {}});
  return keys.back();
}

RegValue* FindValue(RegKey& key, const std::string& name) {
  for (RegValue& value : key.values) {
    if (SameDosName(value.name, name)) return &value;
  }
  return nullptr;
}

std::optional<RegFile> ParseRegedit4(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(TrimRight(text.substr(start, end - start)));
    start = end + 1;
  }
  if (lines.empty() || lines[0] != "REGEDIT4") return std::nullopt;

  RegFile file;
  RegKey* current = nullptr;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string line = TrimLeft(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return std::nullopt;
      const std::string path = line.substr(1, line.size() - 2);
      const std::string upper = UpperAscii(path);
      if (upper.rfind("HKEY_", 0) != 0) return std::nullopt;
      current = &file.SectionFor(path);
      continue;
    }
    if ((line[0] != '"' && line[0] != '@') || current == nullptr) return std::nullopt;
    // A hex list continues on the next line after a trailing backslash.
    while (line.back() == '\\' && UpperAscii(line).find("=HEX") != std::string::npos &&
           i + 1 < lines.size()) {
      line.pop_back();
      line += TrimLeft(lines[++i]);
    }
    std::optional<RegValue> value = ParseValueLine(line);
    if (!value) return std::nullopt;
    if (RegValue* old = FindValue(*current, value->name)) {
      *old = *value;
    } else {
      current->values.push_back(*value);
    }
  }
  return file;
}

std::string SerializeRegedit4(const RegFile& file) {
  std::string out = "REGEDIT4\r\n";
  for (const RegKey& key : file.keys) {
    out += "\r\n[" + key.path + "]\r\n";
    for (const RegValue& value : key.values) out += ValueLine(value) + "\r\n";
  }
  out += "\r\n";
  return out;
}

}  // namespace vellomar::platform
