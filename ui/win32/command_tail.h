#pragma once
// The program's command line as Windows hands it over (GetCommandLineA): the program's name,
// quoted when it holds spaces, then the rest verbatim. A pure function, tested on every build.

#include <string>

namespace vellomar::ui::win32 {

// The text after the program's name, without the blanks that separate it from the name; the
// rest is kept exactly (quotes and runs of spaces included), as the classic runtime's Command
// gives it.
inline std::string CommandTail(const std::string& command_line) {
  std::size_t at = 0;
  if (!command_line.empty() && command_line[0] == '"') {
    const std::size_t close = command_line.find('"', 1);
    at = close == std::string::npos ? command_line.size() : close + 1;
  } else {
    at = command_line.find_first_of(" \t");
    if (at == std::string::npos) at = command_line.size();
  }
  at = command_line.find_first_not_of(" \t", at);
  return at == std::string::npos ? std::string() : command_line.substr(at);
}

}  // namespace vellomar::ui::win32
