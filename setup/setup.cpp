#include "setup/setup.h"

#include <exception>

#include "lock/screen_size.h"
#include "record/password_record.h"
#include "setup/changes_made.h"
#include "setup/warn_msdos_sys.h"
#include "system/boot_files.h"
#include "system/lock_switches.h"
#include "system/shortcuts.h"

namespace vellomar {

namespace {

// Window heights (title bar and borders included) and what the frame takes of them.
constexpr int kHeightAt640x480 = 7155;
constexpr int kHeight = 6825;
constexpr int kClientHeight = 6468;

// The library calls report failure by value; the apply run treats it as its stage's failure.
void Check(bool done, const char* what) {
  if (!done) throw RuntimeError(errc::kPathFileAccessError, what);
}

}  // namespace

Setup::Setup(ui::Application& app) : ui::Form(app, "Setup") {
  Command1.on_click = [this] { Command1_Click(); };
  Command2.on_click = [this] { Command2_Click(); };
}

void Setup::InitializeComponent() {
  InitCaption("Vellomar version 1.0 Setup");
  border = ui::BorderStyle::Sizable;
  centered = true;
  client_width = 9480;
  client_height = kClientHeight;

  // Controls in tab order.
  int tab = 0;
  auto place = [&tab](ui::Control& control, ui::Rect rect, const char* caption) {
    control.rect = rect;
    control.InitCaption(caption);
    control.tab_index = tab++;
  };
  auto heading = [](ui::Label& label, ui::Shape& frame, ui::Rect title, ui::Rect box,
                    const char* caption) {
    label.rect = title;
    label.bold = true;
    label.InitCaption(caption);
    frame.rect = box;
  };
  heading(Label1, Shape1, {360, 480, 4095, 375}, {240, 720, 4455, 1215}, "Change Your Password");
  place(lblLabels[0], {360, 960, 1560, 375}, "&New Password:");
  place(Text2, {2040, 960, 2325, 345}, "");
  place(lblLabels[1], {360, 1320, 1560, 615}, "&Repeat New Password:");
  place(Text3, {2040, 1440, 2325, 345}, "");
  for (ui::TextBox* box : {&Text2, &Text3}) {
    box->password_char = '*';
    box->max_length = kMaxPasswordLength;
    box->InitText("");
  }

  heading(Label2, Shape2, {360, 2400, 4095, 375}, {240, 2640, 4455, 1335},
          "Immediate Locking Properties");
  place(Check1, {360, 2880, 3495, 495}, "Show Taskbar during locking");
  place(Check2, {360, 3360, 3615, 495}, "Show smiley face when correct password is entered.");

  heading(Label4, Shape4, {360, 4440, 4095, 375}, {240, 4680, 4455, 1335},
          "Desktop/Start Menu Options");
  place(Check5, {360, 4920, 3855, 495}, "Immediate locking icon on the desktop");
  place(Check6, {360, 5400, 3855, 495}, "Start Menu contains \"Vellomar\" folder");

  heading(Label3, Shape3, {5040, 240, 4095, 375}, {4920, 600, 4320, 4455}, "Bootup Options");
  place(Option1, {5040, 840, 3975, 375}, "Nothing happens on bootup");
  place(Option2, {5040, 1320, 3975, 495}, "60 seconds to enter password after Windows loads");
  place(Option3, {5040, 1800, 3855, 495}, "Immediate lock after Windows loads");
  place(Option4, {5040, 2280, 3735, 495}, "Immediate lock before Windows loads");
  place(Option5, {5040, 2760, 3855, 495}, "Immediate lock both before AND after Windows loads");
  Line1.rect = {4920, 3480, 9240 - 4920, 0};
  place(Check3, {5040, 3600, 3975, 495},
        "Lock DOS when restarting in DOS mode (from the shut down screen)");
  place(Check4, {5040, 4200, 3855, 735},
        "Make extra secure by disabling Windows bootup keys during the bootup process.");

  place(Command1, {4920, 5400, 2175, 735}, "Make Changes");
  place(Command2, {7320, 5400, 1935, 735}, "Cancel");
}

void Setup::Form_Load() {
  // Height by the screen: a little taller at 640 x 480.
  const ScreenPixels screen = ScreenSizeInPixels(app().Screen());
  const bool vga = screen.width == 640 && screen.height == 480;
  client_height = (vga ? kHeightAt640x480 : kHeight) - (kHeight - kClientHeight);

  // The Windows directory, and the shortcuts where the shell keeps them.
  GetWinPath = WindowsDirectory(app().files());
  a1 = StartMenuFolderExists(app().files(), app().links()) ? 1 : 0;
  Check6.SetValue(a1);
  a2 = DesktopShortcutExists(app().files(), app().links()) ? 1 : 0;
  Check5.SetValue(a2);

  // The option digits.
  ReadOptionDigits();

  // The lock line before Windows.
  const bool autoexec_lock = AutoexecHasLock(app().files(), GetWinPath);

  // The start-up entry and the boot option it gives.
  try {
    ReadMachineValue(app().registry(), kRunServicesKey, kStartupValueName, vValue,
                     [this] { SelectBootOption(BootOption::kNothing); });
    app().DoEvents();
    const BootOptionInForce in_force = BootOptionFromEntry(vValue, autoexec_lock);
    SelectBootOption(in_force.option);
    a7 = in_force.a7;
  } catch (const std::exception&) {
    SelectBootOption(BootOption::kNothing);
  }
}

void Setup::ReadOptionDigits() {
  ui::CheckBox* boxes[] = {&Check1, &Check2, &Check3, &Check4};
  std::optional<int>* digits[] = {&a3, &a4, &a5, &a6};
  PasswordRecord record;
  try {
    record = ParsePasswordRecord(ReadPasswordRecord(app().files(), ""));
  } catch (const RecordCorrupted&) {
    app().files().Close(kPasswordFileNumber);
    Hide();
    app().MsgBox(kMsgRecordCorrupted, "Error");
    app().End(1);
  } catch (const RuntimeError&) {
    // Missing, empty or unreadable: the boxes stay cleared and the digits unset.
    return;
  }
  pa = record.encoded;
  if (record.digits.size() != 4) return;
  for (int i = 0; i < 4; ++i) {
    const char digit = record.digits[i];
    boxes[i]->SetValue(digit == '1' ? 1 : 0);
    if (digit == '0' || digit == '1') *digits[i] = digit - '0';
  }
}

void Setup::SelectBootOption(BootOption option) {
  ui::OptionButton* buttons[] = {&Option1, &Option2, &Option3, &Option4, &Option5};
  const int chosen = static_cast<int>(option) - 1;
  for (int i = 0; i < 5; ++i) {
    if (i != chosen) buttons[i]->SetValue(0);
  }
  buttons[chosen]->SetValue(1);
}

BootOption Setup::SelectedBootOption() const {
  const ui::OptionButton* buttons[] = {&Option1, &Option2, &Option3, &Option4, &Option5};
  for (int i = 0; i < 5; ++i) {
    if (buttons[i]->Value() == 1) return static_cast<BootOption>(i + 1);
  }
  return BootOption::kNothing;
}

void Setup::Command1_Click() {
  platform::FileSystem& files = app().files();
  const bool taskbar = Check1.Value() == 1;
  const bool smiley = Check2.Value() == 1;
  bool warned = false;
  try {
    // Stage 1: the boot keys are about to be disabled; the user may still say no.
    section = 1;
    if (Check4.Value() == 1 && a6.value_or(0) == 0) {
      WarnMsdosSys& warning = app().Get<WarnMsdosSys>();
      warning.Show(/*modal=*/true);
      warned = true;
      if (warning.canceled == "true") return;
    }

    // Stage 2: a new password.
    section = 2;
    if (!Text2.Text().empty() && !ChangePassword()) return;

    // Stages 3-6: the shortcuts.
    const std::string program = ProgramPath(files);
    const std::string switches = LockSwitches(taskbar, smiley);
    section = 3;
    if (Check5.Value() == 1) {
      Check(CreateDesktopShortcut(app().links(), program, switches),
            "The desktop shortcut could not be made.");
      app().DoEvents();
    }
    section = 4;
    if (Check5.Value() == 0 && a2 == 1) RemoveDesktopShortcut(files, app().links());
    section = 5;
    if (Check6.Value() == 1) {
      CreateStartMenuFolder(files, StartMenuFolder(app().links()));  // may exist already
      app().DoEvents();
      Check(CreateStartMenuShortcuts(app().links(), program, switches),
            "The Start menu shortcuts could not be made.");
    }
    section = 6;
    if (Check6.Value() == 0 && a1 == 1) RemoveStartMenuFolder(files, app().links());

    // Stage 7: the option digits, before any boot file changes.
    section = 7;
    pa = ParsePasswordRecord(ReadPasswordRecord(files, "")).encoded;
    std::string digits;
    for (const ui::CheckBox* box : {&Check1, &Check2, &Check3, &Check4}) {
      digits += box->Value() == 1 ? '1' : '0';
    }
    WritePasswordRecord(files, pa, digits);
    app().DoEvents();

    // Stage 8: the start-up entry and the lock before Windows.
    section = 8;
    ApplyBootOption();

    // Stages 9-12: DOS mode and the boot keys.
    section = 9;
    if (Check3.Value() == 1 && a5.value_or(0) == 0) AddDosStartLock(files, GetWinPath, sname);
    section = 10;
    if (Check3.Value() == 0 && a5.value_or(0) == 1) RemoveDosStartLock(files, GetWinPath);
    section = 11;
    if (warned && app().Get<WarnMsdosSys>().canceled == "false") {
      DisableBootKeys(files, GetWinPath);
    }
    section = 12;
    if (Check4.Value() == 0 && a6.value_or(0) == 1) EnableBootKeys(files, GetWinPath);
    section = kSectionDone;
  } catch (const BootKeysUnavailable&) {
    section = kSectionBootKeysUnavailable;
  } catch (const std::exception&) {
    // `section` names the stage that failed.
  }
  Hide();
  app().Get<ChangesMade>().Show(/*modal=*/true);
}

bool Setup::ChangePassword() {
  if (Text3.Text().empty()) {
    app().MsgBox(kMsgRepeatBlank, "Error");
    return false;
  }
  if (UpperCase(Text2.Text()) != UpperCase(Text3.Text())) {
    app().MsgBox(kMsgNewPasswordsDiffer, "Error");
    return false;
  }
  const std::string encoded = EncodePassword(Text2.Text());
  if (!PasswordUsable(encoded)) {
    app().MsgBox(kMsgPasswordUnusable, "Error");
    return false;
  }
  platform::FileSystem& files = app().files();
  try {
    PasswordRecord record;
    try {
      record = ParsePasswordRecord(ReadPasswordRecord(files, ""));
    } catch (const RecordCorrupted&) {
      files.Close(kPasswordFileNumber);
      Hide();
      app().MsgBox(kMsgRecordCorrupted, "Error");
      app().End(1);
    }
    pa = record.encoded;
    finpa = encoded;
    WritePasswordRecord(files, finpa, record.digits);
    passchanged = "true";
  } catch (const std::exception&) {
    files.Close(kPasswordFileNumber);
    Hide();
    app().MsgBox(kMsgRecordMissing, "Error");
    app().End(1);
  }
  return true;
}

// Every row whose condition holds runs, in order; `old` is the boot option found at load.
void Setup::ApplyBootOption() {
  platform::FileSystem& files = app().files();
  const int old = a7.value_or(0);
  const BootOption chosen = SelectedBootOption();
  auto write_entry = [&] {
    const std::string command =
        StartupCommand(files.CurDir(), chosen, Check1.Value() == 1, Check2.Value() == 1, pa);
    Check(WriteStartupEntry(app().registry(), command, files.CurDir()) ==
              platform::win32::kErrorSuccess,
          "The start-up entry could not be written.");
  };
  auto delete_entry = [&] {
    Check(DeleteStartupEntry(app().registry()) == platform::win32::kErrorSuccess,
          "The start-up entry could not be deleted.");
  };
  switch (chosen) {
    case BootOption::kNothing:
      if (old > 1) delete_entry();
      if (old > 3) RemoveAutoexecLock(files, GetWinPath);
      break;
    case BootOption::kSixtySeconds:
    case BootOption::kLockAfterWindows:
      write_entry();
      if (old > 3) RemoveAutoexecLock(files, GetWinPath);
      break;
    case BootOption::kLockBeforeWindows:
      if (old == 2 || old == 3 || old == 5) delete_entry();
      if (old < 4) AddAutoexecLock(files, GetWinPath, sname);
      break;
    case BootOption::kLockBothSides:
      write_entry();
      if (old < 4) AddAutoexecLock(files, GetWinPath, sname);
      break;
  }
}

void Setup::Command2_Click() {
  Unload();
  app().End();
}

}  // namespace vellomar
