#pragma once
// The frame every page of the first-time wizard shares: a fixed dialog with a close box, centred,
// 6816 x 3288 twips of client area so that each page takes the place of the one before, a bold
// title `Label2` and one button `Command1`. Closing a page by its close box (reason 0) or from the
// task list (reason 3) ends the program at once; any other reason lets the page unload.

#include <string>

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace vellomar {

inline constexpr int kWizardPageWidth = 6816;
inline constexpr int kWizardPageHeight = 3288;

class WizardPage : public ui::Form {
 public:
  ui::Label Label2{*this, "Label2"};              // the page title
  ui::CommandButton Command1{*this, "Command1"};  // "Next" or "Finish"

  void Form_QueryUnload(int& cancel, int unload_mode) override;
  virtual void Command1_Click() = 0;

 protected:
  WizardPage(ui::Application& app, std::string name);
  // Design-time frame of the page: caption, title and button caption, geometry of both.
  void InitializePage(const std::string& caption, const std::string& title,
                      const std::string& button);
  // A body label at `top` twips, `height` high, the page's full text width.
  static void InitializeText(ui::Label& label, int top, int height, const std::string& text);
};

}  // namespace vellomar
