#pragma once
// The lock screen's way into the first-time wizard, which stands above it. The wizard opens the
// lock screen once as its trial lock, and the lock screen gives the run back to it when the
// password is typed; a lock screen that finds no password chosen yet hands the run to the
// wizard's first page. The wizard provides this interface (ui::Application::Provide); the lock
// screen knows nothing else of it.

namespace vellomar {

class WizardHandover {
 public:
  virtual ~WizardHandover() = default;
  // True while the wizard's trial lock runs.
  virtual bool TrialLock() = 0;
  // No password chosen yet: the wizard from its first page, modal.
  virtual void StartWizard() = 0;
  // The trial lock was freed: the wizard goes on with its next page, modal.
  virtual void TrialLockFreed() = 0;
};

}  // namespace vellomar
