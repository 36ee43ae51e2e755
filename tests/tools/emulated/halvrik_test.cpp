// halvrik.exe on a pseudo-terminal: it unlocks only on the right password, hides what is typed,
// shrugs off the signal keys, and refuses to run on a missing or damaged record.

#include <signal.h>

#include "platform/emulated/emulated_fixture.h"
#include "record/password_record.h"
#include "tools/pty_process.h"

namespace vellomar::testing {
namespace {

using test::PtyProcess;

constexpr char kProgramFolder[] = "Program Files/Vellomar";

class HalvrikTest : public EmulatedPlatformTest {
 protected:
  void SetUp() override {
    EmulatedPlatformTest::SetUp();
    fs::create_directories(drive_c_ / kProgramFolder);
    WriteRecord(std::string(kStartMarker) + EncodePassword("Open Sesame") + kEndMarker + "1100");
  }

  void WriteRecord(const std::string& line) {
    std::ofstream(drive_c_ / kProgramFolder / "supermp.dat", std::ios::binary) << line << "\r\n";
  }

  std::unique_ptr<PtyProcess> Lock(const std::vector<std::string>& args = {
                                       "/STARTPATH:", "C:\\PROGRA~1\\VELLOMAR"}) {
    std::vector<std::string> argv = {HALVRIK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<PtyProcess>(argv, std::vector<std::pair<std::string, std::string>>{
                                                  {"VELLOMAR_DRIVE_C", drive_c_.string()}});
  }
};

TEST_F(HalvrikTest, WrongPasswordsAndSignalKeysKeepTheLockUntilTheRightOneInAnyCase) {
  auto lock = Lock();
  ASSERT_TRUE(lock->WaitFor("Password: ")) << lock->output();
  lock->Type("open sesamE?\r");
  ASSERT_TRUE(lock->WaitFor("The password is incorrect.")) << lock->output();
  // Ctrl+C, Ctrl+Z, Ctrl+\ and the same signals sent from outside: the lock stays and is not
  // stopped.
  const std::size_t before = lock->output().size();
  lock->Type("\x03\x1a\x1c");
  lock->Signal(SIGINT);
  lock->Signal(SIGTSTP);
  lock->Signal(SIGQUIT);
  lock->Type("x\x7f");  // typed and rubbed out again
  lock->Type("OPEN sesame\r");
  EXPECT_EQ(0, lock->WaitExit()) << lock->output();
  EXPECT_EQ(std::string::npos, lock->output().find("\r\nThe password is incorrect.", before))
      << lock->output();
  EXPECT_EQ(std::string::npos, UpperCase(lock->output()).find("SESAME")) << lock->output();
  EXPECT_NE(std::string::npos, lock->output().find("***********")) << lock->output();
}

// Neither a blank line (even against a record whose password is empty, as the window forms refuse
// it) nor losing the terminal opens the lock.
TEST_F(HalvrikTest, BlankLinesAndLosingTheTerminalAreNoUnlock) {
  WriteRecord(std::string(kStartMarker) + kEndMarker + "1100");
  auto lock = Lock();
  ASSERT_TRUE(lock->WaitFor("Password: ")) << lock->output();
  lock->Type("\r");
  ASSERT_TRUE(lock->WaitFor("You have left the required password field blank.")) << lock->output();
  lock->CloseTerminal();
  const std::optional<int> code = lock->WaitExit();
  EXPECT_TRUE(!code || *code != 0) << "exit code " << *code;
}

TEST_F(HalvrikTest, RefusesWithoutAUsableRecord) {
  struct Case {
    const char* what;
    std::string record;  // empty: no supermp.dat
    std::vector<std::string> args;
    int code;
    std::string message;
  };
  const std::string good = std::string(kStartMarker) + EncodePassword("pw") + kEndMarker;
  const std::vector<std::string> start_path = {"/startpath:", "C:\\Program Files\\Vellomar"};
  const std::vector<Case> cases = {
      {"missing file", "", start_path, 3, kMsgRecordMissing},
      {"no end marker", std::string(kStartMarker) + "abc", start_path, 3, kMsgRecordCorrupted},
      {"placeholder", std::string(kStartMarker) + kNoPasswordPlaceholder + kEndMarker, start_path,
       3, "No password has been chosen yet."},
      {"folder that does not exist", good, {"/STARTPATH:", "C:\\NOWHERE"}, 3, kMsgRecordMissing},
      {"no /STARTPATH:", good, {"C:\\PROGRA~1\\VELLOMAR"}, 2, "usage: halvrik.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(drive_c_ / kProgramFolder / "supermp.dat");
    if (!c.record.empty()) WriteRecord(c.record);
    auto lock = Lock(c.args);
    EXPECT_EQ(c.code, lock->WaitExit()) << lock->output();
    EXPECT_NE(std::string::npos, lock->output().find(c.message)) << lock->output();
    EXPECT_EQ(std::string::npos, lock->output().find("Password: ")) << lock->output();
  }
}

TEST_F(HalvrikTest, AnswersHelpAndVersion) {
  for (const char* option : {"--help", "--version"}) {
    auto run = Lock({option});
    EXPECT_EQ(0, run->WaitExit()) << run->output();
    EXPECT_NE(std::string::npos, run->output().find("halvrik.exe")) << run->output();
  }
}

}  // namespace
}  // namespace vellomar::testing
