#pragma once
// What the forms process and its guard tell each other: one message a line, over a socket pair
// the guard inherits (and a restarted forms process inherits from the guard).
//
// forms -> guard
//   "command HEX"  the command line the forms process was started with (after the program's
//                  name), each byte as two hex digits; the first line to a new guard. It may hold
//                  the password record ("/SU:"), so it travels here, never on a command line that
//                  every user of the machine can read
//   "state TEXT"   where the lock stands (base/lock_state.h), for a restart
//   "record HEX"   the password record a form's load took (its text as read), in hex like the
//                  command line: a restart checks the file against it, so that a record removed
//                  or damaged while locked cannot end the lock
//   "cover PARENT PIXEL N (WINDOW X Y WIDTH HEIGHT)*N"   the windows covering the screen, lowest
//                  first, their parent (the overlay or the root) and their background pixel: the
//                  first one from a restarted process says its windows are up
//   "area X Y WIDTH HEIGHT PIXEL"   where a lock window is about to be shown, before it is drawn:
//                  the guard covers it at once with a window of its own in that colour, beneath
//                  the forms' windows; "area none" when no lock window is up
//   "take"         a restarted forms process wants the pointer the guard holds (the keyboard
//                  stays with the guard)
//   "let-go"       the forms process holds no keyboard grab any more (the answer to "want")
//   "grab-break HEX"   what an earlier guard took out of the keymap, for a new guard to put
//                  back at the end
//   "release"      the lock is released on purpose: the guard ends without restarting anything
// guard -> forms
//   "command HEX"  the command line to run with: the first line to a forms process the guard
//                  restarts, which is started with no arguments
//   "ready"        the guard has started up
//   "held"         the guard holds the keyboard: keys come as "key" lines from now on
//   "cannot TEXT"  the keyboard cannot be had (TEXT says why); the guard ends
//   "want"         a new guard wants the keyboard, which the forms process may hold
//   "key P KEYCODE STATE TIME"   a key pressed (P 1) or released (P 0), as the server reported it
//   "grab-break HEX"   what this guard took out of the keymap (for a successor, should it die)
//   "record HEX"   the second line to a restarted forms process: the record last reported,
//                  empty when none was
//   "let-go"       the guard holds the pointer no more (the answer to "take")
//   "warning WINDOW"   the guard's window that says the keyboard is not safe, which may lie
//                  above the forms' windows; "warning 0" when it is gone
//
// Pure text handling, shared by both programs and tested on its own.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vellomar::guard {

struct CoverWindow {
  unsigned long window = 0;
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const CoverWindow&) const = default;
};

struct Cover {
  unsigned long parent = 0;
  unsigned long pixel = 0;
  std::vector<CoverWindow> windows;  // lowest first
  bool operator==(const Cover&) const = default;
};

std::string FormatCover(const Cover& cover);
// The cover a "cover ..." line describes; empty for anything malformed (a window count that does
// not match, sizes below 1, more windows than a lock ever has).
std::optional<Cover> ParseCover(const std::string& line);

// The longest line either side reads; a longer one is dropped whole. Room for a password record
// line of the longest the record reader takes (1,024 bytes) in hex.
inline constexpr std::size_t kMaxLineSize = 2112;

// A command line travels as hex, so that any byte (a line break in an argument) arrives as it was
// sent. One longer than a line holds (about 1,000 bytes; the system's own are under 100) is
// dropped by the reader, and a restart then runs without it.
std::string FormatCommand(const std::string& command_line);
// Any text as a line of hex digits after `word` and a space, and back.
std::string FormatHexLine(const std::string& word, const std::string& text);
std::optional<std::string> ParseHexLine(const std::string& word, const std::string& line);

// Where a lock window is about to be shown, and its colour.
struct Area {
  int x = 0, y = 0, width = 0, height = 0;
  unsigned long pixel = 0;
  bool operator==(const Area&) const = default;
};
std::string FormatArea(const std::optional<Area>& area);
// Nothing for anything malformed; an empty area for "area none".
std::optional<std::optional<Area>> ParseArea(const std::string& line);

struct Key {
  bool press = false;
  unsigned keycode = 0;
  unsigned state = 0;
  unsigned long time = 0;
  bool operator==(const Key&) const = default;
};
std::string FormatKey(const Key& key);
std::optional<Key> ParseKey(const std::string& line);
// The command line a "command ..." line carries; empty for anything else or malformed hex.
std::optional<std::string> ParseCommand(const std::string& line);
// The password record the same way ("record HEX"); the system's own are under 100 bytes.
std::string FormatRecord(const std::string& record);
std::optional<std::string> ParseRecord(const std::string& line);

inline constexpr char kStatePrefix[] = "state ";
inline constexpr char kTake[] = "take";
inline constexpr char kRelease[] = "release";
inline constexpr char kLetGo[] = "let-go";
inline constexpr char kReady[] = "ready";
inline constexpr char kHeld[] = "held";
inline constexpr char kCannot[] = "cannot";
inline constexpr char kWant[] = "want";
inline constexpr char kGrabBreak[] = "grab-break";
inline constexpr char kRecordWord[] = "record";
inline constexpr char kWarningPrefix[] = "warning ";

// Splits what arrived on a socket into complete lines; a line longer than any message is dropped
// whole (the rest of it included), so a confused peer cannot grow the buffer.
class LineReader {
 public:
  void Add(const char* data, std::size_t size);
  std::optional<std::string> Next();

 private:
  std::string pending_;
  std::vector<std::string> lines_;
  bool skipping_ = false;
};

}  // namespace vellomar::guard
