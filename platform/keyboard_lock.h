#pragma once
// The keyboard lock: the system-wide state in which switching away from our windows (task
// switching, the secure-attention keys) is refused. Engaging twice or releasing when not engaged
// is harmless.

namespace vellomar::platform {

class KeyboardLock {
 public:
  virtual ~KeyboardLock() = default;
  // Throws RuntimeError(errc::kKeyboardLockUnavailable) when the lock cannot be had.
  virtual void Engage() = 0;
  virtual void Release() = 0;
  virtual bool Engaged() const = 0;
};

}  // namespace vellomar::platform
