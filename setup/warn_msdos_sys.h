#pragma once
// WarnMsdosSys: asks before the apply run disables the boot keys in MSDOS.SYS. The answer stays in
// `canceled` for the rest of the run: "false" after "Yes - Proceed", "true" after "No - Cancel",
// unchanged when the dialog is closed by its close box.

#include <string>

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

class WarnMsdosSys : public ui::Form {
 public:
  explicit WarnMsdosSys(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label Label2{*this, "Label2"};
  ui::Label Label3{*this, "Label3"};
  ui::Label Label4{*this, "Label4"};
  ui::CommandButton Command2{*this, "Command2"};
  ui::CommandButton Command1{*this, "Command1"};

  std::string canceled;

  void Command1_Click();
  void Command2_Click();

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
