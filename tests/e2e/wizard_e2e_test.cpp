// The first-time wizard as a user meets it on a fresh installation: the real kestrom.exe walked
// page by page with the mouse and keyboard, the trial lock, what "Finish" leaves on drive C:, and
// the next start of Windows (vellomar-start running the RunServices entry, by itself or through
// the desktop's autostart entry) asking for the password the wizard chose; then the desktop
// launcher the wizard's shortcut got, starting the lock.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/emulated.h"
#include "record/password_record.h"
#include "system/startup_entry.h"
#include "tests/e2e/form_input.h"
#include "tests/e2e/x_session.h"

namespace vellomar::e2e {
namespace {

constexpr char kProgramFolder[] = "C:\\Program Files\\Vellomar";

constexpr Twips kCommand1{5400, 2760, 1215, 375};  // "Next" / "Finish" on every page
constexpr Twips kText2{1440, 1890, 3255, 315};     // Welcome2: the password
constexpr Twips kText3{1440, 2280, 3255, 315};     // Welcome2: the password again
constexpr Twips kOption2{600, 1440, 5055, 255};    // Welcome6: option 2
constexpr Twips kCheck1{600, 1320, 5775, 495};     // Welcome8: taskbar visible

class Wizard {
 public:
  explicit Wizard(Kestrom& run) : run_(run) {}

  // Waits for `form` to be shown and its window ("... Part `part`/10") to be mapped.
  std::string Page(const std::string& form, int part) {
    if (!run_.WaitForEvent("show", {{"form", form}})) {
      ADD_FAILURE() << form << " was not shown";
      return "";
    }
    std::string window =
        FindVisibleWindow("Vellomar First Time Setup - Part " + std::to_string(part) + "/10");
    EXPECT_NE(window, "") << "no window for " << form;
    return window;
  }
  // Shows `form`, then presses its only button.
  void Next(const std::string& form, int part) {
    const std::string window = Page(form, part);
    if (!window.empty()) Click(window, kCommand1);
  }

  // Pages 1 to 5 and the trial lock, choosing `password`.
  void ChoosePasswordAndTryTheLock(const std::string& password) {
    Next("Welcome11", 1);
    Next("Welcome1", 2);
    Next("Welcome12", 3);
    const std::string page4 = Page("Welcome2", 4);
    ASSERT_NE(page4, "");
    // Typing needs the keyboard focus, which the window manager gives a new window on its own.
    ASSERT_TRUE(
        WaitUntil([] { return FocusedWindowName() == "Vellomar First Time Setup - Part 4/10"; }));
    Click(page4, kText2);
    SendToFocus("Bogus");  // another client's events: not taken
    Type(password);
    Click(page4, kText3);
    Type(password);
    Key("Return");  // "Next" is the page's default button
    Next("Welcome3", 5);

    // The trial lock covers the whole screen and takes the password just chosen.
    ASSERT_TRUE(run_.WaitForEvent("place", {{"form", "Kestrom"}, {"w", "1024"}, {"h", "768"}}));
    ASSERT_NE(FindWindow("Kestrom"), "");
    ASSERT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }))
        << "the trial lock must hold the keyboard";
    EXPECT_TRUE(WaitUntil([] { return !OtherClientCanGrabPointer(); }))
        << "the trial lock covers the whole screen and holds the pointer";
    Type(password);
    Key("Return");
    ASSERT_TRUE(run_.WaitForEvent("unload", {{"form", "Kestrom"}}));
  }

 private:
  Kestrom& run_;
};

// The password record's first line, without its line break.
std::string RecordLine(const Installation& installation) {
  std::string text = ReadFile(installation.program_dir() / "supermp.dat");
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  } else if (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  return text;
}

std::string StartupEntry(const Installation& installation) {
  platform::EmulatedMachine machine(installation.drive_c(), installation.program_dir());
  VariantValue value;
  ReadMachineValue(machine.registry(), kRunServicesKey, kStartupValueName, value);
  return VariantText(value);
}

