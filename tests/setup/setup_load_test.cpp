// Setup's load: what it finds in force and shows, and the keyboard on the Setup forms.

#include <functional>

#include "setup/setup_fixture.h"

namespace vellomar::testing {
namespace {

using SetupLoadTest = SetupFixture;

TEST_F(SetupLoadTest, ShowsTheConfigurationInForce) {
  struct Case {
    const char* name;
    const char* digits;
    const char* entry;  // nullptr: no start-up entry
    bool autoexec_lock;
    std::vector<int> checks;       // Check1..Check4
    std::vector<int> digits_read;  // a3..a6, -1 unset
    int option;                    // selected Option1..5
    int a7;
  };
  const std::string su = SuArgument(kPassword);
  const std::vector<Case> cases = {
      {"digits 1010, nothing on boot", "1010", nullptr, false, {1, 0, 1, 0}, {1, 0, 1, 0}, 1, 1},
      {"x as third digit", "10x1", nullptr, false, {1, 0, 0, 1}, {1, 0, -1, 1}, 1, 1},
      {"no digits", "", nullptr, true, {0, 0, 0, 0}, {-1, -1, -1, -1}, 4, 4},
      {"lock switches and the lock line",
       "0100",
       "C:\\X\\kestrom.exe /locknowfull /nosmile /SU:",
       true,
       {0, 1, 0, 0},
       {0, 1, 0, 0},
       5,
       5},
      {"lock switches alone",
       "1100",
       "C:\\X\\kestrom.exe /locknow /SU:",
       false,
       {1, 1, 0, 0},
       {1, 1, 0, 0},
       3,
       2},
      {"only the record",
       "1100",
       "C:\\X\\kestrom.exe /SU:",
       false,
       {1, 1, 0, 0},
       {1, 1, 0, 0},
       2,
       3},
      {"a single letter, lock line or not", "1100", "X", true, {1, 1, 0, 0}, {1, 1, 0, 0}, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WritePassword(kPassword, c.digits);
    Put(autoexec(), c.autoexec_lock ? "rem C:\\X\\Halvrik.Exe\r\n" : "@ECHO OFF\r\n");
    if (c.entry) {
      SetStartupEntry(c.entry);
    } else {
      RemoveStartupEntry();
    }
    OpenSetup();
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Value("Check" + std::to_string(i + 1)), c.checks[i]) << "Check" << i + 1;
    }
    const std::optional<int>* read[] = {&setup().a3, &setup().a4, &setup().a5, &setup().a6};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(read[i]->value_or(-1), c.digits_read[i]) << "a" << i + 3;
    }
    for (int i = 1; i <= 5; ++i) {
      EXPECT_EQ(Value("Option" + std::to_string(i)), i == c.option ? 1 : 0) << "Option" << i;
    }
    EXPECT_EQ(setup().a7, c.a7);
    EXPECT_EQ(setup().pa, EncodePassword(kPassword));
    EXPECT_EQ(setup().GetWinPath, machines().Dos("WINDOWS"));
    EXPECT_EQ(rt().Text("Setup", "Text2"), "");
    EXPECT_EQ(rt().Focused(), "Setup.Text2");
  }
}

TEST_F(SetupLoadTest, ShortcutsOnDiskAndTheScreenSize) {
  std::filesystem::create_directories(start_menu_folder());
  ui::HeadlessRuntime::Options vga;
  vga.screen_width = 640;
  vga.screen_height = 480;
  OpenSetup(vga);
  EXPECT_EQ(setup().a1, 1);
  EXPECT_EQ(Value("Check6"), 1);
  EXPECT_EQ(setup().a2, 0);
  EXPECT_EQ(Value("Check5"), 0);
  EXPECT_EQ(setup().client_height, 7155 - (6825 - 6468));
  rt().Click("Setup", "Command2");
  EXPECT_TRUE(rt().Ended());
  EXPECT_TRUE(std::filesystem::exists(start_menu_folder())) << "nothing is written by a load";

  // The absent folder is made and removed again by the test; 800 x 600 keeps the usual height.
  std::filesystem::remove(start_menu_folder());
  Put(desktop_link(), "link");
  ui::HeadlessRuntime::Options svga;
  svga.screen_width = 800;
  svga.screen_height = 600;
  OpenSetup(svga);
  EXPECT_EQ(setup().a1, 0);
  EXPECT_FALSE(std::filesystem::exists(start_menu_folder()));
  EXPECT_EQ(setup().a2, 1);
  EXPECT_EQ(setup().client_height, 6468);
  rt().Click("Setup", "Command2");

  // Without a Programs folder the probe fails, which alone says nothing: the folder is absent.
  std::filesystem::remove_all(start_menu_folder().parent_path());
  OpenSetup(svga);
  EXPECT_EQ(setup().a1, 0);
  EXPECT_EQ(Value("Check6"), 0);
}

