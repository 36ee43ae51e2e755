// Desktop twins: each shortcut on the emulated Desktop or in the Start menu has a freedesktop
// launcher beside it on the Linux side, made, replaced and deleted with it.

#include "platform/desktop_twins.h"

#include "emulated_fixture.h"

namespace vellomar::testing {
namespace {

class DesktopTwinsTest : public EmulatedPlatformTest {
 protected:
  void SetUp() override {
    EmulatedPlatformTest::SetUp();
    desktop_ = root_ / "Desktop";  // root_ is made by the set-up above, not before
    fs::create_directories(Host("WINDOWS/Desktop"));
    fs::create_directories(Host("WINDOWS/Start Menu/Programs/Vellomar"));
    Put("Program Files/Vellomar/kestrom.exe", "program");
    fs::create_directories(desktop_);
    platform::DesktopPlaces places{[this] { return desktop_; }, root_ / "data", root_ / "config"};
    machine_ = std::make_unique<platform::EmulatedMachine>(drive_c_, drive_c_, places);
  }

  long Link(const std::string& folder, const std::string& name, const std::string& arguments) {
    return machine_->links().fCreateShellLink(folder, name, kProgram, arguments);
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // desktop-file-validate's complaints about `path`; empty when it is clean.
  static std::string Validate(const fs::path& path) {
    const std::string command = "desktop-file-validate '" + path.string() + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
      if (pclose(pipe) != 0 && out.empty()) out = "desktop-file-validate failed";
    }
    return out;
  }

