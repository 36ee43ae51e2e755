// DOS path resolution and short names. The input is lines: the first a DOS path resolved on a
// scratch drive C: and shortened with GetShortPathNameA (its first byte also sizes the buffer),
// the rest the names of one folder, each given its 8.3 alias among the others and matched
// against the path as a wildcard pattern. Drive Z: (the host root) is taken as C:, so that the
// fuzzer stays inside its scratch drive.

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/dos_names.h"
#include "platform/emulated.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A name a host folder can hold.
bool HostName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

void CheckPath(platform::EmulatedMachine& machine, std::string path, std::uint32_t size) {
  if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path[0] = 'C';
  if (path.find('\0') != std::string::npos) return;  // a C string ends there

  const std::filesystem::path host = machine.HostPath(path);
  if (!host.empty()) {
    const std::string root = machine.drive_c().string();
    fuzz::Require(host.string().compare(0, root.size(), root) == 0, "a path stays on its drive");
    for (const auto& part : host.lexically_relative(machine.drive_c())) {
      fuzz::Require(part != "..", "no component climbs out of the drive");
    }
  }

  std::vector<char> buffer(size + 1, '\x7f');
  const std::uint32_t n = machine.files().GetShortPathNameA(path.c_str(), buffer.data(), size);
  if (n != 0 && n < size) {
    fuzz::Require(std::strlen(buffer.data()) == n, "the length returned is the text's");
    fuzz::Require(buffer[size] == '\x7f', "nothing written past the buffer");
  }
}

void CheckNames(const std::vector<std::string>& names, const std::string& pattern) {
  std::vector<std::string> folder;
  for (const std::string& name : names) {
    if (!HostName(name)) continue;
    bool twin = false;  // a second name differing only in case cannot share a DOS folder
    for (const std::string& other : folder) twin = twin || platform::SameDosName(other, name);
    if (!twin) folder.push_back(name);
  }
  std::set<std::string> aliases;
  for (const std::string& name : folder) {
    const std::string alias = platform::ShortNameIn(name, folder);
    fuzz::Require(platform::IsShortName(alias), "an alias is an 8.3 name");
    fuzz::Require(aliases.insert(alias).second, "aliases in one folder differ");
    platform::MatchesDosPattern(name, pattern);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchDrive drive;
  static platform::EmulatedMachine machine(drive.drive_c(), drive.program_dir());
  if (size == 0) return 0;
  const std::vector<std::string> lines = Lines(fuzz::Text(data + 1, size - 1));
  CheckPath(machine, lines.front(), data[0]);
  CheckNames({lines.begin() + 1, lines.end()}, lines.front());
  return 0;
}
