#pragma once
// EnterSetupPassword: the gate in front of the Setup form, opened by PassMain for exactly
// "/SETUP". It runs with the keyboard lock engaged; every way out through its buttons releases it.
// A correct password releases the lock and opens Setup; the program ends when Setup returns.

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

class EnterSetupPassword : public ui::Form {
 public:
  explicit EnterSetupPassword(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label lblLabels{*this, "lblLabels"};
  ui::TextBox Text1{*this, "Text1"};
  ui::CommandButton cmdOK{*this, "cmdOK"};
  ui::CommandButton cmdCancel{*this, "cmdCancel"};

  bool LoginSucceeded = false;  // nothing reads it

  // Releases the keyboard lock, unloads the gate and ends the program.
  void AbruptEnd();

  void cmdOK_Click();
  void cmdCancel_Click();
  void Form_QueryUnload(int& cancel, int unload_mode) override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
