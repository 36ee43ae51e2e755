#pragma once
// Lockout: shown when the start-up prompt's minute runs out. A top-most window from the top-left
// corner that leaves the taskbar strip free; no input, no way back. The keyboard lock engaged by
// PassMain stays engaged until the machine is shut down.

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

class Lockout : public ui::Form {
 public:
  explicit Lockout(ui::Application& app);

  ui::Label Label1{*this, "Label1"};
  ui::Image Image1{*this, "Image1"};
  ui::Image Image2{*this, "Image2"};

  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unload_mode) override;

 protected:
  void InitializeComponent() override;
};

}  // namespace vellomar
