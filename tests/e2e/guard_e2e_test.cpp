// A lock that fails closed: whichever process of the lock dies, however it dies (SIGKILL, a
// crash, SIGTERM, its X connection killed with xkill), in the timed prompt, either immediate lock
// or the lockout, the desktop never shows, no key reaches another window while xdotool types
// throughout, and the lock comes back as it was; the password then ends every process of it.
// A password file removed, damaged, emptied or put back to the no-password placeholder just
// before the kill changes none of that: the restarted lock reports the file over the lock, stays
// up, and takes the password it started with.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "record/password_record.h"
#include "tests/e2e/x_session.h"

namespace vellomar::e2e {
namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "Secret7";

enum class Victim { kForms, kGuard };
// kXKillBoth: XKillClient of the victim's connection, then at once of the other's.
enum class Kill { kSigKill, kSigSegv, kSigTerm, kXKill, kXKillBoth };
enum class State { kPrompt, kLockNow, kLockNowFull, kLockout };
enum class Record { kKept, kRemoved, kDamaged, kEmptied, kPlaceholder };

struct Case {
  Victim victim;
  Kill kill;
  State state;
  Record record = Record::kKept;  // what happens to the password file just before the kill
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  const char* victims[] = {"Forms", "Guard"};
  const char* kills[] = {"SIGKILL", "SIGSEGV", "SIGTERM", "xkill", "xkillBoth"};
  const char* states[] = {"Prompt", "LockNow", "LockNowFull", "Lockout"};
  const char* records[] = {"", "_RecordRemoved", "_RecordDamaged", "_RecordEmptied",
                           "_RecordPlaceholder"};
  const Case& c = info.param;
  return std::string(victims[static_cast<int>(c.victim)]) + "_" + kills[static_cast<int>(c.kill)] +
         "_" + states[static_cast<int>(c.state)] + records[static_cast<int>(c.record)];
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (Victim victim : {Victim::kForms, Victim::kGuard}) {
    for (Kill kill :
         {Kill::kSigKill, Kill::kSigSegv, Kill::kSigTerm, Kill::kXKill, Kill::kXKillBoth}) {
      for (State state : {State::kPrompt, State::kLockNow, State::kLockNowFull, State::kLockout}) {
        cases.push_back({victim, kill, state});
      }
    }
  }
  // Every way the file goes bad on the prompt, and each once on a lock screen.
  for (Record record :
       {Record::kRemoved, Record::kDamaged, Record::kEmptied, Record::kPlaceholder}) {
    cases.push_back({Victim::kForms, Kill::kSigKill, State::kPrompt, record});
  }
  cases.push_back({Victim::kForms, Kill::kSigKill, State::kLockNow, Record::kRemoved});
  cases.push_back({Victim::kForms, Kill::kSigKill, State::kLockNowFull, Record::kDamaged});
  cases.push_back({Victim::kForms, Kill::kSigKill, State::kLockNow, Record::kEmptied});
  cases.push_back({Victim::kForms, Kill::kSigKill, State::kLockNowFull, Record::kPlaceholder});
  return cases;
}

class LockProcesses {
 public:
  explicit LockProcesses(const Installation& installation)
      : forms_(installation.program_dir() / "kestrom.exe"),
        guard_(installation.program_dir() / "vellomar-guard") {}
  ~LockProcesses() {
    for (const fs::path& program : {guard_, forms_}) {
      for (pid_t pid : ProcessesOf(program)) kill(pid, SIGKILL);
    }
  }
  const fs::path& forms() const { return forms_; }
  const fs::path& guard() const { return guard_; }
  pid_t One(const fs::path& program) const {
    const std::vector<pid_t> pids = ProcessesOf(program);
    return pids.size() == 1 ? pids.front() : 0;
  }
  bool NoneLeft() const { return ProcessesOf(forms_).empty() && ProcessesOf(guard_).empty(); }

