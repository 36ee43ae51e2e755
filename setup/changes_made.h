#pragma once
// ChangesMade: the report that closes every apply run of Setup. Its load picks the text for the
// stage code `section` and, when a DOS-mode or boot-key stage failed, puts that option digit of
// the record back to what it was when Setup opened. "OK" (or its close box) ends the program.

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

inline constexpr char kMsgRollBackFailed[] =
    "An error occurred inside the error handler while trying to write your old options to put "
    "the setting which caused the first error back to its original setting.";

// The report for a stage code (1..12, 30, 99), `passchanged` telling the two successes apart.
const char* ChangesMadeText(int section, const std::string& passchanged);

class ChangesMade : public ui::Form {
 public:
  explicit ChangesMade(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::CommandButton Command1{*this, "Command1"};

  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unload_mode) override;
  void Command1_Click();

 protected:
  void InitializeComponent() override;

 private:
  void RollBack(int section);
};

}  // namespace vellomar
