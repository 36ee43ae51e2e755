#include "wizard/welcome3.h"

#include "lock/kestrom.h"
#include "wizard/wizard_state.h"

namespace vellomar {

Welcome3::Welcome3(ui::Application& app) : WizardPage(app, "Welcome3") {}

void Welcome3::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 5/10", "Prepare to Run for First Time", "Next");
  InitializeText(Label3, 600, 2055,
                 "The password has been set.  Now the program will be run with the immediate "
                 "desktop locking feature for the first time.  If you experience any problems and "
                 "are not able to enter your password or you receive any pop-up error messages, "
                 "please do not use this program any further.  When you click \"Next\" below, the "
                 "desktop will be locked and there will be a place for you to enter your "
                 "password.  Enter the password which you just set and click \"OK\".  When the "
                 "desktop is free again, the setup process will continue.  If you are unable to "
                 "free the desktop, you will need to restart the computer. ");
}

void Welcome3::Form_Load() {
  app().Get<WizardState>().Setup = "false";
}

void Welcome3::Command1_Click() {
  app().Get<WizardState>().Setup = "true";
  Hide();
  app().Get<Kestrom>().Show(/*modal=*/false);
}

}  // namespace vellomar
