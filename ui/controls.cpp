#include "ui/controls.h"

#include <string>

#include "ui/application.h"
#include "ui/form.h"

namespace vellomar::ui {

namespace {
const char* BoolText(bool value) {
  return value ? "true" : "false";
}
}  // namespace

Control::Control(Form& owner, ControlKind kind, std::string name)
    : owner_(owner), kind_(kind), name_(std::move(name)) {
  owner_.controls_.push_back(this);
}

void Control::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  Changed(Property::Caption, caption_);
}

void Control::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  Changed(Property::Visible, BoolText(value));
}

void Control::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Changed(Property::Enabled, BoolText(value));
}

void Control::SetFocus() {
  owner_.app().FocusRequested(*this);
}

// Before Load the control has no window yet: the new value is simply what Load will show.
void Control::Changed(Property property, const std::string& value) {
  if (owner_.Loaded()) owner_.app().PropertyChanged(*this, property, value);
}

void TextBox::SetText(const std::string& value) {
  if (value == text_) return;
  text_ = value;
  Changed(Property::Text, text_);
}

void TextBox::UserSetText(const std::string& value) {
  if (max_length > 0 && static_cast<int>(value.size()) > max_length) {
    text_ = value.substr(0, max_length);
  } else {
    text_ = value;
  }
}

void ValueControl::SetValue(int value) {
  if (value == value_) return;
  value_ = value;
  Changed(Property::Value, std::to_string(value));
}

Timer::Timer(Form& owner, std::string name) : owner_(owner), name_(std::move(name)) {
  owner_.timers_.push_back(this);
}

void Timer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Reschedule();
}

void Timer::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Reschedule();
}

bool Timer::Running() const {
  return enabled_ && interval_ > 0 && owner_.Loaded();
}

// A timer of an unloaded form has nothing scheduled; Load starts it.
void Timer::Reschedule() {
  if (owner_.Loaded()) owner_.app().TimerChanged(*this);
}

}  // namespace vellomar::ui
