#include "wizard/welcome9.h"

#include <exception>
#include <string>

#include "platform/errors.h"
#include "record/password_record.h"
#include "system/lock_switches.h"
#include "system/shortcuts.h"
#include "system/startup_entry.h"
#include "wizard/wizard_state.h"

namespace vellomar {

namespace {

// The entry and the links report failure by value; Finish treats either like a run-time error,
// so that a machine left unprotected never reads as a finished set-up.
void Check(bool done, const char* what) {
  if (!done) throw RuntimeError(errc::kPathFileAccessError, what);
}

}  // namespace

Welcome9::Welcome9(ui::Application& app) : WizardPage(app, "Welcome9") {}

void Welcome9::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 10/10", "Ready to Finish", "Finish");
  InitializeText(Label1, 600, 495,
                 "All of your options have been noted.  When you click the \"Finish\" button, the "
                 "changes will be made to your system.");
  InitializeText(Label3, 1200, 1215,
                 "There are several more options which were not shown in this first time setup.  "
                 "After clicking \"Finish\" below, you may wish to run the full setup program, "
                 "where you can access additional options.  To do this, after you click "
                 "\"Finish\", click the Start button, then \"Programs\", then \"Vellomar\", and "
                 "finally click on \"Vellomar Setup\".");
}

void Welcome9::ShowFailure(const char* text) {
  Label3.SetVisible(false);
  Label1.SetCaption(text);
}

void Welcome9::Command1_Click() {
  const WizardState& state = app().Get<WizardState>();
  platform::FileSystem& files = app().files();
  const bool taskbar = state.ck1 == "true";
  const bool smiley = state.ck2 == "true";
  const std::string switches = LockSwitches(taskbar, smiley);
  std::string target;
  std::string folder;
  try {
    // The record as Welcome2 wrote it.
    const std::string line = ReadPasswordRecord(files, "");
    // Option digits appended: taskbar, smiley, then no DOS-mode lock and boot keys left alone.
    const std::string digits = std::string(taskbar ? "1" : "0") + (smiley ? "1" : "0") + "00";
    WriteRecordLine(files, line + digits);
    // The start-up entry for options 1 and 2.
    BootOption boot;
    if (state.opchoice == "1") {
      boot = BootOption::kSixtySeconds;
    } else if (state.opchoice == "2") {
      boot = BootOption::kLockAfterWindows;
    } else if (state.opchoice == "3") {
      boot = BootOption::kNothing;
    } else {
      ShowFailure(kMsgFinishNothingChanged);
      return;
    }
    if (HasStartupEntry(boot)) {
      const std::string command =
          StartupCommand(files.CurDir(), boot, taskbar, smiley, state.finpa);
      Check(WriteStartupEntry(app().registry(), command, files.CurDir()) ==
                platform::win32::kErrorSuccess,
            "The start-up entry could not be written.");
    }
    // The desktop icon, for every option.
    target = ProgramPath(files);
    Check(CreateDesktopShortcut(app().links(), target, switches),
          "The desktop shortcut could not be made.");
    app().DoEvents();
    // The Start menu's Programs folder, as the shell names it.
    folder = StartMenuFolder(app().links());
    Check(!folder.empty(), "The shell names no Start menu Programs folder.");
  } catch (const std::exception&) {
    ShowFailure(kMsgFinishFailed);
    return;
  }

  // A folder that cannot be created (usually: it exists from an earlier installation) is no
  // failure. While a fresh folder's handler is in force, a failure to make the shortcuts below
  // makes them once more before it counts.
  bool folder_handler = CreateStartMenuFolder(files, folder);
  // The Start menu shortcuts in that folder.
  for (;;) {
    try {
      app().DoEvents();
      Check(CreateStartMenuShortcuts(app().links(), target, switches),
            "The Start menu shortcuts could not be made.");
      break;
    } catch (const std::exception&) {
      if (!folder_handler) {
        ShowFailure(kMsgFinishFailed);
        return;
      }
      folder_handler = false;
    }
  }
  Unload();
  app().End();
}

}  // namespace vellomar
