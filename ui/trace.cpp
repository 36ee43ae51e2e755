#include "ui/trace.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace vellomar::ui {

namespace {

// JSON string with every byte outside printable ASCII escaped; bytes above 127 are written as
// their Latin-1 code point, so a line stays plain ASCII whatever the text held.
void AppendQuoted(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (byte < 0x20 || byte >= 0x7f) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0xf];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string ValueText(const std::variant<std::string, long, bool>& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<long>(&value)) return std::to_string(*number);
  return std::get<bool>(value) ? "true" : "false";
}

void AppendValue(std::string& out, const std::variant<std::string, long, bool>& value) {
  if (const auto* text = std::get_if<std::string>(&value)) {
    AppendQuoted(out, *text);
  } else {
    out += ValueText(value);
  }
}

std::string Serialize(const TraceEvent& event, bool with_time) {
  std::string out = "{";
  if (with_time) out += "\"t\":" + std::to_string(event.t) + ",";
  out += "\"ev\":";
  AppendQuoted(out, event.ev);
  for (const auto& [key, value] : event.fields) {
    out += ',';
    AppendQuoted(out, key);
    out += ':';
    AppendValue(out, value);
  }
  out += '}';
  return out;
}

// A reader for the flat objects Serialize writes: string, integer and boolean values only.
class LineParser {
 public:
  explicit LineParser(const std::string& line) : line_(line) {}

  TraceEvent Parse() {
    TraceEvent event;
    Expect('{');
    SkipSpace();
    if (Peek() == '}') return event;
    while (true) {
      std::string key = String();
      Expect(':');
      SkipSpace();
      std::variant<std::string, long, bool> value;
      if (Peek() == '"') {
        value = String();
      } else if (Consume("true")) {
        value = true;
      } else if (Consume("false")) {
        value = false;
      } else {
        value = Number();
      }
      if (key == "t" && std::holds_alternative<long>(value)) {
        event.t = std::get<long>(value);
      } else if (key == "ev" && std::holds_alternative<std::string>(value)) {
        event.ev = std::get<std::string>(value);
      } else {
        event.fields.emplace_back(std::move(key), std::move(value));
      }
      SkipSpace();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      Expect('}');
      return event;
    }
  }

 private:
  char Peek() const { return pos_ < line_.size() ? line_[pos_] : '\0'; }
  void SkipSpace() {
    while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) ++pos_;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::invalid_argument("trace line: " + what + " at column " + std::to_string(pos_) +
                                ": " + line_);
  }
  void Expect(char c) {
    SkipSpace();
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }
  bool Consume(const char* word) {
    const std::string w(word);
    if (line_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }
  long Number() {
    const std::size_t start = pos_;
    if (Peek() == '-') ++pos_;
    while (Peek() >= '0' && Peek() <= '9') ++pos_;
    if (pos_ == start || (pos_ == start + 1 && line_[start] == '-')) Fail("expected a value");
    try {
      return std::stol(line_.substr(start, pos_ - start));
    } catch (const std::out_of_range&) {
      Fail("number out of range");
    }
  }
  std::string String() {
    Expect('"');
    std::string out;
    while (true) {
      if (pos_ >= line_.size()) Fail("unterminated string");
      const char c = line_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = Peek();
      ++pos_;
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u':
          out += CodePoint();
          break;
        default:
          Fail("bad escape");
      }
    }
  }
  // \u00XX back to its byte (Latin-1); larger code points as UTF-8.
  std::string CodePoint() {
    if (pos_ + 4 > line_.size()) Fail("short \\u escape");
    unsigned long code = 0;
    for (int i = 0; i < 4; ++i) {
      const char digit = line_[pos_++];
      const std::size_t value =
          std::string_view("0123456789abcdef")
              .find(static_cast<char>(std::tolower(static_cast<unsigned char>(digit))));
      if (value == std::string_view::npos) Fail("bad \\u escape");
      code = code * 16 + value;
    }
    std::string out;
    if (code <= 0xff) {
      out += static_cast<char>(code);
    } else if (code <= 0x7ff) {
      out += static_cast<char>(0xc0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xe0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
    return out;
  }

  const std::string& line_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string TraceEvent::Get(const std::string& key) const {
  if (key == "ev") return ev;
  if (key == "t") return std::to_string(t);
  for (const auto& [name, value] : fields) {
    if (name == key) return ValueText(value);
  }
  return "";
}

std::string TraceEvent::Json() const {
  return Serialize(*this, true);
}
std::string TraceEvent::JsonWithoutTime() const {
  return Serialize(*this, false);
}

Trace Trace::FromEnvironment() {
  const char* path = std::getenv("KESTROM_TRACE");
  if (path == nullptr || *path == '\0') return Trace();
  return Trace(path);
}

// A trace that cannot be opened must not stop the program (it may be holding a lock): the
// failure is said once on stderr and the run goes on.
Trace::Trace(const std::string& path, Keep keep)
    : file_(std::fopen(path.c_str(), "a")), keep_(keep) {
  if (file_ == nullptr) std::fprintf(stderr, "kestrom: cannot open trace file %s\n", path.c_str());
}

Trace::Trace(Trace&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      keep_(other.keep_),
      events_(std::move(other.events_)) {}

Trace::~Trace() {
  if (file_ != nullptr) std::fclose(file_);
}

void Trace::Record(TraceEvent event) {
  if (file_ != nullptr) {
    const std::string line = event.Json() + "\n";
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  }
  if (keep_ == Keep::kEvents) events_.push_back(std::move(event));
}

TraceEvent ParseTraceLine(const std::string& line) {
  return LineParser(line).Parse();
}

}  // namespace vellomar::ui
