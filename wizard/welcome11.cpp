#include "wizard/welcome11.h"

#include "wizard/welcome1.h"

namespace vellomar {

Welcome11::Welcome11(ui::Application& app) : WizardPage(app, "Welcome11") {}

void Welcome11::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 1/10", "Welcome to Vellomar version 1.0!",
                 "Next");
  InitializeText(Label4, 600, 255, "This is the first time you are running this program.");
  InitializeText(Label3, 960, 1215,
                 "Vellomar is a desktop locking program for Windows 95 and 98.  It should not "
                 "ever be used with Windows NT.  Vellomar can be used for a couple of different "
                 "purposes including immediately locking the desktop (and freeing it when the "
                 "password is entered) and locking the desktop every time the computer starts "
                 "up.");
  InitializeText(Label1, 2280, 435, "Vellomar costs nothing and belongs to the public domain.");
  Label1.rect.width = 4920;
}

void Welcome11::Form_Load() {
  // SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, 0, ...): the system keys work again.
  app().SetScreenSaverRunning(false);
}

void Welcome11::Command1_Click() {
  Hide();
  app().Get<Welcome1>().Show(/*modal=*/true);
}

}  // namespace vellomar
