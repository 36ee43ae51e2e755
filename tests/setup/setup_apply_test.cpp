// "Make Changes": the stages, the password change, the boot-keys warning, the report and its
// roll-back, and every way Setup ends.

#include <functional>
#include <memory>
#include <vector>

#include "setup/changes_made.h"
#include "setup/setup_fixture.h"
#include "setup/warn_msdos_sys.h"
#include "wizard/welcome2.h"

namespace vellomar::testing {
namespace {

using SetupApplyTest = SetupFixture;

constexpr char kAllChanged[] =
    "All of your options have been changed successfully.  Click the 'OK' button below to exit "
    "Vellomar setup.";
constexpr char kPasswordChanged[] =
    "Your password and other options have been changed successfully.  Click the 'OK' button to "
    "exit Vellomar setup.";

TEST_F(SetupApplyTest, NothingChangedRewritesTheRecordAndTheRefreshedItems) {
  SetStartupEntry("old");
  std::filesystem::create_directories(start_menu_folder());
  Put(desktop_link(), "old link");
  OpenSetup();
  ASSERT_EQ(Value("Option2"), 1);
  MakeChanges();
  ASSERT_TRUE(rt().FormVisible("ChangesMade"));
  EXPECT_FALSE(rt().FormVisible("Setup"));
  EXPECT_EQ(Report(), kAllChanged);
  EXPECT_EQ(setup().section, 99);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1100") + "\r\n");
  EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand(""));
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknow"));
  EXPECT_TRUE(LinkTo(setup_link(), Program(), "/setup"));
  EXPECT_EQ(Content(autoexec()), "@ECHO OFF\r\nPROMPT $p$g\r\n");
  rt().Click("ChangesMade", "Command1");
  EXPECT_TRUE(rt().Ended());
  EXPECT_EQ(rt().ExitCode(), 0);
}

TEST_F(SetupApplyTest, BootOptionChangesRewriteTheEntryAndAutoexec) {
  struct Case {
    const char* name;
    const char* entry;  // before; nullptr: none
    bool lock_line;     // AUTOEXEC.BAT holds the lock line before
    const char* choose;
    const char* entry_after;  // switches of the command after; nullptr: no entry
    bool lock_line_after;
  };
  const std::vector<Case> cases = {
      {"both sides to sixty seconds", "C:\\X\\kestrom.exe /locknow /SU:x", true, "Option2", "",
       false},
      {"lock after Windows to lock before", "C:\\X\\kestrom.exe /locknow /SU:x", false, "Option4",
       nullptr, true},
      {"nothing to both sides", nullptr, false, "Option5", "/locknow", true},
      {"lock before to nothing", nullptr, true, "Option1", nullptr, false},
      {"sixty seconds to lock after", "C:\\X\\kestrom.exe /SU:x", false, "Option3", "/locknow",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveStartupEntry();
    if (c.entry) SetStartupEntry(c.entry);
    const std::string before =
        c.lock_line ? Lines({"@ECHO OFF", "c:\\old\\HALVRIK.EXE"}) : Lines({"@ECHO OFF"});
    Put(autoexec(), before);
    std::filesystem::remove(drive_c() / "AUTOEXEC.QVR");
    OpenSetup();
    rt().Click("Setup", c.choose);
    MakeChanges();
    EXPECT_EQ(Report(), kAllChanged);
    if (c.entry_after) {
      EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand(c.entry_after));
    } else {
      EXPECT_TRUE(IsEmpty(StartupEntry()));
    }
    EXPECT_EQ(LogonRunner(), ExpectedLogonRunner(c.entry_after != nullptr));
    if (c.lock_line_after == c.lock_line) {
      EXPECT_EQ(Content(autoexec()), before);
    } else if (c.lock_line_after) {
      EXPECT_EQ(Content(autoexec()), Lines({LockLine(), "@ECHO OFF"}));
      EXPECT_EQ(Content(drive_c() / "AUTOEXEC.QVR"), before);
    } else {
      EXPECT_EQ(Content(autoexec()), Lines({"@ECHO OFF"}));
    }
  }
}

TEST_F(SetupApplyTest, ChangingEveryOptionRoundTrips) {
  SetStartupEntry(ExpectedCommand(""));
  OpenSetup();
  rt().Type("Setup", "Text2", "NewOne");
  rt().Type("Setup", "Text3", "newone");  // letter case aside, the same
  for (const char* control : {"Check1", "Check2", "Check3", "Check4", "Check5", "Check6"}) {
    rt().Click("Setup", control);
  }
  rt().Click("Setup", "Option5");
  MakeChanges();
  ASSERT_TRUE(rt().FormVisible("WarnMsdosSys"));
  rt().Click("WarnMsdosSys", "Command1");
  ASSERT_TRUE(rt().FormVisible("ChangesMade"));
  EXPECT_EQ(Report(), kPasswordChanged);
  // Stored as typed in Text2; the digits are taskbar 0, smiley 0, DOS lock 1, boot keys 1.
  EXPECT_EQ(RecordFileContent(), RecordLine("NewOne", "0011") + "\r\n");
  EXPECT_EQ(VariantText(StartupEntry()), ExpectedCommand("/locknowfull /nosmile", "NewOne"));
  EXPECT_TRUE(LinkTo(desktop_link(), Program(), "/locknowfull /nosmile"));
  EXPECT_TRUE(LinkTo(lock_link(), Program(), "/locknowfull /nosmile"));
  EXPECT_EQ(Content(autoexec()), Lines({LockLine(), "@ECHO OFF", "PROMPT $p$g"}));
  EXPECT_EQ(Content(dosstart()), Lines({LockLine(), "MOUSE"}));
  EXPECT_EQ(Content(windows() / "dosstart.qvr"), "MOUSE\r\n");
  EXPECT_EQ(Content(msdos()),
            Lines({"[Paths]", "WinDir=C:\\WINDOWS", "[Options]", "BootKeys=0", "BootGUI=1"}));
  EXPECT_EQ(Content(drive_c() / "MSDOS.QVR"),
            "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\n");
  rt().Click("ChangesMade", "Command1");

  // Setup again shows the new state, opened with the new password only; then everything back.
  Start("/setup");
  TypeAndEnter("EnterSetupPassword", kPassword);
  EXPECT_EQ(Messages().back(), ErrorBox("The password is incorrect."));
  rt().DismissMessageBox();
  rt().AdvanceTime(2000);  // the wait after a wrong password
  TypeAndEnter("EnterSetupPassword", "NEWONE");
  ASSERT_TRUE(rt().FormVisible("Setup"));
  for (const char* ticked : {"Check3", "Check4", "Check5", "Check6", "Option5"}) {
    EXPECT_EQ(Value(ticked), 1) << ticked;
  }
  EXPECT_EQ(setup().a7, 5);
  for (const char* control : {"Check3", "Check4", "Check5", "Check6", "Option1"}) {
    rt().Click("Setup", control);
  }
  MakeChanges();
  EXPECT_EQ(Report(), kAllChanged);
  EXPECT_EQ(RecordFileContent(), RecordLine("NewOne", "0000") + "\r\n");
  EXPECT_TRUE(IsEmpty(StartupEntry()));
  EXPECT_FALSE(std::filesystem::exists(desktop_link()));
  EXPECT_FALSE(std::filesystem::exists(start_menu_folder()));
  EXPECT_EQ(Content(autoexec()), Lines({"@ECHO OFF", "PROMPT $p$g"}));
  EXPECT_EQ(Content(dosstart()), Lines({"MOUSE"}));
  EXPECT_EQ(Content(msdos()),
            Lines({"[Paths]", "WinDir=C:\\WINDOWS", "[Options]", "BootKeys=1", "BootGUI=1"}));
}

TEST_F(SetupApplyTest, AnEmptyStartMenuFolderIsRemovedWithoutFailing) {
  std::filesystem::create_directories(start_menu_folder());
  OpenSetup();
  ASSERT_EQ(Value("Check6"), 1);
  rt().Click("Setup", "Check6");
  MakeChanges();
  EXPECT_EQ(Report(), kAllChanged);
  EXPECT_FALSE(std::filesystem::exists(start_menu_folder()));
}

TEST_F(SetupApplyTest, PasswordValidationKeepsSetupOpenWithNothingWritten) {
  struct Case {
    const char* first;
    const char* again;
    std::string message;
  };
  // A password whose encoding holds the end marker.
  const std::string breaks = DecodePassword(kEndMarker);
  const std::vector<Case> cases = {
      {"abc", "", kMsgRepeatBlank},
      {"abc", "abd", kMsgNewPasswordsDiffer},
      {breaks.c_str(), breaks.c_str(), kMsgPasswordUnusable},
  };
  OpenSetup();
  const std::string record = RecordFileContent();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    rt().Type("Setup", "Text2", c.first);
    rt().Type("Setup", "Text3", c.again);
    MakeChanges();
    EXPECT_EQ(Messages().back(), ErrorBox(c.message));
    rt().DismissMessageBox();
    EXPECT_TRUE(rt().FormVisible("Setup"));
    EXPECT_EQ(RecordFileContent(), record);
    EXPECT_TRUE(IsEmpty(StartupEntry()));
    EXPECT_EQ(setup().section, 2);
  }
}

