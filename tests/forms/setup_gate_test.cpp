// The setup password gate opened by "/setup": it checks the password like the lock screens and
// every way out releases the keyboard lock.

#include "tests/forms/fixture.h"

namespace vellomar::testing {
namespace {

class SetupGateTest : public FormsFixture {};

TEST_F(SetupGateTest, BlankAndWrongPasswordsKeepTheGateOpenUntilTheRightOne) {
  Start("/setup");
  ASSERT_TRUE(rt().FormVisible("EnterSetupPassword"));
  EXPECT_TRUE(rt().KeyboardLocked());
  TypeAndEnter("EnterSetupPassword", "");
  EXPECT_EQ(Messages(),
            std::vector<std::string>{ErrorBox("You have left the required password field blank.")});
  rt().DismissMessageBox();
  TypeAndEnter("EnterSetupPassword", "wrong");
  EXPECT_EQ(rt().MessageBoxes().back().second, "The password is incorrect.");
  rt().DismissMessageBox();
  EXPECT_EQ(rt().Text("EnterSetupPassword", "Text1"), "wrong");
  EXPECT_TRUE(rt().KeyboardLocked());

  // The stored password in another letter case opens Setup, after half a second, unlocked; the
  // program runs exactly as long as Setup is open.
  rt().AdvanceTime(2000);  // the wait after a wrong password
  const double pressed = rt().VirtualSeconds();
  TypeAndEnter("EnterSetupPassword", "sECRET1");
  EXPECT_FALSE(rt().KeyboardLocked());
  EXPECT_TRUE(StepsInOrder({"lock off", "unload EnterSetupPassword", "show Setup"}));
  EXPECT_GE(rt().VirtualSeconds() - pressed, 0.5);
  EXPECT_FALSE(rt().Ended());
  rt().Close("Setup", 0);
  EXPECT_TRUE(rt().Ended());
}

TEST_F(SetupGateTest, EveryWayOutReleasesTheKeyboardLock) {
  struct Way {
    const char* name;
    std::function<void(FormsFixture&)> prepare;
    std::function<void(ui::HeadlessRuntime&)> act;
    const char* message;  // nullptr: none
  };
  const Way ways[] = {
      {"Cancel button", nullptr,
       [](ui::HeadlessRuntime& r) { r.Click("EnterSetupPassword", "cmdCancel"); }, nullptr},
      {"Esc", nullptr, [](ui::HeadlessRuntime& r) { r.PressEscape("EnterSetupPassword"); },
       nullptr},
      {"close box", nullptr, [](ui::HeadlessRuntime& r) { r.Close("EnterSetupPassword", 0); },
       nullptr},
      {"task list", nullptr, [](ui::HeadlessRuntime& r) { r.Close("EnterSetupPassword", 3); },
       nullptr},
      {"record file missing", [](FormsFixture& f) { f.RemoveRecordFile(); },
       [](ui::HeadlessRuntime& r) { r.PressEnter("EnterSetupPassword"); }, kMsgRecordMissing},
      {"marker missing", [](FormsFixture& f) { f.WriteRecordFile("no markers\r\n"); },
       [](ui::HeadlessRuntime& r) { r.PressEnter("EnterSetupPassword"); }, kMsgRecordCorrupted},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    WritePassword(kPassword);
    Start("/setup");
    if (way.prepare) way.prepare(*this);
    way.act(rt());
    if (way.message != nullptr) {
      // The file is checked before the blank test, so an empty box still reports it.
      EXPECT_EQ(Messages(), std::vector<std::string>{ErrorBox(way.message)});
      rt().DismissMessageBox();
    } else {
      EXPECT_TRUE(Messages().empty());
    }
    EXPECT_TRUE(rt().Ended());
    EXPECT_FALSE(rt().KeyboardLocked());
  }
}

}  // namespace
}  // namespace vellomar::testing
