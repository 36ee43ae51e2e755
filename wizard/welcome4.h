#pragma once
// Welcome4, page 6 of the first-time wizard, shown by Kestrom after the trial lock was freed:
// the four set-up options begin here. From this page on each page unloads itself before showing
// the next, and the program ends when the page it showed returns.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome4 : public WizardPage {
 public:
  explicit Welcome4(ui::Application& app);

  ui::Label Label3{*this, "Label3"};
  ui::Label Label1{*this, "Label1"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
