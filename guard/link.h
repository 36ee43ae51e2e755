#pragma once
// The forms process's side of its guard (guard.h): starting one before the keyboard is locked,
// waiting for its grab, taking the keys it passes on, telling it where the lock stands, and
// noticing when it is gone. POSIX only; the runtime owns one.

#include <sys/types.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/lock_state.h"
#include "guard/protocol.h"

namespace vellomar::guard {

// The name of the guard's program, installed next to kestrom.exe.
inline constexpr char kGuardProgram[] = "vellomar-guard";
// Set by the guard in the environment of a forms process it restarts: the socket's number, and
// the state to resume (base/lock_state.h).
inline constexpr char kGuardFdVariable[] = "VELLOMAR_GUARD_FD";
inline constexpr char kResumeVariable[] = "VELLOMAR_RESUME";

class GuardLink {
 public:
  // Adopts the guard that started this process, if one did: it holds the keyboard.
  GuardLink();
  ~GuardLink();
  GuardLink(const GuardLink&) = delete;
  GuardLink& operator=(const GuardLink&) = delete;

  bool Connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The guard holds the keyboard for this process: every key comes from it (TakeKeys).
  bool GuardHolds() const { return guard_holds_; }

  // Starts a guard for this process: `program` is this program's file, `command_line` what it
  // was started with (it goes over the socket, with what an earlier guard took out of the
  // keymap). The guard grabs the keyboard at once. False, with the reason, when none could start.
  bool Start(const std::string& program, const std::string& command_line, std::string& why);
  // Takes on a guard this process forked (guard/fork.h): its socket and process, and the area it
  // was told to cover. The command line goes over as Start sends it.
  void Adopt(int fd, pid_t child, const std::string& command_line, std::string area);
  // The area the adopted guard covers, once: whoever greets the guard next knows it is shown.
  std::string TakeFirstArea() { return std::exchange(first_area_, {}); }
  enum class Answer { kHeld, kCannot, kGone };
  // Waits (a few seconds at most) until the guard holds the keyboard or says it cannot (Cannot
  // says why; the link is closed then). Meanwhile a "want" is answered through `on_want`.
  Answer WaitForKeyboard();
  const std::string& Cannot() const { return cannot_; }
  // Called when the guard asks for the keyboard this process may hold: let go, then answer
  // LetGoOfKeyboard.
  void OnWant(std::function<void()> on_want) { on_want_ = std::move(on_want); }
  void KeyboardLetGo() { Send(kLetGo); }
  // Asks the guard that restarted this process for the pointer, and waits (a few seconds at
  // most) until it has let go: the caller grabs next.
  void TakePointer();
  void Send(const std::string& line);
  // Reads what arrived. False when the guard is gone (the link is closed then).
  bool Read();
  // The keys that came since the last call, oldest first.
  std::deque<Key> TakeKeys() { return std::exchange(keys_, {}); }
  // The guard's window that says the keyboard is not safe (0: none).
  unsigned long WarningWindow() const { return warning_window_; }
  // What the guard took out of the keymap, for the next guard should this one die.
  const std::string& GrabBreak() const { return grab_break_; }
  // Whether the guard that is gone had started up fully ("ready") before it died: one that died
  // starting would only die again if started at once.
  bool GoneAfterReady() const { return gone_after_ready_; }
  // The lock is released on purpose: the guard ends, nothing is restarted.
  void StandDown();

 private:
  void Close();
  void Begin(int fd, pid_t child, const std::string& command_line);
  bool WaitFor(const std::function<bool()>& done);

  int fd_ = -1;
  pid_t child_ = 0;  // a guard this process started (reaped when it ends)
  bool guard_holds_ = false;
  LineReader reader_;
  bool ready_ = false;   // the guard said it is up
  bool let_go_ = false;  // the guard answered "take"
  bool gone_after_ready_ = false;
  std::string cannot_;
  std::function<void()> on_want_;
  std::deque<Key> keys_;
  unsigned long warning_window_ = 0;
  std::string grab_break_;
  std::string first_area_;
};

// What a guard hands the run it restarted, on the socket rather than on the command line (both
// may hold the password record).
struct HandedOver {
  std::string command_line;  // empty when none came in time
  // The record read when the lock started (the "record" line); nothing when the guard had none.
  std::optional<std::string> record;
};

// What the guard that restarted this process hands over; nothing when no guard started it. Call
// it before a GuardLink adopts the guard.
std::optional<HandedOver> HandedOverByGuard();

// The state a restarted run resumes from: what the guard put in the environment, and only when a
// guard started this process.
ui::LockState ResumeStateFromEnvironment();

// This process's own program file.
std::string ProgramFile();

// This process's OOM score adjustment (/proc/self/oom_score_adj), and setting it: lowering it
// needs a privilege (refused, false, without it); raising it, and lowering it back to where it
// started, does not.
int OomScore();
bool SetOomScore(int adjustment);

// From here on the process leaves no core file and the user's other processes cannot trace it or
// read its memory (PR_SET_DUMPABLE 0): it holds the password record and what is typed into its
// password boxes. Its /proc files then belong to root, so the OOM score file is opened first and
// kept for SetOomScore. Call it first thing.
void StopDumping();

}  // namespace vellomar::guard
