// The harness itself: a session starts and leaves nothing behind, and one that cannot start
// says why at once and stops what it had started.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "tests/e2e/x_session.h"

namespace vellomar::e2e {
namespace {

bool ServerAnswers(const std::string& display) {
  return Run({"xdpyinfo", "-display", display}).exit_code == 0;
}

// Whether this test program still has an X server among its children. (A display number says
// less: once ours is gone, a test running beside this one may start a server on it.)
bool OwnServerRunning() {
  return Run({"pgrep", "-P", std::to_string(getpid()), "Xvfb"}).exit_code == 0;
}

TEST(XSessionTest, StartsAndLeavesNothingBehind) {
  std::string display;
  pid_t server = 0;
  {
    XSession session;
    display = session.display();
    server = session.server_pid();
    EXPECT_TRUE(ServerAnswers(display));
    EXPECT_NE(e2e::Run({"wmctrl", "-m"}).out.find("Openbox"), std::string::npos);
  }
  EXPECT_FALSE(OwnServerRunning());
  EXPECT_NE(kill(server, 0), 0) << "Xvfb " << server << " still running";
}

TEST(XSessionTest, AWindowManagerThatExitsFailsAtOnceAndStopsTheServer) {
  const auto start = std::chrono::steady_clock::now();
  std::string message;
  try {
    XSession session({"sh", "-c", "echo no window manager today >&2; exit 3"});
    FAIL() << "the session started without its window manager";
  } catch (const std::runtime_error& error) {
    message = error.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_NE(message.find("sh exited on :"), std::string::npos) << message;
  EXPECT_NE(message.find("no window manager today"), std::string::npos) << message;
  EXPECT_FALSE(OwnServerRunning()) << "the server started for it is still running";
}

}  // namespace
}  // namespace vellomar::e2e
