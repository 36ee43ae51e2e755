// The console lock's logic on a scripted console and a virtual clock: it opens on the right
// password only, hides what is typed, paces wrong guesses, and finds its record after
// "/STARTPATH:" or says why there is none. (emulated/ runs halvrik.exe itself on a
// pseudo-terminal, win32/ as a console program.)

#include "tools/console_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "record/password_record.h"
#include "support/test_machine.h"

namespace vellomar::testing {
namespace {

// Gives `keys` one by one, then reports the input gone; keeps what is written.
class ScriptedConsole : public platform::KeyConsole {
 public:
  explicit ScriptedConsole(std::string keys) : keys_(std::move(keys)) {}
  bool ReadKey(char& key) override {
    if (at_ == keys_.size()) return false;
    key = keys_[at_++];
    return true;
  }
  void Write(const std::string& text) override { output += text; }
  std::string output;

 private:
  std::string keys_;
  std::size_t at_ = 0;
};

class VirtualClock : public platform::Clock {
 public:
  float Timer() override { return now; }
  void Sleep(double seconds) override {
    now += static_cast<float>(seconds);
    slept += seconds;
  }
  float now = 3600;
  double slept = 0;
};

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(ConsoleLockTest, OpensOnTheRightPasswordOnlyAndPacesWrongOnes) {
  struct Case {
    const char* name;
    const char* password;
    std::string keys;
    int code;
    int incorrect;  // "The password is incorrect." shown
    int blank;      // the blank-line message shown
    double slept;   // seconds waited on the clock
  };
  const std::vector<Case> cases = {
      {"right at once, in any letter case", "Open Sesame", "OPEN sesame\r", tools::kUnlocked, 0, 0,
       0},
      {"wrong, then right after the wait", "Open Sesame", "open sesamE?\rOpen Sesame\r",
       tools::kUnlocked, 1, 0, 2},
      {"wrong twice, then the input goes", "pw", "a\rb\r", tools::kNoTerminal, 2, 0, 2},
      // Ctrl+U clears the line, Backspace (either code) rubs one out, Ctrl+C, Ctrl+Z and Esc type
      // nothing.
      {"edited into the right one", "pw", "xy\x15p\x03\x1a\x1bwq\b\r", tools::kUnlocked, 0, 0, 0},
      {"rubbed out with DEL", "pw", "pwz\x7f\r", tools::kUnlocked, 0, 0, 0},
      {"a blank line is no guess, even against an empty password", "", "\r\r", tools::kNoTerminal,
       0, 2, 0},
      {"input gone before Enter", "pw", "pw", tools::kNoTerminal, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedConsole console(c.keys);
    VirtualClock clock;
    EXPECT_EQ(tools::AskUntilUnlocked(console, clock, EncodePassword(c.password)), c.code);
    EXPECT_EQ(Count(console.output, tools::kMsgIncorrect), c.incorrect) << console.output;
    EXPECT_EQ(Count(console.output, tools::kMsgBlank), c.blank) << console.output;
    EXPECT_DOUBLE_EQ(clock.slept, c.slept);
    EXPECT_EQ(console.output.rfind(std::string("\r\n") + tools::kMsgLocked + "\r\nPassword: ", 0),
              0u)
        << console.output;
  }
  // What is typed shows as stars only.
  ScriptedConsole console("Open Sesame\r");
  VirtualClock clock;
  tools::AskUntilUnlocked(console, clock, EncodePassword("Open Sesame"));
  EXPECT_EQ(UpperCase(console.output).find("SESAME"), std::string::npos) << console.output;
  EXPECT_EQ(Count(console.output, "*"), 11) << console.output;
}

TEST(ConsoleLockTest, StartPathIsTheFolderAfterTheSwitch) {
  const struct {
    std::vector<const char*> args;
    const char* dir;
  } cases[] = {
      {{"/STARTPATH:", "C:\\PROGRA~1\\VELLOMAR"}, "C:\\PROGRA~1\\VELLOMAR"},
      {{"/startpath:C:\\V"}, "C:\\V"},
      {{"/StartPath:", "C:\\Program", "Files\\V", " "}, "C:\\Program Files\\V"},
      {{"C:\\PROGRA~1\\VELLOMAR"}, ""},
      {{"/STARTPATH:", " "}, ""},
      {{}, ""},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"halvrik.exe"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(tools::StartPath(static_cast<int>(argv.size()), argv.data()), c.dir)
        << (c.args.empty() ? "" : c.args[0]);
  }
}

TEST(ConsoleLockTest, ReadsTheRecordInTheFolderOrSaysWhyNot) {
  struct Case {
    const char* name;
    std::string record;  // empty: no supermp.dat
    const char* folder;  // under the drive's root
    bool found;
    std::string why;
  };
  const std::string good = std::string(kStartMarker) + EncodePassword("pw") + kEndMarker + "1100";
  const std::vector<Case> cases = {
      {"good record", good, "Program Files\\Vellomar", true, ""},
      {"missing file", "", "Program Files\\Vellomar", false, kMsgRecordMissing},
      {"no end marker", std::string(kStartMarker) + "abc", "Program Files\\Vellomar", false,
       kMsgRecordCorrupted},
      {"placeholder", std::string(kStartMarker) + kNoPasswordPlaceholder + kEndMarker,
       "Program Files\\Vellomar", false, tools::kMsgNoPassword},
      {"folder that does not exist", good, "NOWHERE", false, kMsgRecordMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestMachine machine;
    const std::filesystem::path folder = machine.host_root() / "Program Files" / "Vellomar";
    std::filesystem::create_directories(folder);
    if (!c.record.empty()) std::ofstream(folder / "supermp.dat") << c.record << "\r\n";
    std::string encoded, why;
    EXPECT_EQ(
        tools::ReadStoredPassword(machine.files(), machine.root() + "\\" + c.folder, encoded, why),
        c.found);
    EXPECT_EQ(why.find(c.why), 0u) << why;
    EXPECT_EQ(encoded, c.found ? EncodePassword("pw") : "");
  }
}

}  // namespace
}  // namespace vellomar::testing
