#pragma once
// Welcome1, page 2 of the first-time wizard: what setting up involves, and the warning not to
// move the program's folder afterwards.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome1 : public WizardPage {
 public:
  explicit Welcome1(ui::Application& app);

  ui::Label Label3{*this, "Label3"};
  ui::Label Label1{*this, "Label1"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
