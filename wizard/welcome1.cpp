#include "wizard/welcome1.h"

#include "wizard/welcome12.h"

namespace vellomar {

Welcome1::Welcome1(ui::Application& app) : WizardPage(app, "Welcome1") {}

void Welcome1::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 2/10", "Important Information", "Next");
  InitializeText(Label3, 720, 495,
                 "In order to use Vellomar, you must first set it up by following the "
                 "instructions on the next several screens.");
  InitializeText(Label1, 1440, 735,
                 "WARNING: It is important that you do not ever change the directory where "
                 "Vellomar resides after completing this setup, unless you follow the precise "
                 "method given in the documentation file.");
  Label1.bold = true;
}

void Welcome1::Command1_Click() {
  Hide();
  app().Get<Welcome12>().Show(/*modal=*/true);
}

}  // namespace vellomar
