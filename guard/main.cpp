// vellomar-guard: started by kestrom.exe while its keyboard lock is engaged (see guard.h), never
// by hand:
//   vellomar-guard FD PROGRAM
// FD is the socket to the forms process; PROGRAM starts it again, with the command line the forms
// process sent over the socket (it may hold the password record, so it is never an argument).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/tool_info.h"
#include "guard/guard.h"

namespace {

constexpr char kUsage[] =
    "usage: vellomar-guard FD PROGRAM\n"
    "Started by kestrom.exe while its keyboard lock is engaged, never by hand: keeps the screen\n"
    "locked should kestrom.exe die, and starts it again. FD is the socket to kestrom.exe;\n"
    "PROGRAM starts it again. See kestrom.exe(1).\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace vellomar;
  if (tools::AnswerHelpOrVersion(argc, argv, "vellomar-guard", kUsage)) return 0;
  if (argc != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  return guard::RunGuard(std::atoi(argv[1]), argv[2]);
}
