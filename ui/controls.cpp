#include "ui/controls.h"

#include <algorithm>
#include <string>

#include "platform/secret.h"
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
  const std::size_t length =
      max_length > 0 ? std::min(value.size(), static_cast<std::size_t>(max_length)) : value.size();
  if (password_char != 0) {
    // A typed password stays in one place, out of swap, and what it held before is wiped.
    if (text_.capacity() < kSecretRoom) {
      platform::WipeSecret(text_);
      text_.reserve(kSecretRoom);
      platform::KeepOutOfSwap(text_);
    }
    platform::WipeSecret(text_);
  }
  text_.assign(value, 0, length);
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
