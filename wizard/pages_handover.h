#pragma once
// The wizard's side of the lock screen's hand-over (lock/wizard_handover.h): the trial-lock flag
// of the wizard state, Welcome11 to start and Welcome4 to go on after the trial lock. The form a
// run starts in provides it.

#include "lock/wizard_handover.h"

namespace vellomar {

namespace ui {
class Application;
}

class WizardPagesHandover : public WizardHandover {
 public:
  explicit WizardPagesHandover(ui::Application& app) : app_(app) {}

  bool TrialLock() override;
  void StartWizard() override;
  void TrialLockFreed() override;

 private:
  ui::Application& app_;
};

}  // namespace vellomar
