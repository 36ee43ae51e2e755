#pragma once
// Welcome8, page 9 of the first-time wizard: the two immediate-locking choices, copied into the
// wizard state's `ck1` (taskbar visible) and `ck2` (smiley face) on "Next".

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome8 : public WizardPage {
 public:
  explicit Welcome8(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::CheckBox Check1{*this, "Check1"};
  ui::CheckBox Check2{*this, "Check2"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
