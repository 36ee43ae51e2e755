// fCreateShellLink: links land relative to the Start menu's Programs folder, replace an old link
// whole, and fail with 0 leaving the disk as it was. The machine names the Programs and desktop
// folders (support/test_machine.h lays them out per machine). What a link holds is read back per
// machine (emulated/lnk_test.cpp with lnkinfo, win32/link_readback_test.cpp through IShellLinkA).

#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

class ShellLinksTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    fs::create_directories(Host(programs_ + "/Vellomar"));
    fs::create_directories(Host(desktop_));
    Put("Program Files/Vellomar/kestrom.exe", "MZ");
  }
  std::string Target() const { return Dos("Program Files\\Vellomar\\kestrom.exe"); }
  const std::string programs_ = kProgramsRelative;
  const std::string desktop_ = kDesktopRelative;
  const std::string desktop_link_ = std::string(kDesktopRelative) + "/Vellomar.lnk";
};

TEST_F(ShellLinksTest, TheMachineNamesTheProgramsAndDesktopFolders) {
  const auto dos = [this](std::string relative) {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return Dos(relative);
  };
  EXPECT_EQ(dos(programs_), links().ProgramsFolder());
  EXPECT_EQ(dos(desktop_), links().DesktopFolder());
}

TEST_F(ShellLinksTest, LinksLandInTheProgramsFolderAndOnTheDesktop) {
  EXPECT_EQ(1, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", Target(), "/locknow"));
  EXPECT_EQ(1, links().fCreateShellLink("Vellomar", "Vellomar Setup", Target(), "/setup"));
  EXPECT_EQ(std::vector<std::string>{"Vellomar.lnk"}, Entries(desktop_));
  EXPECT_EQ(std::vector<std::string>{"Vellomar Setup.lnk"}, Entries(programs_ + "/Vellomar"));
  EXPECT_FALSE(Get(desktop_link_).empty());
}

TEST_F(ShellLinksTest, ExistingLinkIsReplacedWithNoTemporaryFileLeft) {
  ASSERT_EQ(1, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", Target(), "/locknow"));
  const std::string before = Get(desktop_link_);
  ASSERT_EQ(1,
            links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", Target(), "/locknowfull"));
  EXPECT_NE(before, Get(desktop_link_)) << "the new arguments are in";
  EXPECT_EQ(std::vector<std::string>{"Vellomar.lnk"}, Entries(desktop_));
}

TEST_F(ShellLinksTest, FailureReturnsZeroAndLeavesTheDiskAsItWas) {
  EXPECT_EQ(0, links().fCreateShellLink("\\Missing", "Vellomar", Target(), ""));
  EXPECT_FALSE(fs::exists(Host(programs_ + "/Missing"))) << "no folder is made";

  fs::create_directory(Host(desktop_ + "/Folder.lnk"));
  EXPECT_EQ(0, links().fCreateShellLink(kDesktopFromPrograms, "Folder", Target(), ""));
  EXPECT_TRUE(fs::is_directory(Host(desktop_ + "/Folder.lnk")));

  EXPECT_EQ(0, links().fCreateShellLink(kDesktopFromPrograms, "a\\b", Target(), ""));
  EXPECT_EQ(0, links().fCreateShellLink(kDesktopFromPrograms, "", Target(), ""));

  ASSERT_EQ(1, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", Target(), "/locknow"));
  const std::string before = Get(desktop_link_);
  files().SetAttr(links().DesktopFolder() + "\\Vellomar.lnk", platform::attr::kReadOnly);
  EXPECT_EQ(0, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", Target(), "/setup"))
      << "a read-only link is kept as it is";
  EXPECT_EQ(before, Get(desktop_link_));
}

}  // namespace
}  // namespace vellomar::testing
