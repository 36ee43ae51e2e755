// Every way a run of the start-up form, the lock screen and Setup ends releases the keyboard lock
// first; only the lockout screen keeps it (see the prompt's tests).

#include <functional>
#include <string>
#include <vector>

#include "forms/fixture.h"
#include "lock/kestrom.h"

namespace vellomar::testing {
namespace {

using EndingsTest = FormsFixture;

struct Ending {
  std::string name;
  std::string command;
  std::function<void(FormsFixture&)> setup;   // after the runtime is made, before the start
  std::function<void(FormsFixture&)> script;  // the user's actions after the start
  std::vector<std::string> messages;          // every message shown, "title: text"
};

void Nothing(FormsFixture&) {}
std::function<void(FormsFixture&)> Write(const std::string& content) {
  return [content](FormsFixture& f) { f.WriteRecordFile(content); };
}
std::function<void(FormsFixture&)> LockFails(int from_call, int code) {
  return [from_call, code](FormsFixture& f) { f.FailKeyboardLock(from_call, code); };
}
void Corrupt(FormsFixture& f) {
  f.WriteRecordFile("no markers\r\n");
}
void Remove(FormsFixture& f) {
  f.RemoveRecordFile();
}
std::function<void(FormsFixture&)> Enter(const std::string& form, const std::string& text) {
  return [form, text](FormsFixture& f) { f.TypeAndEnter(form, text); };
}
std::function<void(FormsFixture&)> Click(const std::string& form, const std::string& control) {
  return [form, control](FormsFixture& f) { f.rt().Click(form, control); };
}
std::function<void(FormsFixture&)> Close(const std::string& form) {
  return [form](FormsFixture& f) { f.rt().Close(form, 0); };
}
std::function<void(FormsFixture&)> Then(std::function<void(FormsFixture&)> first,
                                        std::function<void(FormsFixture&)> second) {
  return [first, second](FormsFixture& f) {
    first(f);
    second(f);
  };
}

TEST_F(EndingsTest, EveryEndingReleasesTheKeyboardLock) {
  const std::string corrupted = ErrorBox(kMsgRecordCorrupted);
  const std::string missing = ErrorBox(kMsgRecordMissing);
  const std::string no_lock = ErrorBox(kMsgKeyboardLockFailed);
  const std::string reversed = std::string("/SU:") + kEndMarker + kStartMarker;
  const int kNoLock = errc::kKeyboardLockUnavailable;
  // clang-format off
  const std::vector<Ending> endings = {
      {"correct password on the prompt", "",
       Nothing, Enter("PassMain", kPassword), {}},
      {"correct password on the lock screen", "/locknow",
       Nothing, Enter("Kestrom", kPassword), {}},
      {"correct password, whole screen, no smiley", "/locknowfull /nosmile",
       Nothing, Enter("Kestrom", kPassword), {}},
      {"corrupted file at load", "",
       Corrupt, Nothing, {corrupted}},
      {"missing file at load", "",
       Remove, Nothing, {missing}},
      {"corrupted /SU: record at load", "/SU:garbage",
       Remove, Nothing, {corrupted}},
      {"reversed /SU: markers at load", reversed,
       Nothing, Nothing, {missing}},
      {"corrupted file on the lock screen at load", "/locknow",
       Corrupt, Nothing, {corrupted}},
      {"empty file on the lock screen at load", "/locknow",
       Write(""), Nothing, {missing}},
      {"blank first line on the lock screen at load", "/locknow",
       Write("\r\n" + RecordLine(kPassword)), Nothing, {corrupted}},
      {"reversed markers on the lock screen at load", "/locknow",
       Write(std::string(kEndMarker) + kStartMarker), Nothing, {missing}},
      // Engage calls: PassMain's Initialize (1), its Load (2, then 3 before the record),
      // Kestrom's Load (3 with a lock switch) or PassMain's Activate (4).
      {"lock screen cannot lock the keyboard", "/locknow",
       LockFails(3, kNoLock), Nothing, {no_lock}},
      {"prompt cannot lock the keyboard at creation", "",
       LockFails(1, kNoLock), Nothing, {no_lock}},
      {"prompt cannot lock again before reading the record", "",
       LockFails(3, kNoLock), Nothing, {no_lock}},
      {"prompt cannot lock the keyboard when activated", "",
       LockFails(4, kNoLock), Nothing, {no_lock}},
      {"Setup cancelled", "/setup",
       Nothing, Then(Enter("EnterSetupPassword", kPassword), Click("Setup", "Command2")), {}},
      {"Setup closed by its close box", "/setup",
       Nothing, Then(Enter("EnterSetupPassword", kPassword), Close("Setup")), {}},
      {"unhandled run-time error", "",
       LockFails(2, errc::kDeviceIoError), Nothing,
       {"kestrom: Run-time error '57':\n\nThe keyboard is held by another client"}},
  };
  // clang-format on
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.name);
    WritePassword(kPassword);
    ui::HeadlessRuntime::Options options;
    options.command_line = ending.command;
    Create(options);
    ending.setup(*this);
    const bool had_file = std::filesystem::exists(record_file());
    const std::string file_before = RecordFileContent();
    rt().Start();
    ending.script(*this);
    for (int i = 0; i < 5 && !rt().Ended() && !rt().MessageBoxes().empty(); ++i) {
      rt().DismissMessageBox();
    }
    EXPECT_TRUE(rt().Ended());
    EXPECT_FALSE(rt().KeyboardLocked());
    EXPECT_EQ(Messages(), ending.messages);
    EXPECT_GE(rt().keyboard_lock().release_calls(), 1);
    EXPECT_EQ(rt().ExitCode(), ending.messages.empty() ? 0 : 1)
        << "an ending after an error message exits with a non-zero status";
    // A reader never repairs, recreates or rewrites the password file.
    EXPECT_EQ(std::filesystem::exists(record_file()), had_file);
    EXPECT_EQ(RecordFileContent(), file_before);
  }
}

