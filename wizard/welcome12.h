#pragma once
// Welcome12, page 3 of the first-time wizard: the agreement. "Next" accepts it; there is no
// button to refuse, closing the window ends the program.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome12 : public WizardPage {
 public:
  explicit Welcome12(ui::Application& app);

  ui::Label Label3{*this, "Label3"};
  ui::Label Label1{*this, "Label1"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
