#include "setup/changes_made.h"

#include <exception>
#include <string>

#include "record/password_record.h"
#include "setup/setup.h"

namespace vellomar {

namespace {

struct Report {
  int section;
  const char* text;
};

constexpr Report kReports[] = {
    {1, "An error occurred while trying to display a warning message.  Nothing was modified."},
    {2,
     "An unknown error occurred while trying to change the password.  Most likely, nothing has "
     "been modified."},
    {3,
     "An unknown error occurred while adding/modifying the desktop icon.  If you set it to "
     "change your password, then it was changed.  If not, nothing was modified."},
    {4,
     "An unknown error occurred while deleting the desktop icon.  If you set it to change your "
     "password, it was changed.  If not, nothing was modified."},
    {5,
     "An unknown error occurred while adding/modifying the Vellomar entry on the start menu.  "
     "The desktop icon and/or your password if you set it to be changed are the only things "
     "modified."},
    {6,
     "An unknown error occurred while trying to delete the Vellomar entry on the start menu.  "
     "The desktop icon and/or your password if you set it to be changed are the only things "
     "modified."},
    {7,
     "An unknown error occurred while trying to write to the password file with updated setup "
     "options.  The desktop icon, start menu entry, and password are the only things that may "
     "have been modified."},
    {8,
     "An unknown error occurred while trying to modify your bootup options.  This is a really "
     "bad error.  You should restart this program and try to set it to the 'nothing happens' "
     "option."},
    {9,
     "An unknown error occurred while trying to add DOS mode protection.  The file that was "
     "attemped to be changed was DOSSTART.BAT and a backup of this file should have been saved "
     "as DOSSTART.QVR.  Everything else has been modified except for any changes to the "
     "BootKeys option."},
    {10,
     "An unknown error occurred while trying to remove DOS mode protection.  The file that was "
     "attempted to be changed was DOSSTART.BAT in your Windows directory.  Everything else has "
     "been modified, except for any changes to the BootKeys option."},
    {11,
     "An unknown error occurred while attempting to disable the BootKeys.  It may be that the "
     "MSDOS.SYS file could not be found in your root directory or that it is read only.  All "
     "other options have been modified."},
    {12,
     "An unknown error occurred while attempting to enable the BootKeys.  To enable BootKeys "
     "manually, you should open your MSDOS.SYS file in a text editor and change the BootKeys=0 "
     "entry to BootKeys=1.  Everything else has been modified."},
    {kSectionBootKeysUnavailable,
     "Error: The MSDOS.SYS file could not be found in the root directory or it is read only.  "
     "Everything has been changed except for the bootkeys option."},
};

constexpr char kPasswordAndOptionsChanged[] =
    "Your password and other options have been changed successfully.  Click the 'OK' button to "
    "exit Vellomar setup.";
constexpr char kOptionsChanged[] =
    "All of your options have been changed successfully.  Click the 'OK' button below to exit "
    "Vellomar setup.";
constexpr char kUnknownError[] =
    "Error: An unknown error occurred while processing your changes.  It is likely that you may "
    "have run out of memory space for this program to use.";

// A digit from before the apply run as the record holds it; an unset one behaves as 0.
std::string DigitText(const std::optional<int>& digit) {
  return std::to_string(digit.value_or(0));
}

}  // namespace

const char* ChangesMadeText(int section, const std::string& passchanged) {
  for (const Report& report : kReports) {
    if (report.section == section) return report.text;
  }
  if (section == kSectionDone) {
    return passchanged == "true" ? kPasswordAndOptionsChanged : kOptionsChanged;
  }
  return kUnknownError;
}

ChangesMade::ChangesMade(ui::Application& app) : ui::Form(app, "ChangesMade") {
  Command1.on_click = [this] { Command1_Click(); };
}

void ChangesMade::InitializeComponent() {
  InitCaption("Vellomar Setup Message");
  border = ui::BorderStyle::FixedDialog;
  centered = true;
  client_width = 7236;
  client_height = 3240;

  Label1.rect = {240, 240, 6756, 2040};
  Label1.font_size = 10;
  Command1.rect = {2880, 2520, 1455, 495};
  Command1.InitCaption("OK");
  Command1.tab_index = 0;
}

void ChangesMade::Form_Load() {
  const Setup& setup = app().Get<Setup>();
  Label1.SetCaption(ChangesMadeText(setup.section, setup.passchanged));
  switch (setup.section) {
    case 9:
    case 10:
    case 11:
    case 12:
    case kSectionBootKeysUnavailable:
      RollBack(setup.section);
      break;
    default:
      break;
  }
}

// The failed stage left its option digit saying what was asked for, not what is: put back the
// digit from before the run. Anything after the four digits is not carried over.
void ChangesMade::RollBack(int section) {
  const Setup& setup = app().Get<Setup>();
  platform::FileSystem& files = app().files();
  try {
    files.Close(kPasswordFileNumber);
    const PasswordRecord record = ParsePasswordRecord(ReadPasswordRecord(files, ""));
    std::string digit[4];
    for (std::size_t i = 0; i < 4 && i < record.digits.size(); ++i) digit[i] = record.digits[i];
    if (section == 9 || section == 10) {
      digit[2] = DigitText(setup.a5);
    } else {
      digit[3] = DigitText(setup.a6);
    }
    WritePasswordRecord(files, record.encoded, digit[0] + digit[1] + digit[2] + digit[3]);
  } catch (const std::exception&) {
    files.Close(kPasswordFileNumber);
    Label1.SetCaption(kMsgRollBackFailed);
  }
}

// A report of a failed stage is an error ending.
void ChangesMade::Command1_Click() {
  app().End(app().Get<Setup>().section == kSectionDone ? 0 : 1);
}

// Closing the report any other way ends the program as "OK" does: Setup is hidden by then.
void ChangesMade::Form_QueryUnload(int& /*cancel*/, int unload_mode) {
  if (unload_mode == 0 || unload_mode == 3) Command1_Click();
}

}  // namespace vellomar
