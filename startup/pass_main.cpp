#include "startup/pass_main.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "lock/kestrom.h"
#include "lock/lockout.h"
#include "lock/record_at_ok.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "setup/enter_setup_password.h"
#include "system/lock_switches.h"
#include "wizard/pages_handover.h"

namespace vellomar {
namespace {

// The four lock switches in the order they are tested, from the shared switch table:
// "/LOCKNOW", "/LOCKNOWFULL", "/LOCKNOW /NOSMILE", "/LOCKNOWFULL /NOSMILE".
constexpr struct {
  bool taskbar, smiley;
} kLockSwitchOrder[] = {{true, true}, {false, true}, {true, false}, {false, false}};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

PassMain::PassMain(ui::Application& app) : ui::Form(app, "PassMain") {
  // Every run starts here: the lock screen below finds the wizard through its hand-over.
  app.Provide<WizardHandover, WizardPagesHandover>();
  cmdOK.on_click = [this] { cmdOK_Click(); };
  Timer1.on_timer = [this] { Timer1_Timer(); };
  Timer2.on_timer = [this] { Timer2_Timer(); };
}

void PassMain::InitializeComponent() {
  InitCaption("Enter Password");
  border = ui::BorderStyle::FixedDialog;
  holds_desktop = true;
  centered = true;
  client_width = 4116;
  client_height = 1992;
  icon = ui::Picture::Padlock;

  Label1.rect = {120, 120, 3375, 375};
  Label1.InitCaption("Please type the password.");
  Label1.bold = true;
  Label1.font_size = 12;

  lblLabels.rect = {105, 840, 1080, 270};
  lblLabels.InitCaption("&Password:");
  lblLabels.tab_index = 0;  // just before Text1, the box it names

  Text1.rect = {960, 720, 2325, 345};
  Text1.InitText("");
  Text1.password_char = '*';
  Text1.max_length = kMaxPasswordLength;
  Text1.tab_index = 0;

  cmdOK.rect = {1440, 1320, 1380, 390};
  cmdOK.InitCaption("OK");
  cmdOK.is_default = true;
  cmdOK.checks_password = true;
  cmdOK.tab_index = 1;

  Label2.rect = {120, 1320, 375, 495};
  Label2.InitCaption("");
  Label2.bold = true;

  Image1.rect = {120, 1320, 384, 384};
  Image1.picture = ui::Picture::SmileyClosed;
  Image1.stretch = false;
  Image1.InitVisible(false);

  Timer1.InitInterval(60000);
  Timer1.InitEnabled(true);
  Timer2.InitInterval(100);
  Timer2.InitEnabled(true);
}

void PassMain::Form_Initialize() {
  // The keyboard is locked before anything shows; the countdown is drawn while Start is still
  // empty.
  EngageKeyboardLock();
  RefreshCountdown();
}

void PassMain::Form_Load() {
  const std::string command = UpperCase(app().Command());

  EngageKeyboardLock();

  // Exactly "/SETUP": the setup gate.
  if (command == "/SETUP") {
    Hide();
    Timer1.SetInterval(0);
    Timer1.SetEnabled(false);
    app().DoEvents();
    app().Get<EnterSetupPassword>().Show();
  }

  // Any lock switch: the immediate lock screen. Independent tests; a form already shown is
  // only brought to the front again.
  for (const auto& choice : kLockSwitchOrder) {
    if (Contains(command, UpperCase(LockSwitches(choice.taskbar, choice.smiley)))) {
      Hide();
      Timer1.SetInterval(0);
      Timer1.SetEnabled(false);
      app().DoEvents();
      app().Get<Kestrom>().Show();
    }
  }

  // The record is read and checked in every run; run-time errors from here on go to the
  // handler below.
  try {
    // The keyboard lock is engaged once more before the record is read.
    EngageKeyboardLock();

    // Read the record, from the command line after "/SU:" or from supermp.dat; both markers
    // must be present, or it counts as corrupted. A run restarted after a crash keeps the lock
    // with the record it started with when the file went bad meanwhile.
    record_ = ReadRecordAtLoad(app(), [this] { RefreshCountdown(); });
    // The countdown starts now and shows 60. A run restarted after a crash goes on
    // with the seconds the prompt had left.
    Start = app().Timer();
    ResumeCountdown();
    RefreshCountdown();
    // The encoded password field is in record_. No password chosen yet: the wizard,
    // which ends the program on every way out.
    if (IsNoPasswordPlaceholder(record_.encoded)) {
      Timer1.SetEnabled(false);
      Hide();
      app().Get<WizardHandover>().StartWizard();
    }
  } catch (const std::exception&) {
    app().MsgBox(kMsgRecordMissing, "Error");
    ReleaseAndEnd();
  }

  // Unless hidden above, the form now shows as the timed prompt; a run restarted after the
  // minute had run out goes straight back to the lockout.
  RefreshCountdown();
  if (Timer1.Enabled() && app().Resumed().stage == ui::LockState::Stage::kLockout) Timer1_Timer();
}

void PassMain::Form_Activate() {
  EngageKeyboardLock();
  RefreshCountdown();
}

void PassMain::Form_GotFocus() {
  RefreshCountdown();
}

void PassMain::Form_MouseMove() {
  RefreshCountdown();
}

void PassMain::Form_QueryUnload(int& cancel, int unload_mode) {
  // The close box, Alt+F4 and the Task Manager cannot close the prompt; shutting down can.
  if (unload_mode == 0 || unload_mode == 3) cancel = 1;
}

void PassMain::cmdOK_Click() {
  // Run-time errors from here on go to the handler at the end.
  try {
    // The file left open by an earlier check is closed before it is read again.
    app().files().Close(kPasswordFileNumber);

    // Read the record again: a file changed since load is noticed now, and a missing
    // marker is reported even when Text1 is blank. One that can no longer be read ends the
    // program only when the keyboard is not locked; otherwise the record read at load is checked.
    std::optional<PasswordRecord> fresh = ReadRecordAtOk(app(), record_);
    if (!fresh && !app().KeyboardLocked()) ReleaseAndEnd();
    const PasswordRecord& checked = fresh ? *fresh : record_;

    // The encoded password field is in `checked`.
    RefreshCountdown();

    // Blank entry: the prompt stays as it was.
    if (Text1.Text().empty()) {
      app().MsgBox("You have left the required password field blank.", "Error");
      RefreshCountdown();
      return;
    }

    // Decode the stored field and compare both texts upper-cased. A mismatch keeps the
    // typed text and the focus; the minute goes on.
    const bool matches = PasswordMatches(checked.encoded, Text1.Text());
    RefreshCountdown();
    if (!matches) {
      app().WrongPassword();
      app().MsgBox("The password is incorrect.", "Error");
      RefreshCountdown();
      return;
    }

    // Accepted: the smiley for a second, then the program ends.
    LoginSucceeded = true;
    RefreshCountdown();
    Label2.SetVisible(false);
    Image1.SetVisible(true);
    app().DoEvents();
    app().Wait(1.0);
    app().SetScreenSaverRunning(false);
    Unload();
    app().End();
  } catch (const std::exception&) {
    app().MsgBox(kMsgRecordMissing, "Error");
    ReleaseAndEnd();
  }
}

void PassMain::Timer1_Timer() {
  // The minute has run out: the lockout screen takes over, the keyboard stays locked.
  RefreshCountdown();
  Timer1.SetEnabled(false);
  app().ReportLockState({ui::LockState::Stage::kLockout, 0});
  Hide();
  app().Get<Lockout>().Show();
}

void PassMain::Timer2_Timer() {
  RefreshCountdown();
}

void PassMain::ResumeCountdown() {
  const ui::LockState& resumed = app().Resumed();
  if (resumed.stage != ui::LockState::Stage::kPrompt || !Timer1.Enabled()) return;
  const int used = resumed.prompt_elapsed_seconds;
  // A few hundredths more than the seconds used: the clock is a float of seconds since midnight,
  // exact to a hundredth at best, and the countdown must not show a second back. An earlier
  // start may lie on the day before.
  float start = *Start - static_cast<float>(used) - 0.05f;
  if (start < 0) start += 86400.0f;
  Start = start;
  Timer1.SetInterval(std::max(1, (60 - used) * 1000));
}

void PassMain::EngageKeyboardLock() {
  try {
    app().SetScreenSaverRunning(true);
  } catch (const RuntimeError& error) {
    // Our own rule, not the old program's: without the lock the prompt would run unprotected,
    // and a missing lock is no password-file problem. Say what failed, as the lock screen does,
    // and end with the lock released.
    if (error.code() != errc::kKeyboardLockUnavailable) throw;
    app().MsgBox(kMsgKeyboardLockFailed, "Error");
    ReleaseAndEnd();
  }
}

void PassMain::RefreshCountdown() {
  // An empty Start counts as 0, as in arithmetic on an empty variant: before the record is read
  // the label holds a meaningless (negative) number, and the form is not on screen yet.
  const float elapsed = platform::ElapsedSeconds(Start.value_or(0.0f), app().Timer());
  const long remaining = 60 - static_cast<long>(std::floor(elapsed));
  Label2.SetCaption(std::to_string(remaining));
  // While the minute runs, the seconds used are what a restart after a crash goes on from.
  if (Start && Timer1.Enabled()) {
    app().ReportLockState({ui::LockState::Stage::kPrompt, static_cast<int>(60 - remaining)});
  }
}

void PassMain::ReleaseAndEnd() {
  // Only error paths end this way: the exit status says so.
  app().ReleaseAndEnd(1);
}

}  // namespace vellomar
