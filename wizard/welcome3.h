#pragma once
// Welcome3, page 5 of the first-time wizard: prepares the trial lock. "Next" marks the trial
// (the wizard state's `Setup` = "true"), hides the page and shows Kestrom modeless; after the
// password is typed there, Kestrom goes on with Welcome4.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome3 : public WizardPage {
 public:
  explicit Welcome3(ui::Application& app);

  ui::Label Label3{*this, "Label3"};

  void Form_Load() override;
  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
