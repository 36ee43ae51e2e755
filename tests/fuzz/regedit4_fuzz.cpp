// The REGEDIT4 reader: whatever it accepts, the writer writes in a form the reader gives back
// unchanged, byte for byte.

#include <cstdint>
#include <string>

#include "platform/regedit4.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;
using platform::RegFile;

namespace {

bool SameFile(const RegFile& a, const RegFile& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (std::size_t k = 0; k < a.keys.size(); ++k) {
    const auto& x = a.keys[k];
    const auto& y = b.keys[k];
    if (x.path != y.path || x.values.size() != y.values.size()) return false;
    for (std::size_t v = 0; v < x.values.size(); ++v) {
      const auto& p = x.values[v];
      const auto& q = y.values[v];
      if (p.name != q.name || p.type != q.type || p.data != q.data) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<RegFile> parsed = platform::ParseRegedit4(fuzz::Text(data, size));
  if (!parsed) return 0;
  for (const auto& key : parsed->keys) {
    fuzz::Require(parsed->KeyExists(key.path), "every section is a key");
    fuzz::Require(parsed->FindKey(key.path) != nullptr, "every section can be found");
  }
  const std::string written = platform::SerializeRegedit4(*parsed);
  std::optional<RegFile> again = platform::ParseRegedit4(written);
  fuzz::Require(again.has_value(), "what is written can be read");
  fuzz::Require(SameFile(*parsed, *again), "keys and values survive a write and a read");
  fuzz::Require(platform::SerializeRegedit4(*again) == written, "writing is stable");
  return 0;
}
