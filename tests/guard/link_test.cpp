// What the forms process and its guard do to themselves: once they stop being dumpable (they hold
// the password record and typed passwords), no core file and no tracing, and the OOM score they
// adjust when a lock engages can still be set.

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "guard/link.h"

namespace vellomar::guard {
namespace {

TEST(GuardLinkProcess, AProcessThatStopsDumpingCanStillRaiseItsOomScore) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Root may write /proc files whoever owns them: become an ordinary user, dumpable again as
    // one that was started as that user (changing the user clears it).
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    prctl(PR_SET_DUMPABLE, 1);
    StopDumping();
    if (prctl(PR_GET_DUMPABLE) != 0) _exit(3);
    const int before = OomScore();
    _exit(SetOomScore(before + 1) && OomScore() == before + 1 ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: no user to become, 3: still dumpable, 4: score not set";
}

}  // namespace
}  // namespace vellomar::guard
