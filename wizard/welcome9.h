#pragma once
// Welcome9, the last page of the first-time wizard for options 1 to 3. "Finish" puts the choices
// into effect: the option digits appended to the record, the start-up entry for options 1 and 2,
// the desktop icon and the Start-menu folder with its two entries; then the program ends. A
// failure replaces the page's texts with a message and leaves the page open.

#include "wizard/wizard_page.h"

namespace vellomar {

inline constexpr char kMsgFinishNothingChanged[] =
    "An Error occurred while processing.  No changes have been made.  Click the X in the right "
    "hand corner of this window to close this program.";
inline constexpr char kMsgFinishFailed[] =
    "An error occurred while processing.  Some changes may have been made, but most likely none "
    "were.  Click the X in the right hand corner of this window to close this program.";

class Welcome9 : public WizardPage {
 public:
  explicit Welcome9(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label Label3{*this, "Label3"};

  void Command1_Click() override;

 protected:
  void InitializeComponent() override;

 private:
  void ShowFailure(const char* text);
};

}  // namespace vellomar
