#pragma once
// The keyboard lock of runs without a display.

#include <functional>

#include "platform/keyboard_lock.h"

namespace vellomar::platform {

// A keyboard lock that only remembers its state, for the headless runtime; tests make it fail
// through before_engage.
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
