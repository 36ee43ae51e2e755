// The boot-file edits in what only the emulated machine can set up: a current directory that
// is gone (Windows keeps its current directory from being removed), an open that fails on purpose.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/fault_injection.h"
#include "system/boot_files_fixture.h"

namespace vellomar::testing {
namespace {

TEST_F(BootFilesTest, LockLineWithoutAShortPathBeginsWithTheProgram) {
  std::filesystem::create_directory(drive_c() / "GONE");
  files().ChDir("C:\\GONE");
  std::filesystem::remove(drive_c() / "GONE");  // the current directory is gone: no short form
  std::string never_set;
  AddAutoexecLock(files(), "C:\\WINDOWS", never_set);
  EXPECT_EQ(Content(autoexec()), "\\halvrik.exe /STARTPATH: \r\n");
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
  const std::string locked = Lines({lock_line_, "A"});
  const std::vector<Case> cases = {
      {"add to AUTOEXEC.BAT", autoexec(), "A\r\n",
       [this](platform::FileSystem& f) { AddAutoexecLock(f, win_, sname); }},
      {"remove from AUTOEXEC.BAT", autoexec(), locked,
       [this](platform::FileSystem& f) { RemoveAutoexecLock(f, win_); }},
      {"add to DOSSTART.BAT", dosstart(), "A\r\n",
       [this](platform::FileSystem& f) { AddDosStartLock(f, win_, sname); }},
      {"remove from DOSSTART.BAT", dosstart(), locked,
       [this](platform::FileSystem& f) { RemoveDosStartLock(f, win_); }},
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
