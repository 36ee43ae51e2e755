// The boot-file edits: the lock line in AUTOEXEC.BAT and DOSSTART.BAT, BootKeys in MSDOS.SYS,
// their backups and the attribute frame, and the bad files a user's machine may hold.

#include "system/boot_files.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "system/system_fixture.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

class BootFilesTest : public SystemFixture {
 public:
  static constexpr char kWin[] = "C:\\WINDOWS";
  const std::string kLock =
      "C:\\PROGRA~1\\VELLOMAR\\halvrik.exe /STARTPATH: C:\\PROGRA~1\\VELLOMAR";

  std::filesystem::path autoexec() const { return drive_c() / "AUTOEXEC.BAT"; }
  std::filesystem::path dosstart() const { return windows() / "dosstart.bat"; }
  std::filesystem::path msdos() const { return drive_c() / "MSDOS.SYS"; }

  static std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
  }
  static std::string Numbered(int count, const std::string& extra = "") {
    std::string text;
    for (int i = 1; i <= count; ++i) text += "REM line " + std::to_string(i) + "\r\n";
    return text + extra;
  }
  std::string sname;
};

TEST_F(BootFilesTest, AddingAndRemovingTheAutoexecLockLine) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    bool add;
    std::vector<std::string> after;
    const char* backup;  // nullptr: no AUTOEXEC.QVR
  };
  const std::string lock = kLock;
  const std::vector<Case> cases = {
      {"add before A, B", "A\r\nB\r\n", true, {lock, "A", "B"}, "A\r\nB\r\n"},
      {"add to a missing file", nullptr, true, {lock}, nullptr},
      {"add to an empty file", "", true, {lock}, ""},
      {"add, LF-only lines", "A\nB", true, {lock, "A", "B"}, "A\nB"},
      {"add, CR-only lines", "A\rB\r", true, {lock, "A", "B"}, "A\rB\r"},
      {"remove from the middle",
       "A\r\nC:\\X\\HALVRIK.EXE /STARTPATH: C:\\X\r\nB\r\n",
       false,
       {"A", "B"},
       nullptr},
      {"remove two, one a remark in mixed case",
       "rem run Halvrik.Exe here\r\nA\r\nc:\\halvrik.exe\r\n",
       false,
       {"A"},
       nullptr},
      {"remove from a missing file", nullptr, false, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(autoexec());
    std::filesystem::remove(drive_c() / "AUTOEXEC.QVR");
    if (c.before) Put(autoexec(), c.before);
    if (c.add) {
      AddAutoexecLock(files(), kWin, sname);
    } else {
      RemoveAutoexecLock(files(), kWin);
    }
    if (c.before == nullptr && !c.add) {
      EXPECT_FALSE(std::filesystem::exists(autoexec()));
    } else {
      EXPECT_EQ(Content(autoexec()), Lines(c.after));
    }
    EXPECT_EQ(std::filesystem::exists(drive_c() / "AUTOEXEC.QVR"), c.backup != nullptr);
    if (c.backup) {
      EXPECT_EQ(Content(drive_c() / "AUTOEXEC.QVR"), c.backup);
    }
    EXPECT_EQ(AutoexecHasLock(files(), kWin), c.add);
  }
  // The NUL and the byte above 127 go through unchanged.
  Put(autoexec(), std::string("A\0\xe9\r\n", 5));
  RemoveAutoexecLock(files(), kWin);
  EXPECT_EQ(Content(autoexec()), std::string("A\0\xe9\r\n", 5));
}

TEST_F(BootFilesTest, DosStartLockIsAddedOnceAndRemovedEverywhere) {
  Put(dosstart(), "@ECHO OFF\r\nMOUSE\r\n");
  AddDosStartLock(files(), kWin, sname);
  EXPECT_EQ(Content(dosstart()), Lines({kLock, "@ECHO OFF", "MOUSE"}));
  EXPECT_EQ(Content(windows() / "dosstart.qvr"), "@ECHO OFF\r\nMOUSE\r\n");
  EXPECT_EQ(sname, "C:\\PROGRA~1\\VELLOMAR");

  // Already locked: unchanged, but the backup is refreshed.
  const std::string locked = Content(dosstart());
  AddDosStartLock(files(), kWin, sname);
  EXPECT_EQ(Content(dosstart()), locked);
  EXPECT_EQ(Content(windows() / "dosstart.qvr"), locked);

  Put(dosstart(), Lines({kLock, "MOUSE", "c:\\x\\HALVRIK.exe"}));
  RemoveDosStartLock(files(), kWin);
  EXPECT_EQ(Content(dosstart()), Lines({"MOUSE"}));

  // Empty and missing files: removing does nothing, adding creates the line alone.
  Put(dosstart(), "");
  RemoveDosStartLock(files(), kWin);
  EXPECT_EQ(Content(dosstart()), "");
  std::filesystem::remove(dosstart());
  RemoveDosStartLock(files(), kWin);
  EXPECT_FALSE(std::filesystem::exists(dosstart()));
  std::filesystem::remove(windows() / "dosstart.qvr");
  AddDosStartLock(files(), kWin, sname);
  EXPECT_EQ(Content(dosstart()), Lines({kLock}));
  EXPECT_FALSE(std::filesystem::exists(windows() / "dosstart.qvr"));
}

