// Setup as a user meets it: started with the "Vellomar Setup" Start-menu link's command line, the
// password on the gate, every kind of option changed with the mouse and keyboard, the warning,
// the report; then drive C: checked byte by byte, Setup opened again on the new state, and the
// new password unlocking the immediate lock.

#include <gtest/gtest.h>

#include <map>

#include "platform/emulated.h"
#include "record/password_record.h"
#include "system/boot_files.h"
#include "system/lock_switches.h"
#include "system/shortcuts.h"
#include "system/startup_entry.h"
#include "tests/e2e/form_input.h"
#include "tests/e2e/x_session.h"

namespace vellomar::e2e {
namespace {

constexpr char kProgramFolder[] = "C:\\Program Files\\Vellomar";
constexpr char kOldPassword[] = "Secret7";
constexpr char kNewPassword[] = "Fresh Start9";
constexpr char kLockLine[] =
    "C:\\PROGRA~1\\VELLOMAR\\halvrik.exe /STARTPATH: C:\\PROGRA~1\\VELLOMAR";

// Where Setup's controls lie, in twips; check boxes and option buttons are clicked on their box.
constexpr Twips kCheck1{360, 2880, 3495, 495}, kCheck2{360, 3360, 3615, 495};
constexpr Twips kCheck5{360, 4920, 3855, 495}, kCheck6{360, 5400, 3855, 495};
constexpr Twips kOption5{5040, 2760, 3855, 495};
constexpr Twips kCheck3{5040, 3600, 3975, 495}, kCheck4{5040, 4200, 3855, 735};
constexpr Twips kCommand1{4920, 5400, 2175, 735}, kCommand2{7320, 5400, 1935, 735};
constexpr Twips kProceed{1680, 5580, 1935, 495};  // WarnMsdosSys "Yes - Proceed"

// lnkinfo's "Command line arguments" of a shortcut.
std::string LinkArguments(const std::filesystem::path& link) {
  const std::string out = e2e::Run({"lnkinfo", link.string()}).out;
  const std::string key = "Command line arguments";
  const size_t at = out.find(key);
  if (at == std::string::npos) return "";
  const size_t start = out.find_first_not_of(" \t:", at + key.size());
  return out.substr(start, out.find('\n', start) - start);
}

class SetupE2e : public ::testing::Test {
 protected:
  SetupE2e() {
    // As the wizard's Finish left it: option 1 (sixty seconds), no taskbar, smiley, and the
    // Start-menu folder with its two links.
    platform::EmulatedMachine machine(installation_.drive_c(), installation_.program_dir());
    WritePasswordRecord(machine.files(), EncodePassword(kOldPassword), "0100");
    const std::string program = ProgramPath(machine.files());
    WriteMachineValue(machine.registry(), kRunServicesKey, kStartupValueName,
                      StartupCommand(machine.files().CurDir(), BootOption::kSixtySeconds, false,
                                     true, EncodePassword(kOldPassword)),
                      platform::kRegSz);
    CreateStartMenuFolder(machine.files(), StartMenuFolder(machine.links()));
    CreateStartMenuShortcuts(machine.links(), program, LockSwitches(false, true));
  }

  std::filesystem::path C(const std::string& relative) const {
    return installation_.drive_c() / relative;
  }

  // The Start-menu link's command line, the gate, the password: Setup's window.
  std::string OpenSetup(Kestrom& run, const std::string& password) {
    EXPECT_TRUE(run.WaitForEvent("show", {{"form", "EnterSetupPassword"}}));
    EXPECT_NE(FindVisibleWindow("Enter Setup"), "");
    EXPECT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Setup"; }));
    SendToFocus(password);  // another client's events: not taken
    Type(password);
    Key("Return");
    EXPECT_TRUE(run.WaitForEvent("show", {{"form", "Setup"}}));
    const std::string window = FindVisibleWindow("Vellomar version 1.0 Setup");
    EXPECT_TRUE(WaitUntil([] { return FocusedWindowName() == "Vellomar version 1.0 Setup"; }));
    return window;
  }

