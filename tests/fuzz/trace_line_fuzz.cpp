// The trace line parser: anything it accepts writes back as a line it reads the same way, and
// anything it refuses is refused with std::invalid_argument (what its callers catch).

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "ui/trace.h"

using namespace vellomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ui::TraceEvent event;
  try {
    event = ui::ParseTraceLine(fuzz::Text(data, size));
  } catch (const std::invalid_argument&) {
    return 0;
  }
  const std::string line = event.Json();
  ui::TraceEvent again;
  try {
    again = ui::ParseTraceLine(line);
  } catch (const std::invalid_argument&) {
    fuzz::Require(false, "a written line can be read");
  }
  fuzz::Require(again.Json() == line, "a line reads back as written");
  return 0;
}
