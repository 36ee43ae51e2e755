#pragma once
// The trace: one JSON object per observable change, so that a headless transcript and a real run
// can be compared. Events:
//   {"t":MS,"ev":"show","form":NAME,"modal":BOOL}   {"t":MS,"ev":"hide","form":NAME}
//   {"t":MS,"ev":"unload","form":NAME}
//   {"t":MS,"ev":"set","form":NAME,"control":NAME,"prop":"caption"|"text"|"visible"|"enabled"|"value","value":...}
//   {"t":MS,"ev":"set","form":NAME,"prop":"caption","value":TEXT}   (the form's own caption)
//   {"t":MS,"ev":"msgbox","title":..,"text":..}      {"t":MS,"ev":"msgbox_closed"}
//   {"t":MS,"ev":"place","form":NAME,"x":..,"y":..,"w":..,"h":..,"topmost":BOOL}
//   {"t":MS,"ev":"keyboard_lock","engaged":BOOL}     {"t":MS,"ev":"end"}
// `t` is milliseconds since the start of the run. Visible and enabled values are booleans, value
// an integer, the rest text. Text is plain ASCII JSON: bytes above 127 are written as \u00XX of
// their Latin-1 value.

#include <cstdio>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace vellomar::ui {

struct TraceEvent {
  long t = 0;
  std::string ev;
  // Further fields in the order written; values are text, integers or booleans.
  std::vector<std::pair<std::string, std::variant<std::string, long, bool>>> fields;

  std::string Get(const std::string& key) const;  // text form of a field, "" when absent
  std::string Json() const;
  // The event without its time, for comparing runs.
  std::string JsonWithoutTime() const;
};

// Writes each event to a file, and keeps it in memory only when asked: a lock left up for days
// records an event every second, and the program must not grow while it runs.
class Trace {
 public:
  enum class Keep { kNothing, kEvents };

  // Writes to the file named by $KESTROM_TRACE when set (appended, flushed per line); keeps
  // nothing in memory.
  static Trace FromEnvironment();
  explicit Trace(Keep keep = Keep::kNothing) : keep_(keep) {}
  explicit Trace(const std::string& path, Keep keep = Keep::kNothing);
  Trace(Trace&&) noexcept;
  ~Trace();

  void Record(TraceEvent event);
  // The events recorded so far; always empty unless made with Keep::kEvents.
  const std::vector<TraceEvent>& events() const { return events_; }

 private:
  std::FILE* file_ = nullptr;
  Keep keep_ = Keep::kNothing;
  std::vector<TraceEvent> events_;
};

// Parses one line written by Trace (for tests comparing runs).
TraceEvent ParseTraceLine(const std::string& line);

}  // namespace vellomar::ui