TEST_F(SetupApplyTest, TheBootKeysWarningAndItsAnswers) {
  OpenSetup();
  const std::string record = RecordFileContent();
  rt().Click("Setup", "Check4");

  // Enter at once answers "No - Cancel": nothing is written, Setup stays.
  MakeChanges();
  ASSERT_TRUE(rt().FormVisible("WarnMsdosSys"));
  EXPECT_EQ(rt().Focused(), "WarnMsdosSys.Command2");
  rt().PressEnter("WarnMsdosSys");
  EXPECT_EQ(rt().app().Get<WarnMsdosSys>().canceled, "true");
  EXPECT_TRUE(rt().FormVisible("Setup"));
  EXPECT_EQ(RecordFileContent(), record);

  // Its close box after "No" leaves "true": the run stops again.
  MakeChanges();
  rt().Close("WarnMsdosSys", 0);
  EXPECT_TRUE(rt().FormVisible("Setup"));
  EXPECT_EQ(RecordFileContent(), record);

  // Esc does nothing on it (no cancel button); "Yes - Proceed" goes on.
  MakeChanges();
  rt().PressEscape("WarnMsdosSys");
  EXPECT_TRUE(rt().FormVisible("WarnMsdosSys"));
  rt().Click("WarnMsdosSys", "Command1");
  EXPECT_EQ(Report(), kAllChanged);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1101") + "\r\n");
  EXPECT_NE(Content(msdos()).find("BootKeys=0"), std::string::npos);
}

