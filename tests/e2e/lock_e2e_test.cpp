// The real kestrom.exe on a private X server with openbox: the lock screens as a user meets them,
// and the ways around a lock that must fail.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "lock/kestrom.h"
#include "platform/emulated.h"
#include "startup/pass_main.h"
#include "support/headless.h"
#include "tests/e2e/x_session.h"
#include "tests/locknow_scenario.h"

namespace vellomar::e2e {
namespace {

constexpr char kPassword[] = "Secret7";

void Key(const std::string& keys) {
  e2e::Run({"xdotool", "key", "--clearmodifiers", keys});
}
void Type(const std::string& text) {
  e2e::Run({"xdotool", "type", "--delay", "15", text});
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LockE2e : public ::testing::Test {
 protected:
  XSession session_;
  Installation installation_{kPassword};
};

TEST_F(LockE2e, LockNowChecksPasswordsPlaysSmileyAndReleasesEverything) {
  Kestrom run(installation_, "/locknow");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}, {"w", "1024"}, {"h", "700"}}));
  ASSERT_NE(FindWindow("Kestrom"), "");
  EXPECT_FALSE(OtherClientCanGrabKeyboard()) << "the keyboard must be held while locked";
  EXPECT_TRUE(OtherClientCanGrabPointer()) << "taskbar mode leaves the pointer free";

  Type("wrong");
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent(
      "set", {{"control", "Label3"}, {"value", "Status: The password is incorrect."}}));
  Key("ctrl+a");
  Key("BackSpace");
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent(
      "set", {{"control", "Label3"},
              {"value", "Status: You have left the required password field blank."}}));
  EXPECT_FALSE(OtherClientCanGrabKeyboard());

  Type(kPassword);
  Key("Return");
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_TRUE(run.Has("set", {{"control", "Label3"}, {"value", "Status: Password verified."}}));
  EXPECT_TRUE(run.Has("keyboard_lock", {{"engaged", "false"}}));
  // The growing smiley: frames 1 to 4 shown in turn.
  std::vector<std::string> shown;
  for (const ui::TraceEvent& event : run.Events()) {
    if (event.ev == "set" && event.Get("prop") == "visible" && event.Get("value") == "true") {
      shown.push_back(event.Get("control"));
    }
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Image1", "Image2", "Image3", "Image4"}));
  EXPECT_TRUE(OtherClientCanGrabKeyboard()) << "the keyboard grab must end with the program";
  EXPECT_TRUE(OtherClientCanGrabPointer());
}

TEST_F(LockE2e, LockNowFullHoldsPointerUntilTheCorrectPassword) {
  Kestrom run(installation_, "/locknowfull /nosmile");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}, {"w", "1024"}, {"h", "768"}}));
  ASSERT_NE(FindWindow("Kestrom"), "");
  EXPECT_FALSE(OtherClientCanGrabKeyboard());
  EXPECT_TRUE(WaitUntil([] { return !OtherClientCanGrabPointer(); }))
      << "the full-screen lock holds the pointer";
  Type(kPassword);
  Key("Return");
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_FALSE(run.Has("set", {{"control", "Image1"}, {"prop", "visible"}, {"value", "true"}}));
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
  EXPECT_TRUE(OtherClientCanGrabPointer());
}

