// What fCreateShellLink writes on Windows, read back through the shell's own link object: the
// target, the arguments and the target's folder as the working directory.

#include "../platform_fixture.h"
#include "platform/dos_names.h"
#include "support/win32/link_reader.h"

namespace vellomar::testing {
namespace {

class LinkReadbackTest : public PlatformTest {};

TEST_F(LinkReadbackTest, LinkStartsTheTargetWithItsArgumentsInTheTargetsFolder) {
  fs::create_directories(Host(kDesktopRelative));
  Put("Program Files/Vellomar/kestrom.exe", "MZ");
  const std::string target = Dos("Program Files\\Vellomar\\kestrom.exe");
  ASSERT_EQ(1, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", target, "/locknow"));
  const LinkFields fields = ReadLink(links().DesktopFolder() + "\\Vellomar.lnk");
  EXPECT_TRUE(platform::SameDosName(target, fields.path)) << fields.path;
  EXPECT_EQ("/locknow", fields.arguments);
  EXPECT_TRUE(platform::SameDosName(Dos("Program Files\\Vellomar"), fields.working_directory))
      << fields.working_directory;
}

// Without moved places the machine asks the shell: on Wine and on Windows from Vista on both
// folders lie in the user's profile, not in the Windows directory as on Windows 95/98.
TEST(ShellFoldersTest, TheRealShellNamesFoldersThatExist) {
  platform::Win32Machine machine;
  for (const std::string& folder :
       {machine.links().ProgramsFolder(), machine.links().DesktopFolder()}) {
    EXPECT_FALSE(folder.empty());
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_NE('\\', folder.back()) << folder;
  }
}

}  // namespace
}  // namespace vellomar::testing
