// fCreateShellLink: links land relative to the Start menu's Programs folder, replace an old link
// whole, and fail with 0 leaving the disk as it was. What a link holds is read back per machine
// (emulated/lnk_test.cpp with lnkinfo, win32/link_readback_test.cpp through IShellLinkA).

#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

class ShellLinksTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    fs::create_directories(Host("WINDOWS/Start Menu/Programs/Vellomar"));
    fs::create_directories(Host("WINDOWS/Desktop"));
    Put("Program Files/Vellomar/kestrom.exe", "MZ");
  }
  std::string Target() const { return Dos("Program Files\\Vellomar\\kestrom.exe"); }
};

TEST_F(ShellLinksTest, LinksLandInTheProgramsFolderAndOnTheDesktop) {
  EXPECT_EQ(1, links().fCreateShellLink("..\\..\\Desktop", "Vellomar", Target(), "/locknow"));
  EXPECT_EQ(1, links().fCreateShellLink("Vellomar", "Vellomar Setup", Target(), "/setup"));
  EXPECT_EQ(std::vector<std::string>{"Vellomar.lnk"}, Entries("WINDOWS/Desktop"));
  EXPECT_EQ(std::vector<std::string>{"Vellomar Setup.lnk"},
            Entries("WINDOWS/Start Menu/Programs/Vellomar"));
  EXPECT_FALSE(Get("WINDOWS/Desktop/Vellomar.lnk").empty());
}

TEST_F(ShellLinksTest, ExistingLinkIsReplacedWithNoTemporaryFileLeft) {
  ASSERT_EQ(1, links().fCreateShellLink("..\\..\\Desktop", "Vellomar", Target(), "/locknow"));
  const std::string before = Get("WINDOWS/Desktop/Vellomar.lnk");
  ASSERT_EQ(1, links().fCreateShellLink("..\\..\\Desktop", "Vellomar", Target(), "/locknowfull"));
  EXPECT_NE(before, Get("WINDOWS/Desktop/Vellomar.lnk")) << "the new arguments are in";
  EXPECT_EQ(std::vector<std::string>{"Vellomar.lnk"}, Entries("WINDOWS/Desktop"));
}

TEST_F(ShellLinksTest, FailureReturnsZeroAndLeavesTheDiskAsItWas) {
  EXPECT_EQ(0, links().fCreateShellLink("\\Missing", "Vellomar", Target(), ""));
  EXPECT_FALSE(fs::exists(Host("WINDOWS/Start Menu/Programs/Missing"))) << "no folder is made";

  fs::create_directory(Host("WINDOWS/Desktop/Folder.lnk"));
  EXPECT_EQ(0, links().fCreateShellLink("..\\..\\Desktop", "Folder", Target(), ""));
  EXPECT_TRUE(fs::is_directory(Host("WINDOWS/Desktop/Folder.lnk")));

  EXPECT_EQ(0, links().fCreateShellLink("..\\..\\Desktop", "a\\b", Target(), ""));
  EXPECT_EQ(0, links().fCreateShellLink("..\\..\\Desktop", "", Target(), ""));

  ASSERT_EQ(1, links().fCreateShellLink("..\\..\\Desktop", "Vellomar", Target(), "/locknow"));
  const std::string before = Get("WINDOWS/Desktop/Vellomar.lnk");
  files().SetAttr(Dos("WINDOWS\\Desktop\\Vellomar.lnk"), platform::attr::kReadOnly);
  EXPECT_EQ(0, links().fCreateShellLink("..\\..\\Desktop", "Vellomar", Target(), "/setup"))
      << "a read-only link is kept as it is";
  EXPECT_EQ(before, Get("WINDOWS/Desktop/Vellomar.lnk"));
}

}  // namespace
}  // namespace vellomar::testing
