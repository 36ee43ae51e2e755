#pragma once
// Welcome5, page 7 of the first-time wizard: options 2 to 4 explained.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome5 : public WizardPage {
 public:
  explicit Welcome5(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label Label3{*this, "Label3"};
  ui::Label Label4{*this, "Label4"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
