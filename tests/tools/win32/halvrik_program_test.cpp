// halvrik.exe as a Windows console program, started with its standard handles on pipes: it
// answers --version, refuses a wrong command line or a missing or damaged record, and, with a
// good record but no console to ask on, refuses to run rather than unlock.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "record/password_record.h"
#include "support/test_machine.h"
#include "tools/console_lock.h"

namespace vellomar::testing {
namespace {

// Closes the handle it holds.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// halvrik.exe is built beside kestrom.exe: <build>\app, the tests in <build>\tests.
std::string HalvrikPath() {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  return (std::filesystem::path(self).parent_path().parent_path() / "app" / "halvrik.exe").string();
}

struct Outcome {
  DWORD code = 0;
  std::string output;  // standard output and error together
};

// Runs halvrik.exe with `arguments`, its input a pipe that is closed at once, until it ends.
::testing::AssertionResult RunHalvrik(const std::string& arguments, Outcome& outcome) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  OwnedHandle out_read, out_write, in_read, in_write;
  if (!::CreatePipe(out_read.out(), out_write.out(), &inherited, 0) ||
      !::CreatePipe(in_read.out(), in_write.out(), &inherited, 0)) {
    return ::testing::AssertionFailure() << "no pipes";
  }
  ::SetHandleInformation(out_read.get(), HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(in_write.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read.get();
  startup.hStdOutput = out_write.get();
  startup.hStdError = out_write.get();
  PROCESS_INFORMATION started{};
  std::string command = "\"" + HalvrikPath() + "\" " + arguments;
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &started)) {
    return ::testing::AssertionFailure() << "cannot start " << command;
  }
  OwnedHandle process(started.hProcess), thread(started.hThread);
  // Only the child holds the pipes' other ends now: its input reads end of file at once, and
  // its output ends when it does.
  out_write.Close();
  in_read.Close();
  in_write.Close();
  char buffer[512];
  DWORD read = 0;
  while (::ReadFile(out_read.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    outcome.output.append(buffer, read);
  }
  ::WaitForSingleObject(process.get(), INFINITE);
  ::GetExitCodeProcess(process.get(), &outcome.code);
  return ::testing::AssertionSuccess();
}

TEST(HalvrikProgramTest, RefusesEveryRunItCannotLockAndNeverUnlocks) {
  TestMachine machine;
  const std::filesystem::path folder = machine.host_root() / "Program Files" / "Vellomar";
  std::filesystem::create_directories(folder);
  const std::string dir = machine.root() + "\\Program Files\\Vellomar";
  struct Case {
    const char* name;
    std::string record;  // empty: no supermp.dat
    std::string arguments;
    DWORD code;
    std::string message;
  };
  const std::string good = std::string(kStartMarker) + EncodePassword("pw") + kEndMarker + "1100";
  const std::vector<Case> cases = {
      {"--version", good, "--version", 0, "halvrik.exe (Vellomar)"},
      {"no /STARTPATH:", good, dir, 2, "usage: halvrik.exe"},
      {"missing record", "", "/STARTPATH: " + dir, tools::kNoRecord, kMsgRecordMissing},
      {"damaged record", std::string(kStartMarker) + "abc", "/STARTPATH: " + dir, tools::kNoRecord,
       kMsgRecordCorrupted},
      {"no console to ask on", good, "/STARTPATH: " + dir, tools::kNoTerminal, "needs a terminal"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder / "supermp.dat");
    if (!c.record.empty()) std::ofstream(folder / "supermp.dat") << c.record << "\r\n";
    Outcome outcome;
    ASSERT_TRUE(RunHalvrik(c.arguments, outcome));
    EXPECT_EQ(outcome.code, c.code) << outcome.output;
    EXPECT_NE(outcome.output.find(c.message), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("Password: "), std::string::npos) << outcome.output;
  }
}

}  // namespace
}  // namespace vellomar::testing