// lnkinfo's report on a shortcut: "Local path", "Command line arguments", "Working directory".
std::map<std::string, std::string> LinkInfo(const std::filesystem::path& link) {
  std::map<std::string, std::string> fields;
  Result info = e2e::Run({"lnkinfo", link.string()});
  std::istringstream lines(info.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || line.compare(0, 1, "\t") != 0) continue;
    std::string key = line.substr(1, colon - 1);
    key.erase(key.find_last_not_of(" \t") + 1);
    size_t start = line.find_first_not_of(" \t", colon + 1);
    fields[key] = start == std::string::npos ? "" : line.substr(start);
  }
  return fields;
}

void ExpectShortcut(const std::filesystem::path& link, const std::string& arguments) {
  SCOPED_TRACE(link.filename().string());
  ASSERT_TRUE(std::filesystem::exists(link));
  std::map<std::string, std::string> info = LinkInfo(link);
  EXPECT_EQ(info["Local path"], std::string(kProgramFolder) + "\\kestrom.exe");
  EXPECT_EQ(info["Command line arguments"], arguments);
  EXPECT_EQ(info["Working directory"], kProgramFolder);
}

// Every countdown value shown by the timed prompt so far.
std::vector<int> Countdown(const Kestrom& run) {
  std::vector<int> values;
  for (const ui::TraceEvent& event : run.Events()) {
    if (event.ev == "set" && event.Get("form") == "PassMain" && event.Get("control") == "Label2" &&
        event.Get("prop") == "caption" && !event.Get("value").empty()) {
      values.push_back(std::stoi(event.Get("value")));
    }
  }
  return values;
}

// Same letters, other case: the prompts compare passwords upper-cased.
std::string SwapCase(std::string text) {
  for (char& c : text) {
    if (std::islower(static_cast<unsigned char>(c))) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return text;
}

class WizardE2e : public ::testing::Test {
 protected:
  XSession session_;
  Installation installation_{kFresh};
};

// The actions the window manager offers for a window (_NET_WM_ALLOWED_ACTIONS, e.g. "CLOSE").
std::vector<std::string> AllowedActions(const std::string& window) {
  const std::string out = Run({"xprop", "-id", window, "_NET_WM_ALLOWED_ACTIONS"}).out;
  std::vector<std::string> actions;
  const std::string prefix = "_NET_WM_ACTION_";
  for (size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix, at)) {
    at += prefix.size();
    actions.push_back(out.substr(at, out.find_first_of(", \n", at) - at));
  }
  return actions;
}

TEST_F(WizardE2e, PagesAreFixedDialogsWhoseCloseBoxEndsTheProgram) {
  Kestrom run(installation_, "");
  Wizard wizard(run);
  const std::string page = wizard.Page("Welcome11", 1);
  ASSERT_NE(page, "");
  std::vector<std::string> actions;
  ASSERT_TRUE(WaitUntil([&] {
    actions = AllowedActions(page);
    return !actions.empty();
  })) << "the window manager did not take the page on";
  auto offered = [&](const std::string& action) {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
  };
  EXPECT_TRUE(offered("CLOSE"));
  EXPECT_TRUE(offered("MOVE"));
  for (const char* action : {"MINIMIZE", "MAXIMIZE_HORZ", "MAXIMIZE_VERT", "RESIZE"}) {
    EXPECT_FALSE(offered(action)) << action << " offered for a fixed dialog";
  }
  // The close box (here asked for through the window manager) is a close request with reason 0,
  // which a wizard page answers by ending the program.
  e2e::Run({"wmctrl", "-c", "Vellomar First Time Setup - Part 1/10"});
  EXPECT_EQ(run.WaitForExit(), 0);
  EXPECT_FALSE(run.Has("show", {{"form", "Welcome1"}}));
}

