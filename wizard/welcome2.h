#pragma once
// Welcome2, page 4 of the first-time wizard: the first password, typed twice, encoded and written
// as the first real record of supermp.dat. The encoded password stays in the wizard state
// (`finpa`) for the start-up command the last page writes.

#include "wizard/wizard_page.h"

namespace vellomar {

inline constexpr char kMsgFieldsBlank[] = "You have left one or more of the required fields blank.";
inline constexpr char kMsgPasswordsDiffer[] = "The two passwords do not match each other.";

class Welcome2 : public WizardPage {
 public:
  explicit Welcome2(ui::Application& app);

  ui::Label Label3{*this, "Label3"};
  ui::Label lblLabels[2]{{*this, "lblLabels(0)"}, {*this, "lblLabels(1)"}};
  ui::TextBox Text2{*this, "Text2"};
  ui::TextBox Text3{*this, "Text3"};
  ui::Line Line1{*this, "Line1"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
