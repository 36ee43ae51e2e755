#include "setup/enter_setup_password.h"

#include "startup/password_record.h"

namespace vellomar {

EnterSetupPassword::EnterSetupPassword(ui::Application& app)
    : ui::Form(app, "EnterSetupPassword") {}

void EnterSetupPassword::InitializeComponent() {
  InitCaption("Enter Setup");
  border = ui::BorderStyle::FixedDialog;
  centered = true;
  client_width = 3984;
  client_height = 2112;

  Label1.rect = {240, 120, 3612, 852};
  Label1.InitCaption("To enter Vellomar Setup, you need to type your Vellomar Password below.");

  lblLabels.rect = {240, 1080, 1080, 375};
  lblLabels.InitCaption("&Password:");

  Text1.rect = {1320, 960, 2325, 345};
  Text1.InitText("");
  Text1.password_char = '*';
  Text1.max_length = kMaxPasswordLength;
  Text1.tab_index = 0;

  cmdOK.rect = {840, 1560, 1140, 390};
  cmdOK.InitCaption("OK");
  cmdOK.is_default = true;
  cmdOK.tab_index = 1;

  cmdCancel.rect = {2160, 1560, 1140, 390};
  cmdCancel.InitCaption("Cancel");
  cmdCancel.is_cancel = true;
  cmdCancel.tab_index = 2;
}

void EnterSetupPassword::AbruptEnd() {
  app().SetScreenSaverRunning(false);
  Unload();
  app().End();
}

}  // namespace vellomar
