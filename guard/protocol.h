#pragma once
// What the forms process and its guard tell each other: one message a line, over a socket pair
// the guard inherits (and a restarted forms process inherits from the guard).
//
// forms -> guard
//   "command HEX"  the command line the forms process was started with (after the program's
//                  name), each byte as two hex digits; the first line to a new guard. It may hold
//                  the password record ("/SU:"), so it travels here, never on a command line that
//                  every user of the machine can read
//   "state TEXT"   where the lock stands (ui/lock_state.h), for a restart
//   "record HEX"   the password record a form's load took (its text as read), in hex like the
//                  command line: a restart checks the file against it, so that a record removed
//                  or damaged while locked cannot end the lock
//   "cover PARENT PIXEL N (WINDOW X Y WIDTH HEIGHT)*N"   the windows covering the screen, lowest
//                  first, their parent (the overlay or the root) and their background pixel
//   "watch WINDOW" a window of the forms process's own, never destroyed by it: destroyed, it
//                  says that the process's X connection is gone
//   "take"         a restarted forms process wants the keyboard the guard holds
//   "release"      the lock is released on purpose: the guard ends without restarting anything
// guard -> forms
//   "command HEX"  the command line to run with: the first line to a forms process the guard
//                  restarts, which is started with no arguments
//   "record HEX"   the second line to it: the record last reported, empty when none was
//   "ready"        the guard has started up and watches
//   "let-go"       the guard holds no grab any more (the answer to "take")
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
// The command line a "command ..." line carries; empty for anything else or malformed hex.
std::optional<std::string> ParseCommand(const std::string& line);
// The password record the same way ("record HEX"); the system's own are under 100 bytes.
std::string FormatRecord(const std::string& record);
std::optional<std::string> ParseRecord(const std::string& line);

inline constexpr char kStatePrefix[] = "state ";
inline constexpr char kWatch[] = "watch ";
inline constexpr char kTake[] = "take";
inline constexpr char kRelease[] = "release";
inline constexpr char kLetGo[] = "let-go";
inline constexpr char kReady[] = "ready";

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
