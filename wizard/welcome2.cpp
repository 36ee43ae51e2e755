#include "wizard/welcome2.h"

#include <exception>

#include "record/password_record.h"
#include "wizard/welcome3.h"
#include "wizard/wizard_state.h"

namespace vellomar {

Welcome2::Welcome2(ui::Application& app) : WizardPage(app, "Welcome2") {}

void Welcome2::InitializeComponent() {
  InitializePage("Vellomar First Time Setup - Part 4/10", "Choose a Password", "Next");
  InitializeText(Label3, 600, 1215,
                 "Now the first thing you need to do is pick a password that you would like to "
                 "use with Vellomar.  This password can be anything you want between 1 and 35 "
                 "characters, however you should pick one at least 6 characters long.  You can "
                 "change your password later.  Please type your password in the password box and "
                 "then re-type it in the other box for verification.    After doing this, click "
                 "\"Next\".");

  lblLabels[0].rect = {240, 1935, 1080, 255};
  lblLabels[0].InitCaption("&Password:");
  lblLabels[0].tab_index = 0;  // a label comes just before the box of the same index
  lblLabels[1].rect = {240, 2325, 1080, 255};
  lblLabels[1].InitCaption("&Repeat:");
  lblLabels[1].tab_index = 1;

  for (ui::TextBox* box : {&Text2, &Text3}) {
    box->password_char = '*';
    box->max_length = kMaxPasswordLength;
    box->InitText("");
  }
  Text2.rect = {1440, 1890, 3255, 315};
  Text2.tab_index = 0;
  Text3.rect = {1440, 2280, 3255, 315};
  Text3.tab_index = 1;

  Line1.rect = {240, 2670, kWizardPageWidth - 480, 0};

  Command1.is_default = true;
  Command1.tab_index = 2;
}

void Welcome2::Command1_Click() {
  // Both boxes filled, and the same text apart from letter case.
  if (Text3.Text().empty() || Text2.Text().empty()) {
    app().MsgBox(kMsgFieldsBlank, "Error");
    return;
  }
  if (UpperCase(Text2.Text()) != UpperCase(Text3.Text())) {
    app().MsgBox(kMsgPasswordsDiffer, "Error");
    return;
  }
  WizardState& state = app().Get<WizardState>();
  // Encode the password as typed in Text2 and write the record without option digits.
  try {
    app().files().Close(kPasswordFileNumber);
    const std::string encoded = EncodePassword(Text2.Text());
    if (!PasswordUsable(encoded)) {
      app().MsgBox(kMsgPasswordUnusable, "Error");
      return;
    }
    state.finpa = encoded;
    WritePasswordRecord(app().files(), state.finpa, "");
  } catch (const std::exception&) {
    // The record could not be written: the message, and the page stays.
    app().MsgBox(kMsgRecordMissing, "Error");
    return;
  }
  // Written: on to the trial lock's page.
  Hide();
  app().Get<Welcome3>().Show(/*modal=*/true);
}

}  // namespace vellomar