  XSession session_;
  Installation installation_{kOldPassword};
};

TEST_F(SetupE2e, ChangedOptionsRoundTripAndTheNewPasswordUnlocks) {
  const std::filesystem::path menu = C("WINDOWS/Start Menu/Programs/Vellomar");
  const std::string setup_arguments = LinkArguments(menu / "Vellomar Setup.lnk");
  ASSERT_EQ(setup_arguments, "/setup");
  const std::string autoexec_before = ReadFile(C("AUTOEXEC.BAT"));
  const std::string dosstart_before = ReadFile(C("WINDOWS/DOSSTART.BAT"));
  const std::string msdos_before = ReadFile(C("MSDOS.SYS"));
  {
    Kestrom run(installation_, setup_arguments);
    const std::string setup = OpenSetup(run, kOldPassword);
    ASSERT_NE(setup, "");
    EXPECT_TRUE(run.Has("set", {{"form", "Setup"}, {"control", "Option2"}, {"value", "1"}}));
    EXPECT_TRUE(OtherClientCanGrabKeyboard()) << "Setup runs without the keyboard lock";

    // The new password: Text2 has the focus; Alt+R reaches the repeat box.
    SendToFocus("Bogus");  // another client's events: not taken
    Type(kNewPassword);
    Key("alt+r");
    Type(kNewPassword);
    for (const Twips& box : {kCheck1, kCheck2, kCheck5, kOption5, kCheck3, kCheck4}) {
      Click(setup, box, /*at_left=*/true);
    }
    ASSERT_TRUE(
        run.WaitForEvent("set", {{"form", "Setup"}, {"control", "Check4"}, {"value", "1"}}));
    Click(setup, kCommand1);

    ASSERT_TRUE(run.WaitForEvent("show", {{"form", "WarnMsdosSys"}}));
    const std::string warning = FindVisibleWindow("Warning!");
    ASSERT_NE(warning, "");
    Click(warning, kProceed);
    ASSERT_TRUE(run.WaitForEvent("show", {{"form", "ChangesMade"}}));
    EXPECT_TRUE(run.Has("set", {{"form", "ChangesMade"},
                                {"value",
                                 "Your password and other options have been changed "
                                 "successfully.  Click the 'OK' button to exit Vellomar "
                                 "setup."}}));
    ASSERT_NE(FindVisibleWindow("Vellomar Setup Message"), "");
    ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Vellomar Setup Message"; }));
    Key("Return");  // OK has the focus
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_FALSE(run.Has("msgbox"));
  }

  // Drive C: as the changes left it.
  const std::string encoded = EncodePassword(kNewPassword);
  EXPECT_EQ(ReadFile(installation_.program_dir() / "supermp.dat"),
            std::string(kStartMarker) + encoded + kEndMarker + "1011\r\n");
  EXPECT_EQ(ReadFile(C("AUTOEXEC.BAT")), kLockLine + std::string("\r\n") + autoexec_before);
  EXPECT_EQ(ReadFile(C("AUTOEXEC.QVR")), autoexec_before);
  EXPECT_EQ(ReadFile(C("WINDOWS/DOSSTART.BAT")), kLockLine + std::string("\r\n") + dosstart_before);
  EXPECT_EQ(ReadFile(C("WINDOWS/dosstart.qvr")), dosstart_before);
  std::string msdos_after = msdos_before;
  msdos_after.insert(msdos_after.find("[Options]\r\n") + 11, "BootKeys=0\r\n");
  EXPECT_EQ(ReadFile(C("MSDOS.SYS")), msdos_after);
  EXPECT_EQ(ReadFile(C("MSDOS.QVR")), msdos_before);
  {
    platform::EmulatedMachine machine(installation_.drive_c(), installation_.program_dir());
    namespace attr = platform::attr;
    EXPECT_EQ(machine.files().GetAttr("C:\\MSDOS.SYS"),
              attr::kReadOnly | attr::kHidden | attr::kSystem);
    VariantValue entry;
    ReadMachineValue(machine.registry(), kRunServicesKey, kStartupValueName, entry);
    EXPECT_EQ(VariantText(entry), std::string(kProgramFolder) + "\\kestrom.exe /locknow /nosmile " +
                                      BuildRecordArgument(encoded));
  }
  EXPECT_EQ(LinkArguments(C("WINDOWS/Desktop/Vellomar.lnk")), "/locknow /nosmile");
  EXPECT_EQ(LinkArguments(menu / "Vellomar - Immediate Lock.lnk"), "/locknow /nosmile");
  EXPECT_EQ(LinkArguments(menu / "Vellomar Setup.lnk"), "/setup");

  // Setup again shows what is now in force; the old password no longer opens it.
  {
    Kestrom again(installation_, setup_arguments);
    ASSERT_TRUE(again.WaitForEvent("show", {{"form", "EnterSetupPassword"}}));
    ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Setup"; }));
    Type(kOldPassword);
    Key("Return");
    ASSERT_TRUE(again.WaitForEvent("msgbox", {{"text", "The password is incorrect."}}));
    Key("Return");
    ASSERT_TRUE(again.WaitForEvent("msgbox_closed"));
    Key("ctrl+a");
    Key("BackSpace");
    const std::string setup = OpenSetup(again, kNewPassword);
    ASSERT_NE(setup, "");
    for (const char* ticked : {"Check1", "Check3", "Check4", "Check5", "Check6", "Option5"}) {
      EXPECT_TRUE(again.Has("set", {{"form", "Setup"}, {"control", ticked}, {"value", "1"}}))
          << ticked;
    }
    EXPECT_FALSE(again.Has("set", {{"form", "Setup"}, {"control", "Check2"}, {"value", "1"}}));
    Click(setup, kCommand2);
    EXPECT_EQ(again.WaitForExit(), 0);
  }

  // The immediate lock takes the new password, not the old one.
  Kestrom lock(installation_, "/locknow");
  ASSERT_TRUE(lock.WaitForEvent("place", {{"form", "Kestrom"}}));
  ASSERT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }));
  Type(kOldPassword);
  Key("Return");
  ASSERT_TRUE(lock.WaitForEvent(
      "set", {{"control", "Label3"}, {"value", "Status: The password is incorrect."}}));
  Key("ctrl+a");
  Type(kNewPassword);
  Key("Return");
  EXPECT_EQ(lock.WaitForExit(), 0);
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
}

