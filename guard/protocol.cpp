#include "guard/protocol.h"

#include <charconv>
#include <cstdio>

namespace vellomar::guard {
namespace {

// A lock window and a few message boxes over it; far more than any lock shows.
constexpr std::size_t kMaxWindows = 16;

}  // namespace

// Plain C conversions: no stream and no locale in the guard, which must stay small.
std::string FormatCover(const Cover& cover) {
  char field[64];
  std::snprintf(field, sizeof field, "cover %lu %lu %zu", cover.parent, cover.pixel,
                cover.windows.size());
  std::string line = field;
  for (const CoverWindow& w : cover.windows) {
    std::snprintf(field, sizeof field, " %lu %d %d %d %d", w.window, w.x, w.y, w.width, w.height);
    line += field;
  }
  return line;
}

namespace {

// Reads the next number of `text` at `at` (after one space); false when there is none.
template <typename Number>
bool NextNumber(const std::string& text, std::size_t& at, Number& value) {
  if (at >= text.size() || text[at] != ' ') return false;
  const char* begin = text.data() + at + 1;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  if (error != std::errc() || end == begin) return false;
  at = static_cast<std::size_t>(end - text.data());
  return true;
}

}  // namespace

std::optional<Cover> ParseCover(const std::string& line) {
  constexpr char kWord[] = "cover";
  if (line.compare(0, sizeof kWord - 1, kWord) != 0) return std::nullopt;
  std::size_t at = sizeof kWord - 1;
  Cover cover;
  std::size_t count = 0;
  if (!NextNumber(line, at, cover.parent) || !NextNumber(line, at, cover.pixel) ||
      !NextNumber(line, at, count) || count > kMaxWindows) {
    return std::nullopt;
  }
  for (std::size_t i = 0; i < count; ++i) {
    CoverWindow w;
    if (!NextNumber(line, at, w.window) || !NextNumber(line, at, w.x) ||
        !NextNumber(line, at, w.y) || !NextNumber(line, at, w.width) ||
        !NextNumber(line, at, w.height) || w.width < 1 || w.height < 1) {
      return std::nullopt;
    }
    cover.windows.push_back(w);
  }
  if (at != line.size()) return std::nullopt;  // more than the count said
  return cover;
}

namespace {
constexpr char kCommandPrefix[] = "command ";
constexpr char kRecordPrefix[] = "record ";
constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string FormatHex(const char* prefix, const std::string& bytes) {
  std::string line = prefix;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    line += kHexDigits[byte >> 4];
    line += kHexDigits[byte & 0xf];
  }
  return line;
}

// The bytes after `prefix`; nothing for another line or malformed (upper-case, odd) hex.
std::optional<std::string> ParseHex(const std::string& prefix, const std::string& line) {
  if (line.compare(0, prefix.size(), prefix) != 0 || (line.size() - prefix.size()) % 2 != 0) {
    return std::nullopt;
  }
  std::string bytes;
  for (std::size_t i = prefix.size(); i < line.size(); i += 2) {
    const int high = HexValue(line[i]), low = HexValue(line[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}
}  // namespace

std::string FormatCommand(const std::string& command_line) {
  return FormatHex(kCommandPrefix, command_line);
}

std::optional<std::string> ParseCommand(const std::string& line) {
  return ParseHex(kCommandPrefix, line);
}

std::string FormatRecord(const std::string& record) {
  return FormatHex(kRecordPrefix, record);
}

std::optional<std::string> ParseRecord(const std::string& line) {
  return ParseHex(kRecordPrefix, line);
}

void LineReader::Add(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n') {
      if (!skipping_) lines_.push_back(std::move(pending_));
      pending_.clear();
      skipping_ = false;
    } else if (!skipping_) {
      pending_ += c;
      if (pending_.size() > kMaxLineSize) {
        pending_.clear();
        skipping_ = true;
      }
    }
  }
}

std::optional<std::string> LineReader::Next() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.erase(lines_.begin());
  return line;
}

}  // namespace vellomar::guard
