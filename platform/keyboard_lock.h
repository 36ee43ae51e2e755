#pragma once
// The keyboard lock: the system-wide state in which switching away from our windows (task
// switching, the secure-attention keys) is refused. Engaging twice or releasing when not engaged
// is harmless.

#include <functional>

namespace vellomar::platform {

class KeyboardLock {
 public:
  virtual ~KeyboardLock() = default;
  // Throws RuntimeError(errc::kKeyboardLockUnavailable) when the lock cannot be had.
  virtual void Engage() = 0;
  virtual void Release() = 0;
  virtual bool Engaged() const = 0;
};

// A lock that only remembers its state; for tests and the headless runtime.
class RecordingKeyboardLock : public KeyboardLock {
 public:
  void Engage() override {
    if (before_engage) before_engage();  // may throw, as a lock that cannot be had does
    engaged_ = true;
    ++engage_calls_;
  }
  void Release() override {
    engaged_ = false;
    ++release_calls_;
  }
  bool Engaged() const override { return engaged_; }
  int engage_calls() const { return engage_calls_; }
  int release_calls() const { return release_calls_; }

  // Tests: runs at the start of every Engage; throwing from it leaves the state unchanged.
  std::function<void()> before_engage;

 private:
  bool engaged_ = false;
  int engage_calls_ = 0;
  int release_calls_ = 0;
};

}  // namespace vellomar::platform