TEST_F(BootFilesTest, LockLineWithoutAShortPathBeginsWithTheProgram) {
  std::filesystem::create_directory(drive_c() / "GONE");
  files().ChDir("C:\\GONE");
  std::filesystem::remove(drive_c() / "GONE");  // the current directory is gone: no short form
  std::string never_set;
  AddAutoexecLock(files(), "C:\\WINDOWS", never_set);
  EXPECT_EQ(Content(autoexec()), "\\halvrik.exe /STARTPATH: \r\n");
}

TEST_F(BootFilesTest, BootKeysEdits) {
  struct Case {
    const char* name;
    bool disable;
    std::vector<std::string> before;
    std::vector<std::string> after;  // empty: the edit fails
  };
  const std::vector<Case> cases = {
      {"disable replaces BootKeys=1",
       true,
       {"[OPTIONS]", "BootWarn=0", "BootKeys=1"},
       {"[OPTIONS]", "BootWarn=0", "BootKeys=0"}},
      {"disable after a last [Options] line",
       true,
       {"[Paths]", "WinDir=C:\\WINDOWS", "[Options]"},
       {"[Paths]", "WinDir=C:\\WINDOWS", "[Options]", "BootKeys=0"}},
      {"disable in place of an odd entry",
       true,
       {"[Options]", "x", "bootkeys = yes", "y"},
       {"[Options]", "x", "BootKeys=0", "y"}},
      {"disable leaves BootKeys=0 alone",
       true,
       {"[Options]", "bootkeys=0"},
       {"[Options]", "bootkeys=0"}},
      {"disable with neither section nor entry fails", true, {"[Paths]", "WinDir=C:\\WINDOWS"}, {}},
      {"enable turns the last line",
       false,
       {"[Options]", "BootGUI=1", "BootKeys=0"},
       {"[Options]", "BootGUI=1", "BootKeys=1"}},
      {"enable leaves BootKeys=1 alone",
       false,
       {"[Options]", "BootKeys=1"},
       {"[Options]", "BootKeys=1"}},
      {"enable without an entry writes the lines back",
       false,
       {"[Options]", "BootGUI=1"},
       {"[Options]", "BootGUI=1"}},
  };
  const int protection = attr::kReadOnly | attr::kHidden | attr::kSystem;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(drive_c() / "MSDOS.QVR");
    if (std::filesystem::exists(msdos())) files().SetAttr("C:\\MSDOS.SYS", 0);
    Put(msdos(), Lines(c.before));
    files().SetAttr("C:\\MSDOS.SYS", protection);
    auto edit = [&] {
      if (c.disable) {
        DisableBootKeys(files(), kWin);
      } else {
        EnableBootKeys(files(), kWin);
      }
    };
    if (c.after.empty()) {
      EXPECT_THROW(edit(), RuntimeError);
      EXPECT_EQ(Content(msdos()), Lines(c.before));
    } else {
      edit();
      EXPECT_EQ(Content(msdos()), Lines(c.after));
    }
    // Read-only, hidden and system again, whatever happened.
    EXPECT_EQ(files().GetAttr("C:\\MSDOS.SYS"), protection);
    EXPECT_EQ(std::filesystem::exists(drive_c() / "MSDOS.QVR"), c.disable);
    if (c.disable) {
      EXPECT_EQ(Content(drive_c() / "MSDOS.QVR"), Lines(c.before));
    }
  }
}

TEST_F(BootFilesTest, UnreachableMsdosSysIsItsOwnFailure) {
  EXPECT_THROW(DisableBootKeys(files(), kWin), BootKeysUnavailable);  // missing
  std::filesystem::create_directory(msdos());
  EXPECT_THROW(EnableBootKeys(files(), kWin), BootKeysUnavailable);  // a folder of that name
  // Without a Windows directory every file is looked for in the wrong place.
  EXPECT_THROW(DisableBootKeys(files(), ""), BootKeysUnavailable);
  EXPECT_FALSE(AutoexecHasLock(files(), ""));
  EXPECT_THROW(AddAutoexecLock(files(), "", sname), RuntimeError);
  RemoveDosStartLock(files(), "");  // nothing to remove
}

