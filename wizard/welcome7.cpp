#include "wizard/welcome7.h"

namespace vellomar {

Welcome7::Welcome7(ui::Application& app) : WizardPage(app, "Welcome7") {}

void Welcome7::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 10/10", "No Changes Made", "Finish");
  InitializeText(Label3, 600, 495,
                 "No changes have been made to your computer.  You will need to manually run "
                 "Vellomar in order to use it.");
  InitializeText(Label1, 1200, 975,
                 "To give 60 seconds to enter password before locking, run \"kestrom.exe\".  To "
                 "immediately lock the desktop with no showing of the taskbar, run \"kestrom.exe "
                 "/locknowfull\".  To lock immediately with taskbar showing, run \"kestrom.exe "
                 "/locknow\"");
  InitializeText(Label4, 2280, 255, "To access Kestrom setup, use \"kestrom.exe /setup\".");
  Label4.rect.width = 4920;
}

void Welcome7::Command1_Click() {
  Unload();
  app().End();
}

}  // namespace vellomar
