#pragma once
// Kestrom: the immediate lock screen. A top-most window over the whole screen (full mode) or all
// of it but the taskbar strip, with the keyboard locked, until the stored password is typed.
// Opened by PassMain for the "/LOCKNOW" switches and by the wizard's trial lock (Welcome3's
// `Setup` = "true"), after which a correct password continues the wizard instead of ending.

#include <string>

#include "record/password_record.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

inline constexpr char kMsgKeyboardLockFailed[] =
    "Error: Could not lock keyboard.  This program is only intended to be used with Windows 95 "
    "and 98.";

class Kestrom : public ui::Form {
 public:
  explicit Kestrom(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label Label2{*this, "Label2"};
  ui::TextBox Text1{*this, "Text1"};
  ui::CommandButton Command1{*this, "Command1"};
  ui::Shape Shape1{*this, "Shape1"};
  ui::Label Label3{*this, "Label3"};  // status line
  ui::Image Image1{*this, "Image1"};  // the smiley frames, growing
  ui::Image Image2{*this, "Image2"};
  ui::Image Image3{*this, "Image3"};
  ui::Image Image4{*this, "Image4"};
  ui::Timer Timer1{*this, "Timer1"};  // keeps the focus in Text1 in full mode

  float WidthPixels = 0;
  float HeightPixels = 0;
  bool LoginSucceeded = false;  // nothing reads it

  // Fixed at load: the whole screen (true) or all of it but the taskbar strip.
  bool FullMode() const { return full_mode_; }

  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unload_mode) override;
  void Command1_Click();
  void Text1_Click();
  void Timer1_Timer();

 protected:
  void InitializeComponent() override;

 private:
  void ReleaseAndEnd();

  bool full_mode_ = false;
  PasswordRecord record_;  // the record read at load, taken apart
};

}  // namespace vellomar
