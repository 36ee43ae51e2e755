// The desktop icon and the Start-menu folder: created through fCreateShellLink with the lock
// switches, detected the way the Setup form detects them, removed with the file services.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/errors.h"
#include "system/lock_switches.h"
#include "system/shortcuts.h"
#include "system_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

class ShortcutsTest : public SystemFixture {
 protected:
  const std::string program_ = Dos("Program Files/Vellomar/kestrom.exe");
  fs::path desktop_link() const { return desktop() / "Vellomar.lnk"; }
};

TEST_F(ShortcutsTest, ProgramPathAndWindowsDirectoryComeFromTheMachine) {
  EXPECT_EQ(ProgramPath(files()), program_);
  EXPECT_EQ(ProgramPath("C:\\"), "C:\\\\kestrom.exe");
  EXPECT_EQ(WindowsDirectory(files()), Dos("WINDOWS"));
  EXPECT_EQ(StartMenuFolder(links()), Dos(kProgramsRelative) + "\\Vellomar");
  EXPECT_EQ(DesktopLinkFolder(links()), kDesktopFromPrograms);
}

TEST_F(ShortcutsTest, RelativeFolderLeadsFromOneFolderToAnother) {
  const struct {
    const char* from;
    const char* to;
    const char* relative;
  } cases[] = {
      {"C:\\WINDOWS\\Start Menu\\Programs", "C:\\WINDOWS\\Desktop", "..\\..\\Desktop"},
      {"C:\\windows\\START MENU\\Programs", "C:\\WINDOWS\\Desktop", "..\\..\\Desktop"},
      {"C:\\users\\me\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
       "C:\\users\\me\\Desktop", "..\\..\\..\\..\\..\\..\\Desktop"},
      {"C:\\A\\B", "C:\\A\\B", "."},
      {"C:\\A\\B", "C:\\A\\B\\C\\", "C"},
      {"C:\\A", "D:\\Desktop", "D:\\Desktop"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.relative, RelativeFolder(c.from, c.to)) << c.from;
}

TEST_F(ShortcutsTest, DesktopIconStartsTheProgramWithTheLockSwitches) {
  // The existence test opens the icon as file number 1 and must leave that number closed.
  const auto number_one_free = [&] {
    files().Open(1, "supermp.tmp", platform::OpenMode::Output);
    files().Close(1);
  };
  EXPECT_FALSE(DesktopShortcutExists(files(), links()));
  EXPECT_NO_THROW(number_one_free());
  ASSERT_TRUE(CreateDesktopShortcut(links(), program_, LockSwitches(false, true)));
  EXPECT_TRUE(LinkTo(desktop_link(), program_, "/locknowfull"));
  EXPECT_TRUE(DesktopShortcutExists(files(), links()));
  EXPECT_NO_THROW(number_one_free());

  // Made again, it is replaced with the new switches.
  ASSERT_TRUE(CreateDesktopShortcut(links(), program_, LockSwitches(true, false)));
  EXPECT_TRUE(LinkTo(desktop_link(), program_, "/locknow /nosmile"));
}

TEST_F(ShortcutsTest, StartMenuEntriesAreTheLockAndTheSetup) {
  EXPECT_FALSE(StartMenuFolderExists(files(), links()));
  EXPECT_FALSE(fs::exists(start_menu_folder())) << "the existence test left the folder behind";

  ASSERT_TRUE(CreateStartMenuFolder(files(), StartMenuFolder(links())));
  EXPECT_FALSE(CreateStartMenuFolder(files(), StartMenuFolder(links())));
  ASSERT_TRUE(CreateStartMenuShortcuts(links(), program_, LockSwitches(true, true)));
  const fs::path lock = start_menu_folder() / "Vellomar - Immediate Lock.lnk";
  const fs::path setup = start_menu_folder() / "Vellomar Setup.lnk";
  EXPECT_TRUE(LinkTo(lock, program_, "/locknow"));
  EXPECT_TRUE(LinkTo(setup, program_, "/setup"));
  EXPECT_TRUE(StartMenuFolderExists(files(), links()));
}

TEST_F(ShortcutsTest, LinksThatCannotBeMadeAreReported) {
  fs::remove_all(desktop());
  EXPECT_FALSE(CreateDesktopShortcut(links(), program_, "/locknow"));
  // No Start-menu folder: neither entry can be made.
  EXPECT_FALSE(CreateStartMenuShortcuts(links(), program_, "/locknow"));
  EXPECT_FALSE(fs::exists(start_menu_folder()));
  // A folder that cannot be created because the Programs folder is missing is not there; one
  // that cannot be created because it is there is.
  fs::remove_all(programs());
  EXPECT_FALSE(StartMenuFolderExists(files(), links()));
  fs::create_directories(start_menu_folder());
  EXPECT_TRUE(StartMenuFolderExists(files(), links()));
  // A file in its place is no folder.
  fs::remove(start_menu_folder());
  SystemFixture::Put(start_menu_folder(), "not a folder");
  EXPECT_FALSE(StartMenuFolderExists(files(), links()));
}

TEST_F(ShortcutsTest, RemovalDeletesTheIconAndTheWholeFolder) {
  CreateDesktopShortcut(links(), program_, "/locknow");
  RemoveDesktopShortcut(files(), links());
  EXPECT_FALSE(fs::exists(desktop_link()));
  EXPECT_THROW(RemoveDesktopShortcut(files(), links()), RuntimeError);

  // An empty folder is removed without error; a missing one is an error.
  CreateStartMenuFolder(files(), StartMenuFolder(links()));
  RemoveStartMenuFolder(files(), links());
  EXPECT_FALSE(fs::exists(start_menu_folder()));
  EXPECT_THROW(RemoveStartMenuFolder(files(), links()), RuntimeError);
  // Replaced by a file: its deletion fails, the file stays.
  SystemFixture::Put(start_menu_folder(), "not a folder");
  EXPECT_THROW(RemoveStartMenuFolder(files(), links()), RuntimeError);
  EXPECT_TRUE(fs::is_regular_file(start_menu_folder()));
  fs::remove(start_menu_folder());
  CreateStartMenuFolder(files(), StartMenuFolder(links()));
  CreateStartMenuShortcuts(links(), program_, "/locknow");
  RemoveStartMenuFolder(files(), links());
  EXPECT_FALSE(fs::exists(start_menu_folder()));
}

}  // namespace
}  // namespace vellomar::testing
