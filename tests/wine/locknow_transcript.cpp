// locknow-transcript TRACE: runs the GUI scenario of locknow_gui.sh on the headless runtime, in
// the current folder (its supermp.dat holds "secret"), and compares its trace with the one the
// real run wrote to TRACE. Exit status 0 when they agree; otherwise both are printed.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32_machine.h"
#include "tests/locknow_scenario.h"

int main(int argc, char** argv) {
  using namespace vellomar;
  if (argc != 2) {
    std::fprintf(stderr, "usage: locknow-transcript TRACE\n");
    return 2;
  }
  std::vector<ui::TraceEvent> real;
  std::ifstream in(argv[1]);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) real.push_back(ui::ParseTraceLine(line));
  }

  platform::Win32Machine machine;
  const std::vector<std::string> expected = testing::ComparableTrace(
      testing::HeadlessLockNow(machine.services(), {"wrong", "", "SeCrEt"}));
  const std::vector<std::string> seen = testing::ComparableTrace(real);
  if (!expected.empty() && expected == seen) return 0;
  std::fprintf(stderr, "the real run's trace differs from the headless one\n--- headless\n");
  for (const std::string& line : expected) std::fprintf(stderr, "%s\n", line.c_str());
  std::fprintf(stderr, "--- real run\n");
  for (const std::string& line : seen) std::fprintf(stderr, "%s\n", line.c_str());
  return 1;
}