TEST_F(LockE2e, BypassAttemptsLeaveTheLockInPlaceAndGiveNoKeyElsewhere) {
  const auto victim_log = installation_.drive_c().parent_path() / "victim.log";
  Child victim({X_PROBE, "victim", "Victim", victim_log.string()});
  const std::string victim_window = FindWindow("Victim");
  ASSERT_NE(victim_window, "");

  Kestrom run(installation_, "/locknowfull");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}}));
  const std::string lock_window = FindWindow("Kestrom");
  ASSERT_NE(lock_window, "");
  ASSERT_TRUE(WaitUntil([] { return TopWindowName() == "Kestrom"; }));

  auto lock_holds = [&](const std::string& attempt) {
    EXPECT_TRUE(run.Running()) << attempt << " ended the program";
    EXPECT_TRUE(WaitUntil([] { return TopWindowName() == "Kestrom"; }))
        << attempt << " left " << TopWindowName() << " above the lock";
    EXPECT_TRUE(WaitUntil([] { return FocusedWindowName() == "Kestrom"; }))
        << attempt << " left the focus on " << FocusedWindowName();
    EXPECT_FALSE(OtherClientCanGrabKeyboard()) << attempt << " freed the keyboard";
  };

  Key("alt+Tab");
  lock_holds("Alt+Tab");
  Key("ctrl+Escape");
  lock_holds("Ctrl+Esc");
  Key("alt+F4");
  lock_holds("Alt+F4");
  e2e::Run({"wmctrl", "-c", "Kestrom"});
  lock_holds("wmctrl -c");
  e2e::Run({"xdotool", "windowactivate", victim_window});
  lock_holds("activating another window");
  Type("x");
  e2e::Run({"wmctrl", "-a", "Victim"});
  lock_holds("wmctrl -a");
  e2e::Run({"xdotool", "windowraise", victim_window});
  lock_holds("raising another window");
  Child intruder({X_PROBE, "victim", "Intruder", victim_log.string()});
  ASSERT_NE(FindWindow("Intruder"), "");
  lock_holds("mapping a new window");
  Type("y");
  e2e::Run({"xdotool", "windowunmap", lock_window});
  lock_holds("unmapping the lock window");
  e2e::Run({"xdotool", "windowminimize", lock_window});
  lock_holds("minimising the lock window");

  // Every key went to the lock: the password typed now still unlocks it.
  Key("ctrl+a");
  Key("BackSpace");
  Type(kPassword);
  Key("Return");
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(victim_log), "") << "keys reached another window";
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
}

TEST_F(LockE2e, TimedPromptRefusesCloseCountsDownAndLocksOut) {
  Kestrom run(installation_, "", 60.0);  // the minute passes in a second
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "PassMain"}}));
  ASSERT_NE(FindWindow("Enter Password"), "");
  EXPECT_FALSE(OtherClientCanGrabKeyboard());
  e2e::Run({"wmctrl", "-c", "Enter Password"});
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "Lockout"}}));
  EXPECT_TRUE(run.Has("set", {{"form", "PassMain"}, {"control", "Label2"}, {"value", "30"}}))
      << "the countdown did not run";
  EXPECT_FALSE(run.Has("unload", {{"form", "PassMain"}})) << "the close request was not refused";
  // "place" follows "show" in the trace: wait for it rather than read the file at once.
  EXPECT_TRUE(run.WaitForEvent("place", {{"form", "Lockout"}, {"w", "1024"}, {"h", "700"}}));
  ASSERT_TRUE(WaitUntil([] { return TopWindowName() == "Lockout"; }));
  Key("alt+F4");
  EXPECT_TRUE(WaitUntil([] { return TopWindowName() == "Lockout"; }));
  EXPECT_TRUE(run.Running());
  EXPECT_FALSE(OtherClientCanGrabKeyboard()) << "the lockout keeps the keyboard";
  EXPECT_TRUE(OtherClientCanGrabPointer()) << "the strip at the bottom stays usable";
}

TEST_F(LockE2e, TimedPromptWrongPasswordShowsMessageThenAccepts) {
  Kestrom run(installation_, "");
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "PassMain"}}));
  ASSERT_NE(FindWindow("Enter Password"), "");
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Password"; }));
  SendToFocus(kPassword);  // another client's events: not taken
  Type("nope");
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent("msgbox", {{"text", "The password is incorrect."}}));
  ASSERT_NE(FindWindow("Error"), "");
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent("msgbox_closed"));
  Key("ctrl+a");
  Key("BackSpace");
  Type(kPassword);
  Key("Return");
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_TRUE(run.Has("set", {{"control", "Image1"}, {"prop", "visible"}, {"value", "true"}}));
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
}

