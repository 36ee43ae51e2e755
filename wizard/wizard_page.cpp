#include "wizard/wizard_page.h"

namespace vellomar {

namespace {
constexpr int kMargin = 240;
}  // namespace

WizardPage::WizardPage(ui::Application& app, std::string name) : ui::Form(app, std::move(name)) {
  Command1.on_click = [this] { Command1_Click(); };
}

void WizardPage::InitializePage(const std::string& caption, const std::string& title,
                                const std::string& button) {
  InitCaption(caption);
  border = ui::BorderStyle::FixedDialog;
  centered = true;
  client_width = kWizardPageWidth;
  client_height = kWizardPageHeight;

  Label2.rect = {kMargin, 120, kWizardPageWidth - 2 * kMargin, 375};
  Label2.InitCaption(title);
  Label2.bold = true;
  Label2.font_size = 12;

  Command1.rect = {5400, 2760, 1215, 375};
  Command1.InitCaption(button);
}

void WizardPage::InitializeText(ui::Label& label, int top, int height, const std::string& text) {
  label.rect = {kMargin, top, kWizardPageWidth - 2 * kMargin, height};
  label.InitCaption(text);
}

void WizardPage::Form_QueryUnload(int& /*cancel*/, int unload_mode) {
  if (unload_mode == 0 || unload_mode == 3) {
    // Nothing may stay locked once the program is gone; the wizard's pages run unlocked anyway.
    app().SetScreenSaverRunning(false);
    app().End();
  }
}

}  // namespace vellomar
