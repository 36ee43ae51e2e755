#include "wizard/pages_handover.h"

#include "wizard/welcome11.h"
#include "wizard/welcome4.h"
#include "wizard/wizard_state.h"

namespace vellomar {

bool WizardPagesHandover::TrialLock() {
  return app_.Get<WizardState>().Setup == "true";
}

void WizardPagesHandover::StartWizard() {
  app_.Get<Welcome11>().Show(/*modal=*/true);
}

void WizardPagesHandover::TrialLockFreed() {
  app_.Get<Welcome4>().Show(/*modal=*/true);
}

}  // namespace vellomar
