#include "wizard/welcome8.h"

#include "wizard/welcome9.h"
#include "wizard/wizard_state.h"

namespace vellomar {

Welcome8::Welcome8(ui::Application& app) : WizardPage(app, "Welcome8") {}

void Welcome8::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 9/10", "Immediate Locking Options", "Next");
  InitializeText(Label1, 720, 495,
                 "Now you need to select/deselect which of the 2 options you want for the "
                 "immediate locking screen. ");
  Check1.rect = {600, 1320, 5775, 495};
  Check1.InitCaption(
      "The taskbar is visible during locking and the computer may be restarted or shut down "
      "during locking");
  Check1.InitValue(0);
  Check1.tab_index = 0;
  Check2.rect = {600, 1920, 5775, 255};
  Check2.InitCaption("A smiley face is shown when the correct password is entered.");
  Check2.InitValue(1);
  Check2.tab_index = 1;
  Command1.tab_index = 2;
}

void Welcome8::Command1_Click() {
  WizardState& state = app().Get<WizardState>();
  if (Check1.Value() == 1) state.ck1 = "true";
  if (Check2.Value() == 1) state.ck2 = "true";
  if (Check1.Value() == 0) state.ck1 = "false";
  if (Check2.Value() == 0) state.ck2 = "false";
  Unload();
  app().Get<Welcome9>().Show(/*modal=*/true);
}

}  // namespace vellomar
