#include "ui/form.h"

#include "ui/application.h"

namespace vellomar::ui {

Form::Form(Application& app, std::string name) : app_(app), name_(std::move(name)) {
  guess_wait_timer_.on_timer = [this] { app_.GuessWaitOver(*this); };
}

void Form::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  if (loaded_) app_.CaptionChanged(*this);
}

void Form::Show(bool modal) {
  app_.Show(*this, modal);
}
void Form::Hide() {
  app_.Hide(*this);
}
void Form::Unload() {
  app_.Unload(*this);
}

Control* Form::FindControl(const std::string& name) const {
  for (Control* control : controls_) {
    if (control->name() == name) return control;
  }
  return nullptr;
}

Timer* Form::FindTimer(const std::string& name) const {
  for (Timer* timer : timers_) {
    if (timer->name() == name) return timer;
  }
  return nullptr;
}

}  // namespace vellomar::ui