// Another program holds the keyboard for longer than the lock waits for it: the lock says so and
// ends, from the lock screen's switch and from the timed prompt alike, holding nothing.
TEST_F(LockE2e, KeyboardHeldByAnotherProgramEndsWithTheLockError) {
  for (const std::string command_line : {"/locknow", ""}) {
    SCOPED_TRACE("command line \"" + command_line + "\"");
    // A file of its own for each holder: the test must not read an earlier holder's "held".
    const auto held = installation_.drive_c().parent_path() /
                      ("holder" + std::to_string(command_line.size()) + ".out");
    Child holder({X_PROBE, "hold-keyboard"}, {}, {}, held);
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(held) == "held\n"; }));

    Kestrom run(installation_, command_line);
    ASSERT_TRUE(run.WaitForEvent("msgbox", {{"title", "Error"}, {"text", kMsgKeyboardLockFailed}}));
    ASSERT_NE(FindVisibleWindow("Error"), "");
    holder.Stop();  // keys reach the message box again
    Key("Return");
    EXPECT_EQ(run.WaitForExit(), 1) << "an ending after an error message says so";
    EXPECT_FALSE(run.Has("show", {{"form", "Kestrom"}}));
    EXPECT_FALSE(run.Has("show", {{"form", "PassMain"}}));
    EXPECT_FALSE(run.Has("keyboard_lock", {{"engaged", "true"}}));
    EXPECT_TRUE(WaitUntil([] { return OtherClientCanGrabKeyboard(); }))
        << "the keyboard must be free once both programs are gone";
  }
}

// On a Wayland session the X server is XWayland, where a keyboard grab holds no key typed into a
// Wayland window: the lock does not pretend to hold, it shows the error of a keyboard that cannot
// be had, holds nothing, and (once the box is answered) ends as KeyboardHeldByAnotherProgram...
// shows. A headless compositor has no seat to answer the box with: the run is stopped instead.
TEST(LockOnXWayland, ShowsTheLockErrorAndHoldsNothingInsteadOfPretending) {
  if (!XWaylandAvailable()) GTEST_SKIP() << "weston and Xwayland are not installed";
  XSession session(kXWayland);
  Installation installation(kPassword);
  for (const std::string command_line : {"/locknowfull", ""}) {
    SCOPED_TRACE("command line \"" + command_line + "\"");
    Kestrom run(installation, command_line);
    ASSERT_TRUE(run.WaitForEvent("msgbox", {{"title", "Error"}, {"text", kMsgKeyboardLockFailed}}));
    EXPECT_NE(FindVisibleWindow("Error"), "");
    EXPECT_TRUE(OtherClientCanGrabKeyboard()) << "the keyboard must not be held";
    EXPECT_FALSE(run.Has("show", {{"form", "Kestrom"}}));
    EXPECT_FALSE(run.Has("show", {{"form", "PassMain"}}));
    EXPECT_FALSE(run.Has("keyboard_lock", {{"engaged", "true"}}));
  }
}

// A grab held only for a moment (an open menu) is waited for: the lock comes up as usual.
TEST_F(LockE2e, KeyboardLetGoWithinASecondIsTakenOver) {
  const auto held = installation_.drive_c().parent_path() / "holder.out";
  Child holder({X_PROBE, "hold-keyboard", "300"}, {}, {}, held);
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(held).rfind("held\n", 0) == 0; }));

  Kestrom run(installation_, "/locknow");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}}));
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_EQ(ReadFile(held), "held\nreleased\n");
  EXPECT_TRUE(run.Has("keyboard_lock", {{"engaged", "true"}}));
  EXPECT_FALSE(run.Has("msgbox"));
  ASSERT_NE(FindWindow("Kestrom"), "");
  EXPECT_FALSE(OtherClientCanGrabKeyboard()) << "the lock must hold the keyboard now";
  Type(kPassword);
  Key("Return");
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
}

// The real run writes the same trace as the headless runtime for the same scenario.
TEST_F(LockE2e, TraceMatchesTheHeadlessTranscript) {
  Kestrom run(installation_, "/locknow");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}}));
  ASSERT_NE(FindWindow("Kestrom"), "");
  Type("wrong");
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent("set", {{"control", "Label3"}}));
  Key("ctrl+a");
  Key("BackSpace");
  Type(kPassword);
  Key("Return");
  ASSERT_EQ(run.WaitForExit(), 0);

  Installation other(kPassword);
  platform::EmulatedMachine machine(other.drive_c(), other.program_dir());
  const std::vector<ui::TraceEvent> headless =
      vellomar::testing::HeadlessLockNow(machine.services(), {"wrong", kPassword});
  ASSERT_FALSE(headless.empty()) << "the headless run did not end";

  EXPECT_EQ(vellomar::testing::ComparableTrace(run.Events()),
            vellomar::testing::ComparableTrace(headless));
}

}  // namespace
}  // namespace vellomar::e2e