TEST_F(WizardE2e, OptionOneInstallsTheTimedPromptThatTheNextStartShows) {
  constexpr char kPassword[] = "Secret7";
  const std::string encoded = EncodePassword(kPassword);
  {
    Kestrom run(installation_, "");
    Wizard wizard(run);
    ASSERT_NO_FATAL_FAILURE(wizard.ChoosePasswordAndTryTheLock(kPassword));
    EXPECT_EQ(RecordLine(installation_), kStartMarker + encoded + kEndMarker)
        << "the password is stored before the options are chosen";
    wizard.Next("Welcome4", 6);
    wizard.Next("Welcome5", 7);
    wizard.Next("Welcome6", 8);  // option 1 is selected when the page opens
    wizard.Next("Welcome8", 9);  // taskbar box clear, smiley box ticked
    wizard.Next("Welcome9", 10);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_FALSE(run.Has("show", {{"form", "PassMain"}})) << "the wizard replaces the prompt";
    EXPECT_FALSE(run.Has("msgbox"));
    EXPECT_TRUE(OtherClientCanGrabKeyboard()) << "the keyboard grab must end with the program";
    EXPECT_TRUE(OtherClientCanGrabPointer());
  }

  EXPECT_EQ(ReadFile(installation_.program_dir() / "supermp.dat").find('\n'),
            ReadFile(installation_.program_dir() / "supermp.dat").size() - 1)
      << "one line only";
  EXPECT_EQ(RecordLine(installation_), kStartMarker + encoded + kEndMarker + "0100");
  EXPECT_EQ(StartupEntry(installation_), std::string(kProgramFolder) + "\\kestrom.exe /SU:" +
                                             kStartMarker + encoded + kEndMarker);
  const std::filesystem::path windows = installation_.drive_c() / "WINDOWS";
  ExpectShortcut(windows / "Desktop" / "Vellomar.lnk", "/locknowfull");
  const std::filesystem::path menu = windows / "Start Menu" / "Programs" / "Vellomar";
  ExpectShortcut(menu / "Vellomar - Immediate Lock.lnk", "/locknowfull");
  ExpectShortcut(menu / "Vellomar Setup.lnk", "/setup");

  // The next login: the autostart entry runs the start-up runner, which shows the 60-second
  // prompt; answered in the other letter case.
  Kestrom boot = Kestrom::ViaLauncher(installation_, AUTOSTART_ENTRY, true);
  ASSERT_TRUE(boot.WaitForEvent("show", {{"form", "PassMain"}}));
  ASSERT_NE(FindVisibleWindow("Enter Password"), "");
  ASSERT_TRUE(WaitUntil([&] { return !Countdown(boot).empty(); })) << "no countdown shown";
  for (int value : Countdown(boot)) EXPECT_TRUE(value > 0 && value <= 60) << value;
  EXPECT_FALSE(boot.Has("show", {{"form", "Welcome11"}}));
  ASSERT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }))
      << "the prompt must hold the keyboard";
  Type(SwapCase(kPassword));
  Key("Return");
  EXPECT_TRUE(boot.WaitForEvent("end"));
  EXPECT_TRUE(boot.Has("set", {{"control", "Image1"}, {"prop", "visible"}, {"value", "true"}}))
      << "the smiley face marks the accepted password";
  EXPECT_FALSE(boot.Has("msgbox"));
  EXPECT_TRUE(boot.Has("keyboard_lock", {{"engaged", "false"}}));
  ASSERT_TRUE(WaitUntil([] { return OtherClientCanGrabKeyboard(); }));
  EXPECT_TRUE(OtherClientCanGrabPointer());

  // The desktop shows the icon as a launcher of its own, which needs nothing from the session:
  // it starts the whole-screen lock in the program folder, reading supermp.dat there.
  const std::filesystem::path twin = installation_.home() / "Desktop" / "Vellomar.desktop";
  ASSERT_TRUE(std::filesystem::exists(twin));
  const std::filesystem::path menu_twins =
      installation_.home() / ".local/share/applications/vellomar";
  EXPECT_TRUE(std::filesystem::exists(menu_twins / "Vellomar - Immediate Lock.desktop"));
  EXPECT_TRUE(std::filesystem::exists(menu_twins / "Vellomar Setup.desktop"));
  Kestrom icon = Kestrom::ViaLauncher(installation_, twin, false);
  ASSERT_TRUE(icon.WaitForEvent("show", {{"form", "Kestrom"}}));
  ASSERT_TRUE(icon.WaitForEvent("place", {{"form", "Kestrom"}, {"w", "1024"}, {"h", "768"}}))
      << "/locknowfull covers the whole screen";
  ASSERT_NE(FindWindow("Kestrom"), "");
  ASSERT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }));
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Kestrom"; }))
      << "typed keys would go to " << FocusedWindowName();
  Type(kPassword);
  Key("Return");
  EXPECT_TRUE(icon.WaitForEvent("end"));
  EXPECT_TRUE(icon.Has("set", {{"control", "Label3"}, {"value", "Status: Password verified."}}));
  EXPECT_TRUE(WaitUntil([] { return OtherClientCanGrabKeyboard(); }));
}

