#include "wizard/welcome6.h"

#include "wizard/welcome7.h"
#include "wizard/welcome8.h"
#include "wizard/wizard_state.h"

namespace vellomar {

Welcome6::Welcome6(ui::Application& app) : WizardPage(app, "Welcome6") {
  Option1.on_click = [this] { Option1_Click(); };
  Option2.on_click = [this] { Option2_Click(); };
  Option3.on_click = [this] { Option3_Click(); };
  Option4.on_click = [this] { Option4_Click(); };
}

void Welcome6::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 8/10", "Choose Setup Option", "Next");
  InitializeText(Label1, 720, 255, "Choose the option that you would like:");
  Option1.InitCaption("Option 1 - 60 seconds at startup, icon on desktop");
  Option2.InitCaption("Option 2 - immediate lock at startup, icon on desktop");
  Option3.InitCaption("Option 3 - nothing at startup, icon on desktop");
  Option4.InitCaption("Option 4 - nothing at startup, no icon on desktop");
  int top = 1080;
  int tab = 0;
  for (ui::OptionButton* option : {&Option1, &Option2, &Option3, &Option4}) {
    option->rect = {600, top, 5055, 255};
    option->tab_index = tab++;
    top += 360;
  }
  Option1.InitValue(1);
  Command1.tab_index = tab;
}

void Welcome6::Form_Load() {
  app().Get<WizardState>().opchoice = "1";
}

void Welcome6::Option1_Click() {
  app().Get<WizardState>().opchoice = "1";
}
void Welcome6::Option2_Click() {
  app().Get<WizardState>().opchoice = "2";
}
void Welcome6::Option3_Click() {
  app().Get<WizardState>().opchoice = "3";
}
void Welcome6::Option4_Click() {
  app().Get<WizardState>().opchoice = "4";
}

void Welcome6::Command1_Click() {
  // The branch follows Option4's state; Welcome9 later reads opchoice, which every selection
  // change has kept in step.
  if (Option4.Value() == 1) {
    Unload();
    app().Get<Welcome7>().Show(/*modal=*/true);
  } else {
    Unload();
    app().Get<Welcome8>().Show(/*modal=*/true);
  }
}

}  // namespace vellomar
