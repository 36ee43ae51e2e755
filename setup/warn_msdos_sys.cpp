#include "setup/warn_msdos_sys.h"

namespace vellomar {

WarnMsdosSys::WarnMsdosSys(ui::Application& app) : ui::Form(app, "WarnMsdosSys") {
  Command1.on_click = [this] { Command1_Click(); };
  Command2.on_click = [this] { Command2_Click(); };
}

void WarnMsdosSys::InitializeComponent() {
  InitCaption("Warning!");
  border = ui::BorderStyle::FixedDialog;
  centered = true;
  client_width = 7380;
  client_height = 6312;

  Label1.rect = {240, 240, 6900, 855};
  Label1.InitCaption(
      "One of the items you selected to change is to disable Windows bootkeys.  This is a very "
      "serious choice and it is important that you understand what this means before "
      "committing to doing this.");
  Label2.rect = {240, 1200, 6900, 855};
  Label2.InitCaption(
      "Windows bootkeys provide a way at bootup to run Windows safe mode, DOS mode, and other "
      "assorted modes.  This is accomplished by the user pressing a key like F5 or F8 on the "
      "keyboard during the startup process.");
  Label3.rect = {240, 2160, 6900, 855};
  Label3.InitCaption(
      "If you disable these bootkeys and you encounter system problems where you would need to "
      "run in safe mode, etc., then you would not be able to use these keys to do so.  This is "
      "especially a problem if you do not have a current boot disk for your computer.");
  Label4.rect = {240, 3120, 6900, 2280};
  for (ui::Label* label : {&Label1, &Label2, &Label3, &Label4}) label->font_size = 10;
  Label4.InitCaption(
      "The reason that it is not secure to leave the bootkeys enabled is because somebody could "
      "run your computer in safe mode and use your computer and could also disable the password "
      "protection.  They could also access DOS to do this as well.  It is up to you whether you "
      "would like to disable the bootkeys or not.  If you would like to disable them, then click "
      "the \"Proceed\" button below.  You can always enable them later by coming back to this "
      "setup program.  The file that will be changed is \"MSDOS.SYS\".  If you proceed, a backup "
      "copy of this file will be made with the filename \"MSDOS.QVR\".");

  Command2.rect = {3840, 5580, 1935, 495};
  Command2.InitCaption("No - Cancel");
  Command2.is_default = true;
  Command2.tab_index = 0;
  Command1.rect = {1680, 5580, 1935, 495};
  Command1.InitCaption("Yes - Proceed");
  Command1.tab_index = 1;
}

void WarnMsdosSys::Command1_Click() {
  canceled = "false";
  Unload();
}

void WarnMsdosSys::Command2_Click() {
  canceled = "true";
  Unload();
}

}  // namespace vellomar