TEST_F(WizardE2e, OptionTwoWithTheTaskbarLocksAtTheNextStart) {
  constexpr char kPassword[] = "open sesame";
  const std::string encoded = EncodePassword(kPassword);
  {
    Kestrom run(installation_, "");
    Wizard wizard(run);
    ASSERT_NO_FATAL_FAILURE(wizard.ChoosePasswordAndTryTheLock(kPassword));
    wizard.Next("Welcome4", 6);
    wizard.Next("Welcome5", 7);
    const std::string page8 = wizard.Page("Welcome6", 8);
    ASSERT_NE(page8, "");
    Click(page8, kOption2, /*at_left=*/true);
    ASSERT_TRUE(run.WaitForEvent(
        "set", {{"form", "Welcome6"}, {"control", "Option2"}, {"prop", "value"}, {"value", "1"}}));
    Click(page8, kCommand1);
    const std::string page9 = wizard.Page("Welcome8", 9);
    ASSERT_NE(page9, "");
    Click(page9, kCheck1, /*at_left=*/true);
    ASSERT_TRUE(run.WaitForEvent(
        "set", {{"form", "Welcome8"}, {"control", "Check1"}, {"prop", "value"}, {"value", "1"}}));
    Click(page9, kCommand1);
    wizard.Next("Welcome9", 10);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_FALSE(run.Has("show", {{"form", "Welcome7"}}));
  }
  EXPECT_EQ(RecordLine(installation_), kStartMarker + encoded + kEndMarker + "1100");
  EXPECT_EQ(StartupEntry(installation_), std::string(kProgramFolder) +
                                             "\\kestrom.exe /locknow /SU:" + kStartMarker +
                                             encoded + kEndMarker);
  ExpectShortcut(installation_.drive_c() / "WINDOWS" / "Desktop" / "Vellomar.lnk", "/locknow");

  Kestrom boot = Kestrom::ViaStartupRunner(installation_);
  ASSERT_TRUE(boot.WaitForEvent("place", {{"form", "Kestrom"}, {"w", "1024"}, {"h", "700"}}));
  ASSERT_NE(FindWindow("Kestrom"), "");
  EXPECT_FALSE(boot.Has("show", {{"form", "PassMain"}}));
  ASSERT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }));
  Type(kPassword);
  Key("Return");
  EXPECT_EQ(boot.WaitForExit(), 0);
  EXPECT_TRUE(boot.Has("set", {{"control", "Label3"}, {"value", "Status: Password verified."}}));
  EXPECT_FALSE(boot.Has("show", {{"form", "Welcome4"}})) << "an ordinary lock never continues "
                                                            "into the wizard";
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
  EXPECT_TRUE(OtherClientCanGrabPointer());
}

}  // namespace
}  // namespace vellomar::e2e
