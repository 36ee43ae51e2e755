#pragma once
// Welcome6, page 8 of the first-time wizard: the set-up option. Every click on an option button
// stores its number in the wizard state's `opchoice`; "Next" goes to Welcome7 for option 4 and to
// Welcome8 otherwise.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome6 : public WizardPage {
 public:
  explicit Welcome6(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::OptionButton Option1{*this, "Option1"};
  ui::OptionButton Option2{*this, "Option2"};
  ui::OptionButton Option3{*this, "Option3"};
  ui::OptionButton Option4{*this, "Option4"};

  void Form_Load() override;
  void Option1_Click();
  void Option2_Click();
  void Option3_Click();
  void Option4_Click();
  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
