#pragma once
// Welcome7, the last page of the first-time wizard for option 4: nothing is changed beyond the
// password already stored; it says how to run the program by hand.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome7 : public WizardPage {
 public:
  explicit Welcome7(ui::Application& app);

  ui::Label Label3{*this, "Label3"};
  ui::Label Label1{*this, "Label1"};
  ui::Label Label4{*this, "Label4"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