 private:
  fs::path forms_;
  fs::path guard_;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Key(const std::string& keys) {
  e2e::Run({"xdotool", "key", "--clearmodifiers", keys});
}

// Does to the password file what `record` says; returns the message the lock then shows.
std::string SpoilRecord(const fs::path& file, Record record) {
  switch (record) {
    case Record::kRemoved:
      fs::remove(file);
      return kMsgRecordMissing;
    case Record::kDamaged:
      std::ofstream(file, std::ios::binary | std::ios::trunc) << "no markers\r\n";
      return kMsgRecordCorrupted;
    case Record::kEmptied:
      std::ofstream(file, std::ios::binary | std::ios::trunc).close();
      return kMsgRecordMissing;
    case Record::kPlaceholder:
      std::ofstream(file, std::ios::binary | std::ios::trunc)
          << kStartMarker << kNoPasswordPlaceholder << kEndMarker << "\r\n";
      return kMsgRecordCorrupted;
    case Record::kKept:
      break;
  }
  return "";
}

class GuardE2e : public ::testing::TestWithParam<Case> {
 protected:
  State state() const { return GetParam().state; }
  bool Covers() const { return state() != State::kPrompt; }
  std::string Mode() const {
    switch (state()) {
      case State::kLockNow:
        return "/locknow";
      case State::kLockNowFull:
        return "/locknowfull";
      default:
        return "";
    }
  }
  // The caption of the window the state shows (the lock window has no title bar, only a name).
  std::string Caption() const {
    switch (state()) {
      case State::kPrompt:
        return "Enter Password";
      case State::kLockout:
        return "Lockout";
      default:
        return "Kestrom";
    }
  }
  // The trace event that says the state's window is up.
  bool StateShown(Kestrom& run) {
    if (state() == State::kLockout) return run.WaitForEvent("show", {{"form", "Lockout"}});
    if (state() == State::kPrompt) return run.WaitForEvent("show", {{"form", "PassMain"}});
    return run.WaitForEvent("place", {{"form", "Kestrom"}});
  }
  std::string Probe(const std::vector<std::string>& args) {
    std::vector<std::string> command = {X_PROBE};
    command.insert(command.end(), args.begin(), args.end());
    return e2e::Run(command).out;
  }