TEST_F(SetupLoadTest, ARecordWithoutMarkersEndsTheProgramAtLoadAndAMissingOneDoesNot) {
  // Setup on its own, as the gate would show it, over a record that lost its markers.
  WriteRecordFile("no markers at all\r\n");
  Create({}, [](ui::Application& app) { return app.Run<vellomar::Setup>(); }).Start();
  EXPECT_EQ(Messages(), std::vector<std::string>{ErrorBox(kMsgRecordCorrupted)});
  rt().DismissMessageBox();
  EXPECT_TRUE(rt().Ended());
  EXPECT_FALSE(rt().FormVisible("Setup"));

  RemoveRecordFile();
  Create({}, [](ui::Application& app) { return app.Run<vellomar::Setup>(); }).Start();
  EXPECT_TRUE(rt().FormVisible("Setup"));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Value("Check1"), 0);
  EXPECT_FALSE(setup().a3.has_value());
  EXPECT_EQ(setup().pa, "");
}

TEST_F(SetupLoadTest, AccessKeysAndEnterGoWhereTheUserExpects) {
  struct Case {
    const char* form;
    std::function<void(SetupFixture&)> open;
    char key;
    const char* focused;
  };
  const std::vector<Case> cases = {
      {"Welcome2",
       [](SetupFixture& f) {
         f.WritePlaceholder();
         f.StartWizard();
         f.ToPasswordPage();
         f.rt().Focus("Welcome2", "Command1");
       },
       'p', "Welcome2.Text2"},
      {"Welcome2",
       [](SetupFixture& f) {
         f.WritePlaceholder();
         f.StartWizard();
         f.ToPasswordPage();
         f.rt().Focus("Welcome2", "Command1");
       },
       'r', "Welcome2.Text3"},
      {"EnterSetupPassword", [](SetupFixture& f) { f.Start("/setup"); }, 'p',
       "EnterSetupPassword.Text1"},
      {"PassMain", [](SetupFixture& f) { f.Start(""); }, 'P', "PassMain.Text1"},
      {"Setup", [](SetupFixture& f) { f.OpenSetup(); }, 'r', "Setup.Text3"},
      {"Setup", [](SetupFixture& f) { f.OpenSetup(); }, 'n', "Setup.Text2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.form) + " Alt+" + c.key);
    WritePassword(kPassword, "1100");
    c.open(*this);
    if (std::string(c.form) == "Setup") rt().Focus("Setup", "Command1");
    rt().PressAccessKey(c.form, c.key);
    EXPECT_EQ(rt().Focused(), c.focused);
    EXPECT_TRUE(Messages().empty()) << "nothing was pressed";
    EXPECT_FALSE(rt().Ended());
  }

  // Setup has no default button: Enter in a box does nothing, Enter on a focused button presses
  // it.
  rt().Type("Setup", "Text2", "new");
  rt().PressEnter("Setup");
  EXPECT_TRUE(rt().FormVisible("Setup"));
  rt().Focus("Setup", "Command2");
  rt().PressEnter("Setup");
  EXPECT_TRUE(rt().Ended());
  EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "1100") + "\r\n");
}

}  // namespace
}  // namespace vellomar::testing
