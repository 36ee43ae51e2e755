#include "wizard/welcome12.h"

#include "wizard/welcome2.h"

namespace vellomar {

Welcome12::Welcome12(ui::Application& app) : WizardPage(app, "Welcome12") {}

void Welcome12::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 3/10", "The Agreement", "Next");
  InitializeText(Label3, 720, 495,
                 "Before continuing, you must agree to the following statement.  By clicking "
                 "\"Next\" you are agreeing to this statement:");
  InitializeText(Label1, 1320, 1215,
                 "\"I understand that Vellomar is given to me free of charge and comes with no "
                 "warranties of any kind.  Its author is not responsible for any damage caused by "
                 "using it, misusing it or failing to use it.  I use it at my own risk only.\"");
}

void Welcome12::Command1_Click() {
  Hide();
  app().Get<Welcome2>().Show(/*modal=*/true);
}

}  // namespace vellomar
