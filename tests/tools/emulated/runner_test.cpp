// vellomar-start's login modes: --autostart is silent without an installation, --autoexec runs
// the AUTOEXEC.BAT lock lines on the terminal and succeeds only when each lock was opened.

#include "platform/emulated/emulated_fixture.h"
#include "record/password_record.h"
#include "tools/pty_process.h"

namespace vellomar::testing {
namespace {

using test::PtyProcess;

class RunnerTest : public EmulatedPlatformTest {
 protected:
  void SetUp() override {
    EmulatedPlatformTest::SetUp();
    fs::create_directories(Host("Program Files/Vellomar"));
    fs::copy_file(HALVRIK_EXE, Host("Program Files/Vellomar/halvrik.exe"));
    Put("Program Files/Vellomar/supermp.dat",
        std::string(kStartMarker) + EncodePassword("pw") + kEndMarker + "0000\r\n");
  }

  std::unique_ptr<PtyProcess> Runner(const std::vector<std::string>& args, const fs::path& drive) {
    std::vector<std::string> argv = {VELLOMAR_START, "--drive-c", drive.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<PtyProcess>(argv, std::vector<std::pair<std::string, std::string>>{});
  }

  static constexpr char kLockLine[] =
      "C:\\PROGRA~1\\VELLOMAR\\halvrik.exe /STARTPATH: C:\\PROGRA~1\\VELLOMAR";
};

TEST_F(RunnerTest, NothingToStartIsNoError) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    bool drive;
  } cases[] = {
      {"autostart without a drive", {"--autostart"}, false},
      {"autostart without a registry", {"--autostart"}, true},
      {"autoexec without a drive", {"--autoexec"}, false},
      {"autoexec without AUTOEXEC.BAT", {"--autoexec"}, true},
  };
  for (const auto& c : cases) {
    auto run = Runner(c.args, c.drive ? drive_c_ : root_ / "nothing");
    EXPECT_EQ(0, run->WaitExit()) << c.what << ": " << run->output();
    EXPECT_EQ("", run->output()) << c.what;
  }
}

TEST_F(RunnerTest, AutoexecRunsOnlyTheLockLines) {
  Put("AUTOEXEC.BAT", std::string("@ECHO OFF\r\nREM halvrik.exe is started below\r\n") + kLockLine +
                          "\r\nSET PATH=C:\\\r\n");
  auto dry = Runner({"--autoexec", "--dry-run"}, drive_c_);
  EXPECT_EQ(0, dry->WaitExit());
  EXPECT_EQ(1u, [&] {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = dry->output().find("program:", at)) != std::string::npos; ++at) {
      ++n;
    }
    return n;
  }()) << dry->output();
  EXPECT_NE(std::string::npos, dry->output().find("argument: /STARTPATH: C:\\PROGRA~1\\VELLOMAR"))
      << dry->output();

  // The lock asks on the runner's terminal; the runner succeeds once it is opened.
  auto run = Runner({"--autoexec"}, drive_c_);
  ASSERT_TRUE(run->WaitFor("Password: ")) << run->output();
  run->Type("\x03wrong\r");
  ASSERT_TRUE(run->WaitFor("The password is incorrect.")) << run->output();
  run->Type("PW\r");
  EXPECT_EQ(0, run->WaitExit()) << run->output();
}

TEST_F(RunnerTest, AutoexecFailsClosed) {
  const struct {
    const char* what;
    std::string autoexec;
    std::string record;
  } cases[] = {
      {"the lock line names a missing program",
       "C:\\NOWHERE\\halvrik.exe /STARTPATH: C:\\PROGRA~1\\VELLOMAR\r\n", "keep"},
      {"the record is damaged", std::string(kLockLine) + "\r\n", "damaged\r\n"},
  };
  for (const auto& c : cases) {
    Put("AUTOEXEC.BAT", c.autoexec);
    if (c.record != "keep") Put("Program Files/Vellomar/supermp.dat", c.record);
    auto run = Runner({"--autoexec"}, drive_c_);
    const std::optional<int> code = run->WaitExit();
    EXPECT_TRUE(code && *code != 0) << c.what << ": " << run->output();
  }
}

}  // namespace
}  // namespace vellomar::testing