// A record that can no longer be read when OK is pressed does not open a locked desktop: the
// message shows, the lock stays up, and the record read at load is what the password is checked
// against. Damaging or removing the file gets nobody in; the user who knows the password still
// gets out, with a clean ending. The same when the file goes bad and then the program is killed:
// the run restarted in the lock state, handed the record read when the lock started, shows the
// message over the lock at once and neither ends nor opens the wizard.
TEST_F(EndingsTest, RecordTroubleAtOkOrBeforeARestartKeepsTheLockAndChecksTheRecordReadAtLoad) {
  const std::string corrupted = ErrorBox(kMsgRecordCorrupted);
  const std::string missing = ErrorBox(kMsgRecordMissing);
  struct Trouble {
    std::string name;
    std::function<void(FormsFixture&)> damage;
    std::string message;
  };
  const std::vector<Trouble> troubles = {
      {"markers lost", Corrupt, corrupted},
      {"file removed", Remove, missing},
      {"file emptied", Write(""), missing},
      {"first line too long", Write(std::string(kMaxRecordLine + 1, 'x') + "\r\n"), missing},
      {"no-password placeholder put in", Write(PlaceholderLine() + "\r\n"), corrupted},
  };
  for (const bool restarted : {false, true}) {
    for (const auto& [form, command] : {std::pair{"PassMain", ""}, std::pair{"Kestrom", "/locknow"},
                                        std::pair{"Kestrom", "/locknowfull /nosmile"}}) {
      for (const Trouble& trouble : troubles) {
        SCOPED_TRACE(std::string(restarted ? "restarted, " : "") + form + " \"" + command + "\", " +
                     trouble.name);
        WritePassword(kPassword);
        ui::HeadlessRuntime::Options options;
        options.command_line = command;
        if (restarted) {
          options.resume = {ui::LockState::Stage::kPrompt, 20};
          options.resume_record = RecordLine(kPassword, "1100");
          Create(options);
          trouble.damage(*this);
          rt().Start();
          ASSERT_EQ(rt().MessageBoxes().size(), 1u);
          EXPECT_EQ(ErrorBox(rt().MessageBoxes()[0].second), trouble.message);
          EXPECT_EQ(rt().FormVisible("Kestrom"), std::string(form) == "Kestrom")
              << "the lock window stays up under the message";
          rt().DismissMessageBox();
          EXPECT_TRUE(rt().MessageBoxes().empty()) << "reported once, by the first load";
          EXPECT_TRUE(rt().FormVisible(form));
          EXPECT_FALSE(rt().FormLoaded("Welcome11"));
          EXPECT_EQ(rt().record_read_at_load(), options.resume_record)
              << "the next restart gets the same record";
        } else {
          Create(options);
          rt().Start();
          EXPECT_EQ(rt().record_read_at_load(), RecordLine(kPassword, "1100"));
          trouble.damage(*this);
        }

        TypeAndEnter(form, "not it");
        ASSERT_FALSE(rt().MessageBoxes().empty());
        EXPECT_EQ(ErrorBox(rt().MessageBoxes()[0].second), trouble.message);
        EXPECT_TRUE(rt().FormVisible(form)) << "the lock must stay up under the message";
        rt().DismissMessageBox();
        EXPECT_FALSE(rt().Ended());
        EXPECT_TRUE(rt().KeyboardLocked());
        while (!rt().MessageBoxes().empty()) rt().DismissMessageBox();  // "incorrect" on the prompt

        rt().AdvanceTime(2000);         // the wait after a wrong password
        TypeAndEnter(form, kPassword);  // the message shows again: the file is still damaged
        ASSERT_EQ(rt().MessageBoxes().size(), 1u);
        rt().DismissMessageBox();
        EXPECT_TRUE(rt().Ended()) << "the password read at load must still unlock";
        EXPECT_FALSE(rt().KeyboardLocked());
        EXPECT_EQ(rt().ExitCode(), 0);
      }
    }
  }
}

}  // namespace
}  // namespace vellomar::testing
