#include "wizard/welcome5.h"

#include "wizard/welcome6.h"

namespace vellomar {

Welcome5::Welcome5(ui::Application& app) : WizardPage(app, "Welcome5") {}

void Welcome5::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 7/10", "Option Explanation Continued", "Next");
  InitializeText(Label1, 600, 735,
                 "Option 2: Every time Windows starts, the desktop will be immediately locked and "
                 "you must enter the password to free it.  The immediate locking icon will also "
                 "appear on your desktop.");
  InitializeText(Label3, 1440, 495,
                 "Option 3: No protection when Windows starts up.  Just the immediate locking icon "
                 "will appear on your desk top.");
  InitializeText(Label4, 2040, 495,
                 "Option 4: No protection when Windows starts up and No locking icon on desktop.  "
                 "No changes to your system will be made.");
}

void Welcome5::Command1_Click() {
  Unload();
  app().Get<Welcome6>().Show(/*modal=*/true);
  app().End();
}

}  // namespace vellomar
