#pragma once
// Controls of a form with the properties the system uses. Geometry is in twips (15 per pixel).
// Setters are the program's own changes: once the form is loaded they are reported to the
// application (trace line, window update). Design-time values are assigned in a form's
// InitializeComponent(), before it is live, and report nothing.

#include <functional>
#include <string>

namespace vellomar::ui {

class Form;

enum class ControlKind {
  Label,
  TextBox,
  CommandButton,
  CheckBox,
  OptionButton,
  Image,
  Shape,
  Line
};
enum class Property { Caption, Text, Visible, Enabled, Value };

// Pictures drawn by resources/: the smiley frames, the frowning face, the padlock.
enum class Picture { None, SmileyClosed, SmileyLaughing, SmileyLarge, Frown, Padlock };

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;  // twips
};

class Control {
 public:
  Control(Form& owner, ControlKind kind, std::string name);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  Form& owner() const { return owner_; }
  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }

  // Design-time properties.
  Rect rect;
  bool bold = false;
  int font_size = 8;  // points; "MS Sans Serif" is drawn with a sans-serif face
  int tab_index = 0;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  // Gives this control the keyboard focus.
  void SetFocus();

  // Design-time assignment: no report.
  void InitCaption(std::string value) { caption_ = std::move(value); }
  void InitVisible(bool value) { visible_ = value; }
  void InitEnabled(bool value) { enabled_ = value; }

  std::function<void()> on_click;  // bound by the form to its Xxx_Click handler

 protected:
  void Changed(Property property, const std::string& value);

 private:
  Form& owner_;
  ControlKind kind_;
  std::string name_;
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
};

class Label : public Control {
 public:
  Label(Form& owner, std::string name) : Control(owner, ControlKind::Label, std::move(name)) {}
};

class TextBox : public Control {
 public:
  TextBox(Form& owner, std::string name) : Control(owner, ControlKind::TextBox, std::move(name)) {}
  char password_char = 0;  // 0: not masked: typed text is then kept as a secret (secret.h)
  int max_length = 0;      // 0: unlimited

  const std::string& Text() const { return text_; }
  void SetText(const std::string& value);
  // What the user typed (no report as a program change); cut to max_length as the box does.
  void UserSetText(const std::string& value);
  void InitText(std::string value) { text_ = std::move(value); }

 private:
  // The room a masked box keeps for what is typed: more than any password box allows, so the
  // text never moves (and leaves no copy behind) as it grows.
  static constexpr std::size_t kSecretRoom = 64;
  std::string text_;
};

class CommandButton : public Control {
 public:
  CommandButton(Form& owner, std::string name)
      : Control(owner, ControlKind::CommandButton, std::move(name)) {}
  bool is_default = false;  // Enter presses it
  bool is_cancel = false;   // Esc presses it
  // Pressing it checks a password: after a wrong one it acts only once the wait is over.
  bool checks_password = false;
};

// Check box (Value 0 or 1) and option button (Value 0 or 1, one per form group selected).
class ValueControl : public Control {
 public:
  using Control::Control;
  int Value() const { return value_; }
  void SetValue(int value);
  void InitValue(int value) { value_ = value; }

 private:
  int value_ = 0;
};

class CheckBox : public ValueControl {
 public:
  CheckBox(Form& owner, std::string name)
      : ValueControl(owner, ControlKind::CheckBox, std::move(name)) {}
};

class OptionButton : public ValueControl {
 public:
  OptionButton(Form& owner, std::string name)
      : ValueControl(owner, ControlKind::OptionButton, std::move(name)) {}
};

class Image : public Control {
 public:
  Image(Form& owner, std::string name) : Control(owner, ControlKind::Image, std::move(name)) {}
  Picture picture = Picture::None;
  bool stretch = true;
};

// Shape (a rectangle outline) and Line are decoration only.
class Shape : public Control {
 public:
  Shape(Form& owner, std::string name) : Control(owner, ControlKind::Shape, std::move(name)) {}
};
class Line : public Control {
 public:
  Line(Form& owner, std::string name) : Control(owner, ControlKind::Line, std::move(name)) {}
};

// A timer: fires on_timer every Interval() ms while enabled, interval > 0 and the form loaded.
class Timer {
 public:
  Timer(Form& owner, std::string name);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  Form& owner() const { return owner_; }
  const std::string& name() const { return name_; }
  int Interval() const { return interval_; }
  void SetInterval(int ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  void InitInterval(int ms) { interval_ = ms; }
  void InitEnabled(bool value) { enabled_ = value; }
  bool Running() const;  // enabled, interval > 0 and the form loaded

  std::function<void()> on_timer;

 private:
  void Reschedule();
  Form& owner_;
  std::string name_;
  int interval_ = 0;
  bool enabled_ = true;
};

}  // namespace vellomar::ui
