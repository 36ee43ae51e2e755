#pragma once
// The values the wizard pages hand to one another, kept for the rest of the run: Welcome6's
// `opchoice`, Welcome8's `ck1` and `ck2`, Welcome2's `finpa`, and Welcome3's trial-lock flag
// `Setup` (read by the lock screen). Get it with app.Get<WizardState>().

#include <string>

namespace vellomar::ui {
class Application;
}

namespace vellomar {

struct WizardState {
  explicit WizardState(ui::Application&) {}
  std::string opchoice;  // "1".."4"
  std::string ck1;       // "true" / "false"
  std::string ck2;       // "true" / "false"
  std::string finpa;     // the encoded password
  std::string Setup;     // "true" while the wizard's trial lock runs
};

}  // namespace vellomar