  XSession session_;
  Installation installation_{kPassword};
  LockProcesses processes_{installation_};
  TempFolder logs_{"vellomar-guard-e2e"};
};

TEST_P(GuardE2e, LockSurvivesTheDeathOfEitherProcess) {
  const Case& c = GetParam();
  const fs::path victim_log = logs_.path() / "victim.log";
  Child victim({X_PROBE, "victim", "Victim", victim_log.string()});
  ASSERT_NE(FindWindow("Victim"), "");

  // The user's keymap has the grab-break actions: whatever dies meanwhile, they are back at the
  // end.
  e2e::Run({"setxkbmap", "-option", "grab:break_actions"});
  ASSERT_EQ(Probe({"grab-break-keys"}), "2");
  // The minute passes in a second for the lockout; the prompt runs on the real clock.
  Kestrom run(installation_, Mode(), state() == State::kLockout ? 60.0 : 1.0);
  ASSERT_TRUE(StateShown(run));
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindowName() == Caption(); }))
      << "the focus is on " << FocusedWindowName();
  // Three seconds of the prompt's minute used: a restart must not give a fresh one.
  if (state() == State::kPrompt) {
    ASSERT_TRUE(run.WaitForEvent("set", {{"control", "Label2"}, {"value", "57"}}));
  }
  ASSERT_TRUE(WaitUntil([&] { return processes_.One(processes_.guard()) != 0; }))
      << "no guard started";
  if (Covers()) {
    ASSERT_TRUE(WaitUntil([&] {
      return !Probe({"find", "vellomar-guard", "visible"}).empty();
    })) << "the guard does not stand behind the lock";
  }
  const pid_t forms = processes_.One(processes_.forms());
  const pid_t guard = processes_.One(processes_.guard());
  ASSERT_NE(forms, 0);
  const std::size_t events_before = run.Events().size();
  const std::string message = SpoilRecord(installation_.program_dir() / "supermp.dat", c.record);

  // Keys typed throughout, and (where the lock covers the screen) its pixels watched throughout.
  Child typist({"xdotool", "type", "--delay", "10", std::string(200, 'q')});
  const fs::path watch_log = logs_.path() / "watch.log";
  Child watcher;
  if (Covers()) {
    // Below the lockout's own title bar (and the guard's warning, shown while the keyboard is
    // not had), above the taskbar lock's strip.
    watcher =
        Child({X_ATTACK, "watch-covered", "0", "45", "1024", "645", "3000"}, {}, {}, watch_log);
  }

  // Another client grabbing and letting go of the keyboard as fast as it can, throughout.
  const fs::path race_log = logs_.path() / "race.log";
  Child racer({X_ATTACK, "grab-race"}, {}, {}, race_log);

  const bool forms_dies = c.victim == Victim::kForms;
  const pid_t target = forms_dies ? forms : guard;
  switch (c.kill) {
    case Kill::kSigKill:
      kill(target, SIGKILL);
      break;
    case Kill::kSigSegv:
      kill(target, SIGSEGV);
      break;
    case Kill::kSigTerm:
      kill(target, SIGTERM);
      break;
    case Kill::kXKill:
    case Kill::kXKillBoth: {
      const std::string forms_window = Probe({"find", Caption()});
      const std::string guard_window = Probe({"find", "vellomar-guard"});
      ASSERT_FALSE(forms_window.empty() || guard_window.empty());
      e2e::Run({"xkill", "-id", forms_dies ? forms_window : guard_window});
      if (c.kill == Kill::kXKillBoth) {
        e2e::Run({"xkill", "-id", forms_dies ? guard_window : forms_window});
      }
      break;
    }
  }

  if (forms_dies || c.kill == Kill::kXKillBoth) {
    // A new forms process, in the same state, holding the keyboard again.
    ASSERT_TRUE(WaitUntil([&] {
      const pid_t now = processes_.One(processes_.forms());
      return now != 0 && now != forms;
    })) << "kestrom.exe was not started again";
    EXPECT_EQ(processes_.One(processes_.guard()), guard) << "the guard changed";
    ASSERT_TRUE(WaitUntil([&] {
      const auto events = run.Events();
      return std::any_of(events.begin() + static_cast<long>(events_before), events.end(),
                         [&](const ui::TraceEvent& event) { return event.ev == "keyboard_lock"; });
    })) << "the restarted lock did not engage";
  } else if (c.kill == Kill::kSigTerm || c.kill == Kill::kXKill) {
    // The guard ignores what a terminal or a session sends, and opens the display again when its
    // connection is killed.
    EXPECT_EQ(processes_.One(processes_.guard()), guard);
  } else {
    ASSERT_TRUE(WaitUntil([&] {
      const pid_t now = processes_.One(processes_.guard());
      return now != 0 && now != guard;
    })) << "no new guard";
    EXPECT_EQ(processes_.One(processes_.forms()), forms) << "kestrom.exe changed";
  }
  EXPECT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); })) << "the keyboard is free";
  if (!message.empty()) {
    // The restarted run reports the file over the lock; the message box has the focus.
    EXPECT_TRUE(run.WaitForEvent("msgbox", {{"text", message}}));
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindowName() == "Error"; }))
        << "the focus is on " << FocusedWindowName();
  } else {
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindowName() == Caption(); }))
        << "the focus is on " << FocusedWindowName();
  }

  racer.Stop();
  EXPECT_EQ(typist.Wait(), 0);
  watcher.Wait();
  if (c.kill != Kill::kXKillBoth) {
    if (forms_dies) {
      // Nothing was released at any moment: the guard held the keyboard throughout.
      EXPECT_EQ(ReadFile(race_log), "ready\nwins 0\n");
    }
    if (Covers()) {
      EXPECT_EQ(ReadFile(watch_log), "covered 3000\n") << "the desktop showed";
    }
    EXPECT_EQ(ReadFile(victim_log), "") << "keys reached another window";
  }
  // With both connections killed at once, nothing of the lock stands for the moment the guard
  // takes to connect again: only that the lock comes back is asked.
  if (!message.empty()) {
    // Enter closes the message, and the lock goes on holding.
    Key("Return");
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindowName() == Caption(); }))
        << "the lock did not stay up; the focus is on " << FocusedWindowName();
    EXPECT_FALSE(OtherClientCanGrabKeyboard());
  }

  if (state() == State::kPrompt && forms_dies) {
    // The restarted prompt goes on with the seconds it had left.
    const auto events = run.Events();
    int highest = -1;
    for (auto it = events.begin() + static_cast<long>(events_before); it != events.end(); ++it) {
      if (it->ev == "set" && it->Get("control") == "Label2") {
        highest = std::max(highest, std::atoi(it->Get("value").c_str()));
      }
    }
    EXPECT_GE(highest, 0) << "the restarted prompt shows no countdown";
    EXPECT_LE(highest, 57) << "the restarted prompt began a fresh minute";
  }

  if (state() == State::kLockout) {
    // No way out but a restart: still up, still holding.
    EXPECT_FALSE(OtherClientCanGrabKeyboard());
    return;
  }
  // What was typed into the lock meanwhile goes; the password ends every process of the lock.
  Key("ctrl+a");
  Key("BackSpace");
  e2e::Run({"xdotool", "type", "--delay", "15", kPassword});
  Key("Return");
  if (!message.empty()) {
    // The file is read again and reported again; the password the lock started with still opens
    // it.
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindowName() == "Error"; }))
        << "the focus is on " << FocusedWindowName();
    Key("Return");
  }
  EXPECT_TRUE(WaitUntil([&] { return processes_.NoneLeft(); })) << "a process of the lock is left";
  EXPECT_TRUE(OtherClientCanGrabKeyboard());
  EXPECT_TRUE(WaitUntil([&] { return Probe({"grab-break-keys"}) == "2"; }))
      << "the keymap is the user's again once the lock is gone";
}

class GuardSignals : public ::testing::Test {
 protected:
  XSession session_;
  Installation installation_{kPassword};
  LockProcesses processes_{installation_};
};