TEST_F(BootFilesTest, FourHundredLinesAreKeptAndOneMoreFailsLeavingTheFileWhole) {
  struct Case {
    const char* name;
    std::string content;
    bool fits;
  };
  const std::string lock_line = "C:\\OLD\\HALVRIK.EXE\r\n";
  const std::vector<Case> cases = {
      {"400 lines", Numbered(400), true},
      {"401 lines", Numbered(401), false},
      {"401 lines, one a dropped lock line", Numbered(400, lock_line), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Put(autoexec(), c.content);
    if (c.fits) {
      RemoveAutoexecLock(files(), kWin);
      EXPECT_EQ(Content(autoexec()), Numbered(400));
    } else {
      try {
        RemoveAutoexecLock(files(), kWin);
        ADD_FAILURE() << "401 lines were kept";
      } catch (const RuntimeError& error) {
        EXPECT_EQ(error.code(), errc::kSubscriptOutOfRange);
      }
      EXPECT_EQ(Content(autoexec()), c.content);
    }
  }
  // MSDOS.SYS: a dropped old entry does not count either.
  Put(msdos(), "[Options]\r\nBootKeys=1\r\n" + Numbered(399));
  DisableBootKeys(files(), kWin);
  EXPECT_EQ(Content(msdos()), "[Options]\r\nBootKeys=0\r\n" + Numbered(399));
}

TEST_F(BootFilesTest, ReadOnlyFilesFailWholeAndKeepTheirAttributes) {
  Put(autoexec(), "A\r\n");
  files().SetAttr("C:\\AUTOEXEC.BAT", attr::kReadOnly);
  EXPECT_THROW(AddAutoexecLock(files(), kWin, sname), RuntimeError);
  EXPECT_EQ(Content(autoexec()), "A\r\n");

  // Hidden and system, but writable: rewritten, and still hidden and system.
  Put(dosstart(), "A\r\n");
  files().SetAttr("C:\\WINDOWS\\DOSSTART.BAT", attr::kHidden | attr::kSystem);
  AddDosStartLock(files(), kWin, sname);
  EXPECT_EQ(Content(dosstart()), Lines({kLock, "A"}));
  EXPECT_EQ(files().GetAttr("C:\\WINDOWS\\DOSSTART.BAT"), attr::kHidden | attr::kSystem);

  // A folder named AUTOEXEC.BAT holds no lock line and cannot be edited.
  std::filesystem::remove(autoexec());
  std::filesystem::create_directory(autoexec());
  EXPECT_FALSE(AutoexecHasLock(files(), kWin));
  EXPECT_THROW(AddAutoexecLock(files(), kWin, sname), RuntimeError);
}

TEST_F(BootFilesTest, ABatchFileThatIsThereButWillNotOpenFailsTheEditAndStaysWhole) {
  // Only a missing file counts as absent: an I/O error on opening must neither replace the file
  // with the lock line alone nor let a removal pass as done.
  struct Case {
    const char* name;
    std::filesystem::path file;
    std::string content;
    std::function<void(platform::FileSystem&)> edit;
  };
  const std::string locked = Lines({kLock, "A"});
  const std::vector<Case> cases = {
      {"add to AUTOEXEC.BAT", autoexec(), "A\r\n",
       [this](platform::FileSystem& f) { AddAutoexecLock(f, kWin, sname); }},
      {"remove from AUTOEXEC.BAT", autoexec(), locked,
       [](platform::FileSystem& f) { RemoveAutoexecLock(f, kWin); }},
      {"add to DOSSTART.BAT", dosstart(), "A\r\n",
       [this](platform::FileSystem& f) { AddDosStartLock(f, kWin, sname); }},
      {"remove from DOSSTART.BAT", dosstart(), locked,
       [](platform::FileSystem& f) { RemoveDosStartLock(f, kWin); }},
  };
  platform::FaultInjectingPlatform faulty(machine());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Put(c.file, c.content);
    faulty.plan().FailCall(platform::FaultKind::kOpen, 1);
    EXPECT_THROW(c.edit(faulty.services().files), RuntimeError);
    EXPECT_TRUE(faulty.plan().Fired());
    EXPECT_EQ(Content(c.file), c.content);
  }
}

}  // namespace
}  // namespace vellomar::testing
