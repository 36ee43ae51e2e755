// What kestrom.exe and its guard read from each other: any bytes split into lines, each line
// read as a cover, a command line, a record or a lock state. A cover, a command line or a record
// read back writes as a line that reads the same; the reader never holds more than one message's
// worth of a line.

#include <cstdint>
#include <string>

#include "base/lock_state.h"
#include "guard/protocol.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  guard::LineReader reader;
  // In two chunks, as a socket may deliver them.
  const std::size_t half = size / 2;
  reader.Add(reinterpret_cast<const char*>(data), half);
  reader.Add(reinterpret_cast<const char*>(data) + half, size - half);
  while (auto line = reader.Next()) {
    fuzz::Require(line->size() <= guard::kMaxLineSize, "a line longer than any message is dropped");
    if (auto cover = guard::ParseCover(*line)) {
      fuzz::Require(guard::ParseCover(guard::FormatCover(*cover)) == cover,
                    "a cover reads back as written");
    }
    if (auto command_line = guard::ParseCommand(*line)) {
      fuzz::Require(guard::FormatCommand(*command_line) == *line,
                    "a command line reads back as written");
    }
    if (auto record = guard::ParseRecord(*line)) {
      fuzz::Require(guard::FormatRecord(*record) == *line, "a record reads back as written");
    }
    const ui::LockState state = ui::ParseLockState(*line);
    fuzz::Require(ui::ParseLockState(ui::FormatLockState(state)) == state,
                  "a lock state reads back as written");
    fuzz::Require(state.prompt_elapsed_seconds >= 0 && state.prompt_elapsed_seconds <= 60,
                  "the seconds stay within the minute");
  }
  return 0;
}
