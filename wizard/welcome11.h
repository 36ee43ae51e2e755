#pragma once
// Welcome11, page 1 of the first-time wizard. PassMain or Kestrom shows it modally when the
// record still holds the no-password placeholder; its load frees the system keys that the form
// before it locked.

#include "wizard/wizard_page.h"

namespace vellomar {

class Welcome11 : public WizardPage {
 public:
  explicit Welcome11(ui::Application& app);

  ui::Label Label4{*this, "Label4"};
  ui::Label Label3{*this, "Label3"};
  ui::Label Label1{*this, "Label1"};

  void Form_Load() override;
  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
