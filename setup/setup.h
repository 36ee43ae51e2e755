#pragma once
// Setup: the configuration window behind the password gate. Its load works out the configuration
// in force (option digits of the record, the shortcuts on disk, the AUTOEXEC.BAT lock line, the
// start-up entry), shows it and keeps it in a1..a7; "Make Changes" applies what the user changed
// in stages 1 to 12, recording the stage in `section` for the report ChangesMade; "Cancel" ends
// the program.

#include <optional>
#include <string>

#include "system/startup_entry.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

inline constexpr char kMsgRepeatBlank[] =
    "You have left the second verification password field blank.  The password has not been "
    "changed.";
inline constexpr char kMsgNewPasswordsDiffer[] = "The two new passwords do not match each other.";

// Stage codes of the apply run beyond 1..12.
inline constexpr int kSectionBootKeysUnavailable = 30;
inline constexpr int kSectionDone = 99;

class Setup : public ui::Form {
 public:
  explicit Setup(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Label Label2{*this, "Label2"};
  ui::Label Label3{*this, "Label3"};
  ui::Label Label4{*this, "Label4"};
  ui::Shape Shape1{*this, "Shape1"};
  ui::Shape Shape2{*this, "Shape2"};
  ui::Shape Shape3{*this, "Shape3"};
  ui::Shape Shape4{*this, "Shape4"};
  ui::Label lblLabels[2]{{*this, "lblLabels(0)"}, {*this, "lblLabels(1)"}};
  ui::TextBox Text2{*this, "Text2"};
  ui::TextBox Text3{*this, "Text3"};
  ui::CheckBox Check1{*this, "Check1"};
  ui::CheckBox Check2{*this, "Check2"};
  ui::CheckBox Check5{*this, "Check5"};
  ui::CheckBox Check6{*this, "Check6"};
  ui::OptionButton Option1{*this, "Option1"};
  ui::OptionButton Option2{*this, "Option2"};
  ui::OptionButton Option3{*this, "Option3"};
  ui::OptionButton Option4{*this, "Option4"};
  ui::OptionButton Option5{*this, "Option5"};
  ui::Line Line1{*this, "Line1"};
  ui::CheckBox Check3{*this, "Check3"};
  ui::CheckBox Check4{*this, "Check4"};
  ui::CommandButton Command1{*this, "Command1"};
  ui::CommandButton Command2{*this, "Command2"};

  // What the load found. An unset digit (nullopt) behaves as 0.
  std::string GetWinPath;
  int a1 = 0;                         // the Start-menu folder existed
  int a2 = 0;                         // the desktop shortcut existed
  std::optional<int> a3, a4, a5, a6;  // option digits 1 to 4 as stored
  std::optional<int> a7;              // boot option in force, 1 to 5
  VariantValue vValue;                // the start-up command read back
  std::string pa;                     // the encoded password field
  // What the apply run writes.
  std::string finpa;
  std::string passchanged;
  int section = 0;  // 0 while no run has started
  std::string sname;

  void Form_Load() override;
  void Command1_Click();
  void Command2_Click();

 protected:
  void InitializeComponent() override;

 private:
  void ReadOptionDigits();
  void SelectBootOption(BootOption option);
  BootOption SelectedBootOption() const;
  // Stage 2; false when the run stops there with the form left open.
  bool ChangePassword();
  void ApplyBootOption();
};

}  // namespace vellomar
