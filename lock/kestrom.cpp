#include "lock/kestrom.h"

#include <exception>

#include "lock/record_at_ok.h"
#include "lock/screen_size.h"
#include "lock/wizard_handover.h"

namespace vellomar {
namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

Kestrom::Kestrom(ui::Application& app) : ui::Form(app, "Kestrom") {
  Command1.on_click = [this] { Command1_Click(); };
  Text1.on_click = [this] { Text1_Click(); };
  Timer1.on_timer = [this] { Timer1_Timer(); };
}

void Kestrom::InitializeComponent() {
  InitCaption("Kestrom");  // not on screen: the lock window has no title bar
  border = ui::BorderStyle::None;
  centered = false;
  lock_screen = true;
  client_width = 9420;
  client_height = 5688;

  Label1.rect = {1800, 1080, 5775, 735};
  Label1.InitCaption(
      "The desktop has been locked.  To release the lock you must enter the password.");

  Label2.rect = {1800, 2280, 1095, 375};
  Label2.InitCaption("Password:");
  Label2.bold = true;

  Text1.rect = {3000, 2160, 3495, 375};
  Text1.InitText("");
  Text1.password_char = '*';
  Text1.max_length = kMaxPasswordLength;
  Text1.tab_index = 0;

  Command1.rect = {3360, 2880, 2295, 615};
  Command1.InitCaption("OK");
  Command1.bold = true;
  Command1.is_default = true;
  Command1.checks_password = true;
  Command1.tab_index = 1;

  Shape1.rect = {1560, 840, 5895, 2895};

  Label3.rect = {240, 4200, 8895, 495};
  Label3.InitCaption("");
  Label3.bold = true;

  Image1.rect = {6120, 4560, 615, 615};
  Image1.picture = ui::Picture::SmileyClosed;
  Image2.rect = {6000, 4440, 915, 915};
  Image2.picture = ui::Picture::SmileyLaughing;
  Image3.rect = {5880, 4320, 1275, 1155};
  Image3.picture = ui::Picture::SmileyLaughing;
  Image4.rect = {5760, 4080, 1575, 1455};
  Image4.picture = ui::Picture::SmileyLarge;
  for (ui::Image* image : {&Image1, &Image2, &Image3, &Image4}) {
    image->stretch = true;
    image->InitVisible(false);
  }

  Timer1.InitInterval(1000);
  Timer1.InitEnabled(true);
}

void Kestrom::Form_Load() {
  const std::string command = UpperCase(app().Command());

  // Lock the keyboard and choose the mode; a failure here is a keyboard-lock failure.
  try {
    app().SetScreenSaverRunning(true);
    const std::optional<bool> switched = FullModeSwitch(command);
    full_mode_ = switched ? *switched : app().Get<WizardHandover>().TrialLock();
  } catch (const std::exception&) {
    Hide();
    app().MsgBox(kMsgKeyboardLockFailed, "Error");
    ReleaseAndEnd();
  }

  // Stop the focus timer in taskbar mode; size the window top-most from the table. Any
  // failure gives 640 x 455 and loading goes on.
  try {
    if (!full_mode_) {
      Timer1.SetInterval(0);
      Timer1.SetEnabled(false);
    }
    const ScreenPixels screen = ScreenSizeInPixels(app().Screen());
    WidthPixels = screen.width;
    HeightPixels = screen.height;
    const WindowSize size = LockWindowSize(screen, full_mode_);
    app().SetWindowPosTopmost(*this, 0, 0, size.width, size.height);
  } catch (const std::exception&) {
    app().SetWindowPosTopmost(*this, 0, 0, kFallbackWindowSize.width, kFallbackWindowSize.height);
  }

  // Read and check the record; run-time errors end with the second corruption message.
  try {
    // The window hides before a message that ends the run. A run restarted after a crash
    // keeps the lock with the record it started with when the file went bad meanwhile.
    record_ = ReadRecordAtLoad(app(), [this] { Hide(); });
    // The field is in record_. No password chosen yet: make way for the wizard, which
    // takes over the engaged keyboard lock.
    Label3.SetCaption("");
    if (IsNoPasswordPlaceholder(record_.encoded)) {
      Unload();
      app().Get<WizardHandover>().StartWizard();
    }
  } catch (const std::exception&) {
    Hide();
    app().MsgBox(kMsgRecordMissing, "Error");
    ReleaseAndEnd();
  }
}

void Kestrom::Form_QueryUnload(int& cancel, int unload_mode) {
  // The close box, Alt+F4 and the task list cannot close the lock; its own unload and shutting
  // down can.
  if (unload_mode == 0 || unload_mode == 3) cancel = 1;
}

void Kestrom::Timer1_Timer() {
  // A tick while an error message is up does nothing, whether the window hid for it or (a run
  // restarted with a damaged file) stays under it: the message keeps the keys.
  if (!Visible() || app().MessageBoxOpen()) return;
  Text1.SetFocus();
}

void Kestrom::Text1_Click() {
  Label3.SetCaption("");
}

void Kestrom::Command1_Click() {
  const std::string command = UpperCase(app().Command());

  // In full mode by switch, the focus timer pauses during the check.
  if (Contains(command, "/LOCKNOWFULL")) {
    Timer1.SetInterval(0);
    Timer1.SetEnabled(false);
  }

  // The check runs under the error handler below.
  try {
    // Read the record again. One that can no longer be read ends the program only when the
    // keyboard is not locked; otherwise the lock stays up and the record read at load is checked.
    std::optional<PasswordRecord> fresh = ReadRecordAtOk(app(), record_);
    if (!fresh && !app().KeyboardLocked()) ReleaseAndEnd();
    const PasswordRecord& checked = fresh ? *fresh : record_;
    // The field is in `checked`.
    if (Text1.Text().empty()) {
      // Blank entry.
      Label3.SetCaption("Status: You have left the required password field blank.");
    } else if (!PasswordMatches(checked.encoded, Text1.Text())) {
      // Decoded and compared upper-cased: wrong. Text1 keeps what was typed.
      app().WrongPassword();
      Label3.SetCaption("Status: The password is incorrect.");
    } else {
      // Accepted: the status line says so and the keyboard lock is released.
      LoginSucceeded = true;
      Label3.SetCaption("Status: Password verified.");
      app().SetScreenSaverRunning(false);
      // The growing smiley: Image1 for 0.2 s, Image2 and Image3 for 0.1 s, Image4 stays.
      if (!Contains(command, "/NOSMILE")) {
        Image1.SetVisible(true);
        app().DoEvents();
        app().Wait(0.1);
        Image1.SetVisible(true);
        app().DoEvents();
        app().Wait(0.1);
        Image1.SetVisible(false);
        Image2.SetVisible(true);
        app().DoEvents();
        app().Wait(0.1);
        Image2.SetVisible(false);
        Image3.SetVisible(true);
        app().DoEvents();
        app().Wait(0.1);
        Image3.SetVisible(false);
        Image4.SetVisible(true);
      }
      // With or without the smiley, a second's pause.
      app().DoEvents();
      app().Wait(1.0);
      // The wizard's trial lock goes back to the wizard; any other lock ends the program.
      if (app().Get<WizardHandover>().TrialLock()) {
        // The wizard's trial lock succeeded: the wizard goes on.
        Unload();
        app().Get<WizardHandover>().TrialLockFreed();
      } else {
        Unload();
        app().End();
      }
    }
  } catch (const std::exception&) {
    // The record could not be read: the second corruption message, and the end.
    Hide();
    app().MsgBox(kMsgRecordMissing, "Error");
    ReleaseAndEnd();
  }

  // Resume the focus timer.
  if (Contains(command, "/LOCKNOWFULL")) {
    Timer1.SetInterval(1000);
    Timer1.SetEnabled(true);
  }
}

void Kestrom::ReleaseAndEnd() {
  // Only error paths end this way: the exit status says so.
  app().ReleaseAndEnd(1);
}

}  // namespace vellomar