  static constexpr char kProgram[] = "C:\\Program Files\\Vellomar\\kestrom.exe";
  fs::path desktop_;  // the user's desktop folder, in the test's own folder
  fs::path Menu(const std::string& name) const {
    return root_ / "data/applications/vellomar" / (name + ".desktop");
  }
  fs::path MenuFile(const std::string& name) const {
    return root_ / "config/menus/applications-merged" / ("vellomar-" + name + ".menu");
  }
};

TEST_F(DesktopTwinsTest, ShortcutsGetValidTwinsThatGoWithThem) {
  ASSERT_EQ(1, Link("..\\..\\Desktop", "Vellomar", "/locknowfull /nosmile"));
  ASSERT_EQ(1, Link("\\Vellomar", "Vellomar - Immediate Lock", "/locknow"));
  ASSERT_EQ(1, Link("\\Vellomar", "Vellomar Setup", "/setup"));

  const fs::path program = Host("Program Files/Vellomar/kestrom.exe");
  const fs::path desktop_twin = desktop_ / "Vellomar.desktop";
  const std::string text = Read(desktop_twin);
  EXPECT_NE(std::string::npos, text.find("\nExec=env VELLOMAR_DRIVE_C=" + drive_c_.string() +
                                         " \"" + program.string() + "\" /locknowfull /nosmile\n"))
      << text;
  EXPECT_NE(std::string::npos, text.find("\nPath=" + program.parent_path().string() + "\n"))
      << text;
  EXPECT_NE(std::string::npos, text.find("\nTryExec=" + program.string() + "\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\nName=Vellomar\n")) << text;
  EXPECT_NE(std::string::npos, Read(Menu("Vellomar Setup")).find("\" /setup\n"));
  EXPECT_NE(std::string::npos, Read(MenuFile("Vellomar Setup"))
                                   .find("<Filename>vellomar-Vellomar Setup.desktop</Filename>"));
  EXPECT_TRUE(fs::exists(root_ / "data/desktop-directories/vellomar.directory"));
  for (const fs::path& twin :
       {desktop_twin, Menu("Vellomar - Immediate Lock"), Menu("Vellomar Setup"),
        root_ / "data/desktop-directories/vellomar.directory"}) {
    EXPECT_EQ("", Validate(twin)) << twin;
  }

  // Replacing a shortcut replaces its twin.
  ASSERT_EQ(1, Link("..\\..\\Desktop", "Vellomar", "/locknow"));
  EXPECT_NE(std::string::npos, Read(desktop_twin).find("\" /locknow\n"));

  // Deleting shortcuts, one by name and the folder's by wildcard, deletes their twins.
  machine_->files().Kill("C:\\WINDOWS\\desktop\\Vellomar.lnk");
  machine_->files().Kill("C:\\WINDOWS\\Start Menu\\Programs\\Vellomar\\*.*");
  for (const fs::path& gone : {desktop_twin, Menu("Vellomar - Immediate Lock"),
                               Menu("Vellomar Setup"), MenuFile("Vellomar Setup")}) {
    EXPECT_FALSE(fs::exists(gone)) << gone;
  }
}

TEST_F(DesktopTwinsTest, NoTwinWhereItWouldMislead) {
  struct Case {
    const char* what;
    const char* folder;
    std::function<void()> arrange;
    fs::path twin;
    bool made;
  };
  const fs::path desktop_twin = desktop_ / "Vellomar.desktop";
  const std::vector<Case> cases = {
      {"the target is gone: a twin made earlier goes too", "..\\..\\Desktop",
       [&] {
         ASSERT_EQ(1, Link("..\\..\\Desktop", "Vellomar", "/locknow"));
         fs::remove(Host("Program Files/Vellomar/kestrom.exe"));
       },
       desktop_twin, false},
      {"the user's own launcher of that name is left alone", "..\\..\\Desktop",
       [&] { std::ofstream(desktop_twin) << "[Desktop Entry]\nName=Mine\n"; }, desktop_twin, true},
      {"no desktop folder", "..\\..\\Desktop", [&] { fs::remove_all(desktop_); }, desktop_twin,
       false},
      {"a link elsewhere on C: has no twin", "..\\Other",
       [&] { fs::create_directories(Host("WINDOWS/Start Menu/Other")); },
       root_ / "data/applications/vellomar/Vellomar.desktop", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Put("Program Files/Vellomar/kestrom.exe", "program");
    fs::create_directories(desktop_);
    fs::remove(desktop_twin);
    c.arrange();
    EXPECT_EQ(1, Link(c.folder, "Vellomar", "/locknow")) << "the .lnk itself is always made";
    EXPECT_EQ(c.made, fs::exists(c.twin));
    if (fs::exists(desktop_twin) && c.made) {
      EXPECT_NE(std::string::npos, Read(desktop_twin).find("Name=Mine"));
      machine_->files().Kill("C:\\WINDOWS\\Desktop\\Vellomar.lnk");
      EXPECT_TRUE(fs::exists(desktop_twin)) << "deleting the .lnk keeps the user's file";
    }
    fs::remove_all(Host("WINDOWS/Start Menu/Other"));
  }
}

TEST(DesktopEntryTextTest, ExecQuotesWhatTheDesktopWouldSplitOrExpand) {
  const struct {
    const char *program, *arguments, *exec;
  } cases[] = {
      {"/c/kestrom.exe", "/locknow  /nosmile",
       "Exec=env VELLOMAR_DRIVE_C=/c /c/kestrom.exe /locknow /nosmile"},
      {"/c/Program Files/kestrom.exe", "/setup",
       "Exec=env VELLOMAR_DRIVE_C=/c \"/c/Program Files/kestrom.exe\" /setup"},
      {"/c/100%/k$x.exe", "", "Exec=env VELLOMAR_DRIVE_C=/c \"/c/100%%/k\\\\$x.exe\""},
      {"/c/a\\b.exe", "", "Exec=env VELLOMAR_DRIVE_C=/c \"/c/a\\\\\\\\b.exe\""},
  };
  for (const auto& c : cases) {
    const std::string text =
        platform::DesktopEntryText("N", c.program, c.arguments, "/c", "/c", "C:\\x.lnk");
    EXPECT_NE(std::string::npos, text.find(std::string("\n") + c.exec + "\n")) << text;
  }
}

}  // namespace
}  // namespace vellomar::testing
