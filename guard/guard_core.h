#pragma once
// The guard's decisions, apart from X and the socket, so that every way through them can be
// tested without a server: when to grab and hand keys on, what to cover, when to start the forms
// process again, and when to end. The guard's program (guard.h) carries them out through a
// GuardHost.
//
// The guard holds the keyboard from its first moment to the end of the lock: a grab with every
// key reported to the guard alone, passed on to the forms process over the socket. So nothing is
// released when the forms process dies, whatever kills it. Its stages:
//   wanting  the first grab is tried (and, when another client holds the keyboard, tried again
//            for about a second: the forms process may hold it, and lets go when asked "want");
//            then "held", or "cannot" and the end;
//   holding  keys pass to the forms process. A grab the server broke or another client took is
//            tried again at every tick, with a warning shown while it is not had. When the forms
//            process dies the guard grabs the pointer, covers the whole screen where the forms
//            covered nothing, keeps its windows on top and starts the forms process again (at
//            once; later each time one dies before it is up);
//   ending   "release" from the forms process: every grab goes, the guard ends.

#include <optional>
#include <string>

#include "guard/protocol.h"

namespace vellomar::guard {

// What the guard acts through: the X server and the socket to the forms process.
class GuardHost {
 public:
  virtual ~GuardHost() = default;
  // One try each; true while held (asking again for a grab already held is no change).
  virtual bool GrabKeyboard() = 0;
  virtual bool GrabPointer() = 0;
  virtual void UngrabPointer() = 0;
  // The grab-breaking keys out of the keymap while held; put back at the end.
  virtual void DisableGrabBreak() = 0;
  // What an earlier guard took out (it died): put back at the end too.
  virtual void AdoptGrabBreak(const std::string& saved) = 0;
  // The area the lock window will fill (the guard's own window there, below the forms'), or none.
  virtual void ShowArea(const std::optional<Area>& area) = 0;
  // A black cover over the whole screen while the forms process is away and covered nothing.
  virtual void CoverWhole(bool cover) = 0;
  // Whether the guard's windows are put back on top of every other window (while the forms
  // process is away; while it lives, its own windows are the ones on top).
  virtual void KeepOnTop(bool keep) = 0;
  // The words that say the keyboard is not safe to type on, shown while the grab is not had.
  virtual void WarnUnsafe(bool warn) = 0;
  virtual void Tell(const std::string& line) = 0;
  // Starts the forms process again with a new socket, sending it `greeting` first.
  virtual void StartForms(const std::string& greeting) = 0;
};

class GuardCore {
 public:
  enum class Stage { kWanting, kHolding, kEnding };
  // Times are milliseconds on any steady clock.
  GuardCore(GuardHost& host, long now);

  // A line from the forms process.
  void OnLine(const std::string& line, long now);
  // A key the grab brought (the guard's own keys while holding).
  void OnKey(bool press, unsigned keycode, unsigned state, unsigned long time);
  // The forms process is gone: its socket closed, or its X connection (its windows destroyed).
  void OnFormsGone(long now);
  // The server says the grab ended though the guard did not let go (a grab-break key).
  void OnGrabLost();
  // The guard's own X connection was opened again: every grab, window and notice is made anew.
  void OnReconnected(long now);
  // Time passes: grabs are tried again, the forms process started when it is due.
  void OnTick(long now);
  // How long until OnTick has something to do (-1: nothing until an event).
  long NextTickIn(long now) const;

  Stage stage() const { return stage_; }
  // 0 once released on purpose, 1 when the lock never began.
  int ExitStatus() const { return released_ ? 0 : 1; }
  // The lock state to start the forms process again in (base/lock_state.h).
  const std::string& state() const { return state_; }

 private:
  void TryFirstGrab(long now);
  void Want(long now);
  void Hold();
  void Regrab();
  void StartFormsAgain();

  GuardHost& host_;
  Stage stage_ = Stage::kWanting;
  long want_until_ = 0;
  bool asked_ = false;  // "want" said
  bool released_ = false;
  bool warned_ = false;
  bool keyboard_held_ = false;
  bool pointer_held_ = false;
  bool forms_connected_ = true;
  bool forms_up_ = false;  // the forms process's windows are shown (its first "cover")
  std::optional<long> start_at_;
  int restarts_ = 0;  // forms processes started since one last came up
  std::string command_line_;
  std::string record_;
  std::string state_ = "other";
  std::optional<Area> area_;
};

}  // namespace vellomar::guard
