// The harness itself: a session starts and leaves nothing behind, and one that cannot start
// says why at once and stops what it had started.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "tests/e2e/x_session.h"

namespace vellomar::e2e {
namespace {

bool ServerAnswers(const std::string& display) {
  return Run({"xdpyinfo", "-display", display}).exit_code == 0;
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
  EXPECT_FALSE(ServerAnswers(display));
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
  // The display named in the message has no server any more.
  const std::size_t at = message.find(" on ") + 4;
  const std::string display = message.substr(at, message.find(':', at + 1) - at);
  EXPECT_FALSE(ServerAnswers(display)) << display;
}

}  // namespace
}  // namespace vellomar::e2e