TEST_F(SetupE2e, TheGateHasNoTaskbarButtonAndSetupIsAnOrdinaryWindow) {
  Kestrom run(installation_, "/setup");
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "EnterSetupPassword"}}));
  const std::string gate = FindVisibleWindow("Enter Setup");
  ASSERT_NE(gate, "");
  const std::string state = e2e::Run({"xprop", "-id", gate, "_NET_WM_STATE"}).out;
  EXPECT_NE(state.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << state;
  // Alt+P gives the focus to the password box; it presses nothing.
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Setup"; }));
  Key("alt+p");
  Type(kOldPassword);
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "Setup"}}));
  EXPECT_FALSE(run.Has("msgbox"));
  const std::string setup = FindVisibleWindow("Vellomar version 1.0 Setup");
  ASSERT_NE(setup, "");
  std::string actions;
  ASSERT_TRUE(WaitUntil([&] {
    actions = e2e::Run({"xprop", "-id", setup, "_NET_WM_ALLOWED_ACTIONS"}).out;
    return actions.find("_NET_WM_ACTION_") != std::string::npos;
  }));
  for (const char* action : {"MINIMIZE", "MAXIMIZE_HORZ", "CLOSE"}) {
    EXPECT_NE(actions.find(std::string("_NET_WM_ACTION_") + action), std::string::npos) << action;
  }
  EXPECT_EQ(e2e::Run({"xprop", "-id", setup, "_NET_WM_STATE"}).out.find("SKIP_TASKBAR"),
            std::string::npos);
  // Its close box ends the program without writing anything.
  const std::string record = ReadFile(installation_.program_dir() / "supermp.dat");
  e2e::Run({"wmctrl", "-c", "Vellomar version 1.0 Setup"});
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(installation_.program_dir() / "supermp.dat"), record);
}

}  // namespace
}  // namespace vellomar::e2e