TEST_F(GuardSignals, WhileLockedTheFormsDieOfThemAndComeBackTheGuardIgnoresThem) {
  Kestrom run(installation_, "/locknow");
  ASSERT_TRUE(run.WaitForEvent("place", {{"form", "Kestrom"}}));
  ASSERT_TRUE(WaitUntil([&] { return processes_.One(processes_.guard()) != 0; }));
  const pid_t guard = processes_.One(processes_.guard());
  for (int signal : {SIGINT, SIGHUP, SIGQUIT, SIGTERM}) {
    kill(guard, signal);
    const pid_t forms = processes_.One(processes_.forms());
    ASSERT_NE(forms, 0);
    kill(forms, signal);
    ASSERT_TRUE(WaitUntil([&] {
      const pid_t now = processes_.One(processes_.forms());
      return now != 0 && now != forms;
    })) << "kestrom.exe did not come back after signal "
        << signal;
    EXPECT_TRUE(WaitUntil([] { return !OtherClientCanGrabKeyboard(); }));
    EXPECT_EQ(processes_.One(processes_.guard()), guard) << "the guard took signal " << signal;
  }
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Kestrom"; }));
  e2e::Run({"xdotool", "type", "--delay", "15", kPassword});
  Key("Return");
  EXPECT_TRUE(WaitUntil([&] { return processes_.NoneLeft(); })) << "a process of the lock is left";
}

TEST_F(GuardSignals, WithTheLockReleasedTheyEndTheProgramAsUsual) {
  // Setup runs with the keyboard released, after the gate: no guard, and SIGTERM ends it.
  Kestrom run(installation_, "/setup");
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "EnterSetupPassword"}}));
  ASSERT_TRUE(WaitUntil([&] { return processes_.One(processes_.guard()) != 0; }))
      << "the gate runs locked, with its guard";
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Setup"; }))
      << "the focus is on " << FocusedWindowName();
  e2e::Run({"xdotool", "type", "--delay", "15", kPassword});
  Key("Return");
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "Setup"}}));
  EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(processes_.guard()).empty(); }))
      << "the guard outlived the lock";
  kill(processes_.One(processes_.forms()), SIGTERM);
  EXPECT_NE(run.WaitForExit(), 0);
  EXPECT_TRUE(processes_.NoneLeft());
}

// The record on the command line is for kestrom.exe alone: what every user of the machine can
// read of its processes (their command lines; the environment too) never holds it, before a
// crash or after the guard started kestrom.exe again. The record is for another password than
// the file's, and the file goes before the crash: only the record handed over unlocks after it.
TEST_F(GuardSignals, TheRecordOnTheCommandLineIsReadableByNoOneElseBeforeAndAfterARestart) {
  constexpr char kOther[] = "Elsewhere4";
  const std::string encoded = EncodePassword(kOther);
  Kestrom run(installation_, std::string("/SU:") + kStartMarker + encoded + kEndMarker);
  ASSERT_TRUE(run.WaitForEvent("show", {{"form", "PassMain"}}));
  ASSERT_TRUE(WaitUntil([&] { return processes_.One(processes_.guard()) != 0; }));
  const auto seen = [](pid_t pid) {
    const fs::path proc = "/proc/" + std::to_string(pid);
    return ReadFile(proc / "cmdline") + ReadFile(proc / "environ");
  };
  const pid_t forms = processes_.One(processes_.forms());
  ASSERT_NE(forms, 0);
  EXPECT_NE(ReadFile("/proc/" + std::to_string(forms) + "/cmdline").find("/SU:"), std::string::npos)
      << "the switch itself stays";
  for (const pid_t pid : {forms, processes_.One(processes_.guard())}) {
    EXPECT_EQ(seen(pid).find(encoded), std::string::npos) << "process " << pid;
  }
  EXPECT_EQ(fs::status(run.trace_path()).permissions(),
            fs::perms::owner_read | fs::perms::owner_write)
      << "the trace it made is the user's alone";

  fs::remove(installation_.program_dir() / "supermp.dat");
  kill(forms, SIGKILL);
  ASSERT_TRUE(WaitUntil([&] {
    const pid_t now = processes_.One(processes_.forms());
    return now != 0 && now != forms;
  })) << "kestrom.exe was not started again";
  EXPECT_EQ(seen(processes_.One(processes_.forms())).find(encoded), std::string::npos);
  ASSERT_TRUE(WaitUntil([] { return FocusedWindowName() == "Enter Password"; }))
      << "the focus is on " << FocusedWindowName();
  e2e::Run({"xdotool", "type", "--delay", "15", kOther});
  Key("Return");
  EXPECT_TRUE(WaitUntil([&] { return processes_.NoneLeft(); })) << "a process of the lock is left";
}

INSTANTIATE_TEST_SUITE_P(KillMatrix, GuardE2e, ::testing::ValuesIn(AllCases()), CaseName);

}  // namespace
}  // namespace vellomar::e2e
