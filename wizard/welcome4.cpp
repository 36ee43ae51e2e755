#include "wizard/welcome4.h"

#include "wizard/welcome5.h"

namespace vellomar {

Welcome4::Welcome4(ui::Application& app) : WizardPage(app, "Welcome4") {}

void Welcome4::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 6/10", "Option Explanation", "Next");
  InitializeText(Label3, 600, 975,
                 "All right - Now you need to select how you want to set up Vellomar.  There are "
                 "4 major different types of setup options.  They will each be explained to you "
                 "on this and following screens.  Make note of which option number you wish to "
                 "use.");
  InitializeText(Label1, 1680, 735,
                 "Option 1: Every time your computer starts up you will need to enter the password "
                 "within 60 seconds, and there will also be an icon on your desktop so that you "
                 "can immediately lock the desktop any time you wish.");
}

void Welcome4::Command1_Click() {
  Unload();
  app().Get<Welcome5>().Show(/*modal=*/true);
  app().End();
}

}  // namespace vellomar
