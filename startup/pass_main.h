#pragma once
// PassMain: the form every run starts in. Its Initialize and Load engage the keyboard lock and
// dispatch the run on the command line: the setup gate for exactly "/SETUP", the immediate lock
// screen for any "/LOCKNOW", the first-time wizard while the record holds the no-password
// placeholder. Otherwise it stays on screen as the timed prompt: 60 seconds to type the password,
// then the lockout screen for good.

#include <optional>
#include <string>

#include "record/password_record.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

class PassMain : public ui::Form {
 public:
  explicit PassMain(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label lblLabels{*this, "lblLabels"};
  ui::TextBox Text1{*this, "Text1"};
  ui::CommandButton cmdOK{*this, "cmdOK"};
  ui::Label Label2{*this, "Label2"};  // the countdown
  ui::Image Image1{*this, "Image1"};  // the smiley, in the countdown's place on success
  ui::Timer Timer1{*this, "Timer1"};  // end of the minute
  ui::Timer Timer2{*this, "Timer2"};  // countdown refresh

  // Clock reading (seconds since midnight) when the countdown started; empty until the record
  // has been read at load.
  std::optional<float> Start;
  bool LoginSucceeded = false;  // nothing reads it

  void Form_Initialize() override;
  void Form_Load() override;
  void Form_Activate() override;
  void Form_GotFocus() override;
  void Form_MouseMove() override;
  void Form_QueryUnload(int& cancel, int unload_mode) override;
  void cmdOK_Click();
  void Timer1_Timer();
  void Timer2_Timer();

 protected:
  void InitializeComponent() override;

 private:
  // Engages the keyboard lock; when it cannot be had, says so and ends (see the .cpp).
  void EngageKeyboardLock();
  void RefreshCountdown();
  // A run restarted after a crash during the minute: the countdown goes on where it was.
  void ResumeCountdown();
  void ReleaseAndEnd();

  PasswordRecord record_;  // the record read at load, taken apart
};

}  // namespace vellomar
