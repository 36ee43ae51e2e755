// The boot-file edits: the lock line in AUTOEXEC.BAT and DOSSTART.BAT, BootKeys in MSDOS.SYS,
// their backups and the attribute frame, and the bad files a user's machine may hold
// (emulated/ holds the cases only the emulated machine can set up).

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "system/boot_files_fixture.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

TEST_F(BootFilesTest, AddingAndRemovingTheAutoexecLockLine) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    bool add;
    std::vector<std::string> after;
    const char* backup;  // nullptr: no AUTOEXEC.QVR
  };
  const std::string lock = lock_line_;
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
      AddAutoexecLock(files(), win_, sname);
    } else {
      RemoveAutoexecLock(files(), win_);
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
    EXPECT_EQ(AutoexecHasLock(files(), win_), c.add);
  }
  // The NUL and the byte above 127 go through unchanged.
  Put(autoexec(), std::string("A\0\xe9\r\n", 5));
  RemoveAutoexecLock(files(), win_);
  EXPECT_EQ(Content(autoexec()), std::string("A\0\xe9\r\n", 5));
}

TEST_F(BootFilesTest, DosStartLockIsAddedOnceAndRemovedEverywhere) {
  Put(dosstart(), "@ECHO OFF\r\nMOUSE\r\n");
  AddDosStartLock(files(), win_, sname);
  EXPECT_EQ(Content(dosstart()), Lines({lock_line_, "@ECHO OFF", "MOUSE"}));
  EXPECT_EQ(Content(windows() / "dosstart.qvr"), "@ECHO OFF\r\nMOUSE\r\n");
  EXPECT_EQ(sname, short_folder_);

  // Already locked: unchanged, but the backup is refreshed.
  const std::string locked = Content(dosstart());
  AddDosStartLock(files(), win_, sname);
  EXPECT_EQ(Content(dosstart()), locked);
  EXPECT_EQ(Content(windows() / "dosstart.qvr"), locked);

  Put(dosstart(), Lines({lock_line_, "MOUSE", "c:\\x\\HALVRIK.exe"}));
  RemoveDosStartLock(files(), win_);
  EXPECT_EQ(Content(dosstart()), Lines({"MOUSE"}));

  // Empty and missing files: removing does nothing, adding creates the line alone.
  Put(dosstart(), "");
  RemoveDosStartLock(files(), win_);
  EXPECT_EQ(Content(dosstart()), "");
  std::filesystem::remove(dosstart());
  RemoveDosStartLock(files(), win_);
  EXPECT_FALSE(std::filesystem::exists(dosstart()));
  std::filesystem::remove(windows() / "dosstart.qvr");
  AddDosStartLock(files(), win_, sname);
  EXPECT_EQ(Content(dosstart()), Lines({lock_line_}));
  EXPECT_FALSE(std::filesystem::exists(windows() / "dosstart.qvr"));
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
    if (std::filesystem::exists(msdos())) files().SetAttr(Dos("MSDOS.SYS"), 0);
    Put(msdos(), Lines(c.before));
    files().SetAttr(Dos("MSDOS.SYS"), protection);
    auto edit = [&] {
      if (c.disable) {
        DisableBootKeys(files(), win_);
      } else {
        EnableBootKeys(files(), win_);
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
    EXPECT_EQ(ComparableAttributes(files().GetAttr(Dos("MSDOS.SYS"))), protection);
    EXPECT_EQ(std::filesystem::exists(drive_c() / "MSDOS.QVR"), c.disable);
    if (c.disable) {
      EXPECT_EQ(Content(drive_c() / "MSDOS.QVR"), Lines(c.before));
    }
  }
}

TEST_F(BootFilesTest, UnreachableMsdosSysIsItsOwnFailure) {
  EXPECT_THROW(DisableBootKeys(files(), win_), BootKeysUnavailable);  // missing
  std::filesystem::create_directory(msdos());
  EXPECT_THROW(EnableBootKeys(files(), win_), BootKeysUnavailable);  // a folder of that name
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
      RemoveAutoexecLock(files(), win_);
      EXPECT_EQ(Content(autoexec()), Numbered(400));
    } else {
      try {
        RemoveAutoexecLock(files(), win_);
        ADD_FAILURE() << "401 lines were kept";
      } catch (const RuntimeError& error) {
        EXPECT_EQ(error.code(), errc::kSubscriptOutOfRange);
      }
      EXPECT_EQ(Content(autoexec()), c.content);
    }
  }
  // MSDOS.SYS: a dropped old entry does not count either.
  Put(msdos(), "[Options]\r\nBootKeys=1\r\n" + Numbered(399));
  DisableBootKeys(files(), win_);
  EXPECT_EQ(Content(msdos()), "[Options]\r\nBootKeys=0\r\n" + Numbered(399));
}

TEST_F(BootFilesTest, ReadOnlyFilesFailWholeAndKeepTheirAttributes) {
  Put(autoexec(), "A\r\n");
  files().SetAttr(Dos("AUTOEXEC.BAT"), attr::kReadOnly);
  EXPECT_THROW(AddAutoexecLock(files(), win_, sname), RuntimeError);
  EXPECT_EQ(Content(autoexec()), "A\r\n");

  // Hidden and system, but writable: rewritten, and still hidden and system.
  Put(dosstart(), "A\r\n");
  files().SetAttr(Dos("WINDOWS/DOSSTART.BAT"), attr::kHidden | attr::kSystem);
  AddDosStartLock(files(), win_, sname);
  EXPECT_EQ(Content(dosstart()), Lines({lock_line_, "A"}));
  EXPECT_EQ(ComparableAttributes(files().GetAttr(Dos("WINDOWS/DOSSTART.BAT"))),
            attr::kHidden | attr::kSystem);

  // A folder named AUTOEXEC.BAT holds no lock line and cannot be edited.
  files().SetAttr(Dos("AUTOEXEC.BAT"), 0);  // Windows deletes no read-only file
  std::filesystem::remove(autoexec());
  std::filesystem::create_directory(autoexec());
  EXPECT_FALSE(AutoexecHasLock(files(), win_));
  EXPECT_THROW(AddAutoexecLock(files(), win_, sname), RuntimeError);
}

}  // namespace
}  // namespace vellomar::testing