TEST_F(SetupApplyTest, ClosingTheWarningOnItsFirstShowingWritesTheDigitButNotMsdosSys) {
  OpenSetup();
  rt().Click("Setup", "Check4");
  MakeChanges();
  rt().Close("WarnMsdosSys", 0);
  EXPECT_EQ(Report(), kAllChanged);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1101") + "\r\n");
  EXPECT_EQ(Content(msdos()).find("BootKeys"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(drive_c() / "MSDOS.QVR"));
}

TEST_F(SetupApplyTest, FailedStagesAreReportedAndRolledBack) {
  struct Case {
    const char* name;
    std::function<void(SetupApplyTest&)> before_load;
    std::function<void(SetupApplyTest&)> choose;  // in Setup, before Make Changes
    std::function<void(SetupApplyTest&)> before_apply;
    int section;
    const char* digits_after;  // nullptr: the record is not checked
  };
  auto tick = [](std::vector<const char*> controls) {
    return [controls](SetupApplyTest& f) {
      for (const char* control : controls) f.rt().Click("Setup", control);
    };
  };
  auto proceed = [](SetupApplyTest& f) {
    f.rt().Click("Setup", "Check4");
    f.MakeChanges();
    f.rt().Click("WarnMsdosSys", "Command1");
  };
  auto none = [](SetupApplyTest&) {};
#ifdef _WIN32
  std::unique_ptr<RegistryWritesRefused> refused;  // for one case, until the machine is put back
#endif
  std::vector<Case> cases = {
      {"MSDOS.SYS missing", [](SetupApplyTest& f) { std::filesystem::remove(f.msdos()); }, proceed,
       none, 30, "1100"},
      {"MSDOS.SYS without [Options]",
       [](SetupApplyTest& f) { Put(f.msdos(), "[Paths]\r\nWinDir=C:\\WINDOWS\r\n"); }, proceed,
       none, 11, "1100"},
      {"MSDOS.SYS a folder",
       [](SetupApplyTest& f) {
         std::filesystem::remove(f.msdos());
         std::filesystem::create_directory(f.msdos());
       },
       proceed, none, 30, "1100"},
      {"DOSSTART.BAT read-only",
       [](SetupApplyTest& f) { f.SetAttributes("WINDOWS/dosstart.bat", 1); }, tick({"Check3"}),
       none, 9, "1100"},
      {"DOSSTART.BAT with 401 lines to keep",
       [](SetupApplyTest& f) {
         f.WritePassword(kPassword, "1110");
         std::string lines;
         for (int i = 0; i < 401; ++i) lines += "REM\r\n";
         Put(f.dosstart(), lines + "C:\\HALVRIK.EXE\r\n");
       },
       tick({"Check3"}), none, 10, "1110"},
      {"MSDOS.SYS with 401 lines while enabling",
       [](SetupApplyTest& f) {
         f.WritePassword(kPassword, "1101");
         std::string lines = "[Options]\r\nBootKeys=0\r\n";
         for (int i = 0; i < 400; ++i) lines += ";\r\n";
         Put(f.msdos(), lines);
         f.SetAttributes("MSDOS.SYS", 1 | 2 | 4);
       },
       tick({"Check4"}), none, 12, "1101"},
      {"AUTOEXEC.BAT with 401 lines",
       [](SetupApplyTest& f) {
         std::string lines;
         for (int i = 0; i < 401; ++i) lines += "REM\r\n";
         Put(f.autoexec(), lines);
       },
       tick({"Option4"}), none, 8, "1100"},
#ifndef _WIN32
      {"a damaged registry", [](SetupApplyTest& f) { Put(f.registry_file(), "not a registry"); },
       tick({"Option2"}), none, 8, "1100"},
#endif
      {"the record loses its markers", nullptr, none,
       [](SetupApplyTest& f) { f.WriteRecordFile("gone\r\n"); }, 7, nullptr},
      // A file of that name found at load is no folder (the box stays clear); one that takes
      // the folder's place before the apply run fails stage 5.
      {"the Start-menu folder replaced by a file", nullptr, tick({"Check6"}),
       [](SetupApplyTest& f) { Put(f.start_menu_folder(), "a file"); }, 5, nullptr},
  };
#ifdef _WIN32
  // An ordinary user of the NT family may not write HKEY_LOCAL_MACHINE (Windows 95/98 keep no
  // permissions on keys).
  if (RegistryHandlesKeepTheirAccess()) {
    cases.push_back({"the RunServices key refused to an ordinary user", nullptr, tick({"Option2"}),
                     [&refused](SetupApplyTest& f) {
                       refused = std::make_unique<RegistryWritesRefused>(
                           f.machines().registry_root() + "\\" + kRunServicesKey);
                     },
                     8, "1100"});
  }
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before_load) c.before_load(*this);
    OpenSetup();
    c.choose(*this);
    c.before_apply(*this);
    if (!rt().FormVisible("ChangesMade")) MakeChanges();
    ASSERT_TRUE(rt().FormVisible("ChangesMade"));
    EXPECT_EQ(setup().section, c.section);
    EXPECT_EQ(Report(), ChangesMadeText(c.section, ""));
    if (c.digits_after) {
      EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, c.digits_after) + "\r\n");
    }
    rt().Close("ChangesMade", 0);  // its close box ends the program as OK does
    EXPECT_TRUE(rt().Ended());
    EXPECT_EQ(rt().ExitCode(), 1) << "a failed stage is an error ending";
    EXPECT_FALSE(rt().KeyboardLocked());
    // Put the machine back for the next case.
    if (std::filesystem::is_directory(msdos())) std::filesystem::remove(msdos());
    if (std::filesystem::exists(msdos())) SetAttributes("MSDOS.SYS", 0);
    SetAttributes("WINDOWS/dosstart.bat", 0);
    std::filesystem::remove_all(start_menu_folder());
    Put(msdos(), "[Options]\r\nBootGUI=1\r\n");
    Put(autoexec(), "@ECHO OFF\r\n");
    Put(dosstart(), "MOUSE\r\n");
