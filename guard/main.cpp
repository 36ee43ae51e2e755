// vellomar-guard: started by kestrom.exe while its keyboard lock is engaged (see guard.h), never
// by hand:
//   vellomar-guard FD PROGRAM
// FD is the socket to the forms process; PROGRAM starts it again, with the command line the forms
// process sent over the socket (it may hold the password record, so it is never an argument).

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "guard/guard.h"
#include "guard/link.h"
#include "tools/tool_info.h"
#include "ui/x11/errors.h"

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
  const int link = std::atoi(argv[1]);
  // What a terminal or a session sends to end things; the guard outlives them all while the
  // lock is engaged (it exists only then).
  for (int number : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) std::signal(number, SIG_IGN);
  // Of our processes, the OOM killer should pick this one last: never, where permitted, else
  // below kestrom.exe, which raises its own by one over where it started (and this process may
  // have inherited that).
  if (!guard::SetOomScore(-1000)) guard::SetOomScore(guard::OomScore() - 1);
  // It holds the command line, password record and all: no core file, no tracing by the user's
  // other processes.
  guard::StopDumping();
  // No failed request may end the guard (ui/x11/errors.h); the handler is the process's, for
  // every display it opens.
  ui::InstallX11ErrorHandler();
  guard::Guard guard(link, argv[2]);
  return guard.Run();
}
