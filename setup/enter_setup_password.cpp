#include "setup/enter_setup_password.h"

#include "record/password_record.h"
#include "setup/setup.h"

namespace vellomar {

EnterSetupPassword::EnterSetupPassword(ui::Application& app) : ui::Form(app, "EnterSetupPassword") {
  cmdOK.on_click = [this] { cmdOK_Click(); };
  cmdCancel.on_click = [this] { cmdCancel_Click(); };
}

void EnterSetupPassword::InitializeComponent() {
  InitCaption("Enter Setup");
  border = ui::BorderStyle::FixedDialog;
  show_in_taskbar = false;
  centered = true;
  client_width = 3984;
  client_height = 2112;

  Label1.rect = {240, 120, 3612, 852};
  Label1.InitCaption("To enter Vellomar Setup, you need to type your Vellomar Password below.");

  lblLabels.rect = {240, 1080, 1080, 375};
  lblLabels.InitCaption("&Password:");
  lblLabels.tab_index = 0;  // just before Text1, the box it names

  Text1.rect = {1320, 960, 2325, 345};
  Text1.InitText("");
  Text1.password_char = '*';
  Text1.max_length = kMaxPasswordLength;
  Text1.tab_index = 0;

  cmdOK.rect = {840, 1560, 1140, 390};
  cmdOK.InitCaption("OK");
  cmdOK.is_default = true;
  cmdOK.checks_password = true;
  cmdOK.tab_index = 1;

  cmdCancel.rect = {2160, 1560, 1140, 390};
  cmdCancel.InitCaption("Cancel");
  cmdCancel.is_cancel = true;
  cmdCancel.tab_index = 2;
}

void EnterSetupPassword::cmdOK_Click() {
  try {
    // Read the record and take it apart; a missing marker ends the program.
    PasswordRecord record;
    try {
      record = ParsePasswordRecord(ReadPasswordRecord(app().files(), app().Command()));
    } catch (const RecordCorrupted&) {
      app().files().Close(kPasswordFileNumber);
      app().MsgBox(kMsgRecordCorrupted, "Error");
      AbruptEnd();
    }
    // Blank entry: the gate stays open.
    if (Text1.Text().empty()) {
      app().MsgBox("You have left the required password field blank.", "Error");
      return;
    }
    // Wrong password: the gate stays open with what was typed.
    if (!PasswordMatches(record.encoded, Text1.Text())) {
      app().WrongPassword();
      app().MsgBox("The password is incorrect.", "Error");
      return;
    }
    // Accepted: after half a second the lock is released and the gate goes.
    LoginSucceeded = true;
    app().DoEvents();
    app().Wait(0.5);
    app().SetScreenSaverRunning(false);
    Unload();
  } catch (const std::exception&) {
    // The record could not be read: the corruption message, and the end.
    app().MsgBox(kMsgRecordMissing, "Error");
    AbruptEnd();
  }
  // Setup runs modally; the program ends when it returns.
  app().Get<Setup>().Show(/*modal=*/true);
  app().End();
}

void EnterSetupPassword::cmdCancel_Click() {
  LoginSucceeded = false;
  app().SetScreenSaverRunning(false);
  Unload();
  app().End();
}

void EnterSetupPassword::Form_QueryUnload(int& cancel, int unload_mode) {
  (void)cancel;
  // Closing the gate from its frame (close box, Alt+F4) or the task list is a Cancel: the
  // program must not stay running invisibly with the keyboard lock set.
  if (unload_mode == 0 || unload_mode == 3) {
    app().SetScreenSaverRunning(false);
    app().End();
  }
}

void EnterSetupPassword::AbruptEnd() {
  app().SetScreenSaverRunning(false);
  Unload();
  app().End(1);  // only the failure paths end this way
}

}  // namespace vellomar