#ifdef _WIN32
    refused.reset();
    RemoveStartupEntry();
#else
    platform::EmulatedMachine fresh(drive_c(), program_dir());
    std::filesystem::remove(registry_file());
    fresh.CreateRegistryKey(kRunServicesKey);
#endif
    WritePassword(kPassword, "1100");
  }
}

TEST_F(SetupApplyTest, TheRollBackOfAnUnsetDigitWritesZero) {
  // Digit 3 was "x" at load (unset): a failed stage 9 puts back "0", never a shorter record.
  WritePassword(kPassword, "11x0");
  SetAttributes("WINDOWS/dosstart.bat", 1);
  OpenSetup();
  rt().Click("Setup", "Check3");
  MakeChanges();
  EXPECT_EQ(setup().section, 9);
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1100") + "\r\n");
}

TEST_F(SetupApplyTest, CancelAndTheCloseBoxEndWithoutWriting) {
  for (const bool close_box : {false, true}) {
    SCOPED_TRACE(close_box ? "close box" : "Cancel");
    OpenSetup();
    rt().Click("Setup", "Check1");
    if (close_box) {
      rt().Close("Setup", 0);
    } else {
      rt().Click("Setup", "Command2");
    }
    EXPECT_TRUE(rt().Ended());
    EXPECT_FALSE(rt().KeyboardLocked());
    EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1100") + "\r\n");
    EXPECT_TRUE(StepsInOrder({"lock off", "unload EnterSetupPassword", "show Setup", "end"}));
  }
}

}  // namespace
}  // namespace vellomar::testing
