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
constexpr char kCommandWord[] = "command";
constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

std::string FormatHexLine(const std::string& word, const std::string& text) {
  std::string line = word + ' ';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    line += kHexDigits[byte >> 4];
    line += kHexDigits[byte & 0xf];
  }
  return line;
}

std::optional<std::string> ParseHexLine(const std::string& word, const std::string& line) {
  const std::size_t prefix = word.size() + 1;
  if (line.size() < prefix || line.compare(0, word.size(), word) != 0 || line[word.size()] != ' ' ||
      (line.size() - prefix) % 2 != 0) {
    return std::nullopt;
  }
  std::string text;
  for (std::size_t i = prefix; i < line.size(); i += 2) {
    const int high = HexValue(line[i]), low = HexValue(line[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    text += static_cast<char>(high * 16 + low);
  }
  return text;
}

std::string FormatCommand(const std::string& command_line) {
  return FormatHexLine(kCommandWord, command_line);
}

std::optional<std::string> ParseCommand(const std::string& line) {
  return ParseHexLine(kCommandWord, line);
}

std::string FormatRecord(const std::string& record) {
  return FormatHexLine(kRecordWord, record);
}

std::optional<std::string> ParseRecord(const std::string& line) {
  return ParseHexLine(kRecordWord, line);
}

std::string FormatArea(const std::optional<Area>& area) {
  if (!area) return "area none";
  char line[96];
  std::snprintf(line, sizeof line, "area %d %d %d %d %lu", area->x, area->y, area->width,
                area->height, area->pixel);
  return line;
}

std::optional<std::optional<Area>> ParseArea(const std::string& line) {
  if (line == "area none") return std::optional<std::optional<Area>>(std::in_place);
  constexpr char kWord[] = "area";
  if (line.compare(0, sizeof kWord - 1, kWord) != 0) return std::nullopt;
  std::size_t at = sizeof kWord - 1;
  Area area;
  if (!NextNumber(line, at, area.x) || !NextNumber(line, at, area.y) ||
      !NextNumber(line, at, area.width) || !NextNumber(line, at, area.height) ||
      !NextNumber(line, at, area.pixel) || at != line.size() || area.width < 1 || area.height < 1) {
    return std::nullopt;
  }
  return std::optional<Area>(area);
}

std::string FormatKey(const Key& key) {
  char line[96];
  std::snprintf(line, sizeof line, "key %d %u %u %lu", key.press ? 1 : 0, key.keycode, key.state,
                key.time);
  return line;
}

std::optional<Key> ParseKey(const std::string& line) {
  constexpr char kWord[] = "key";
  if (line.compare(0, sizeof kWord - 1, kWord) != 0) return std::nullopt;
  std::size_t at = sizeof kWord - 1;
  Key key;
  int press = 0;
  if (!NextNumber(line, at, press) || press < 0 || press > 1 ||
      !NextNumber(line, at, key.keycode) || !NextNumber(line, at, key.state) ||
      !NextNumber(line, at, key.time) || at != line.size()) {
    return std::nullopt;
  }
  key.press = press == 1;
  return key;
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
