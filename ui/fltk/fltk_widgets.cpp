#include "ui/fltk/fltk_parts.h"

#include <algorithm>
#include <cstdlib>

#include "platform/secret.h"

namespace vellomar::ui::fltk {
namespace {

class LabelWidget : public Fl_Box {
 public:
  LabelWidget(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {
    set_flag(SHORTCUT_LABEL);  // '&' marks the access key and is drawn as an underline
    box(FL_NO_BOX);
    align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
  }
};

class ImageWidget : public Fl_Widget {
 public:
  ImageWidget(int x, int y, int w, int h, Picture picture)
      : Fl_Widget(x, y, w, h), picture_(picture) {}
  ~ImageWidget() override { delete scaled_; }
  void draw() override {
    Fl_Image* image = PictureImage(picture_);
    if (!image || w() <= 0 || h() <= 0) return;
    if (!scaled_ || scaled_->w() != w() || scaled_->h() != h()) {
      delete scaled_;
      scaled_ = image->copy(w(), h());
    }
    scaled_->draw(x(), y());
  }

 private:
  Picture picture_;
  Fl_Image* scaled_ = nullptr;
};

class ShapeWidget : public Fl_Widget {
 public:
  ShapeWidget(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void draw() override {
    fl_color(FL_BLACK);
    fl_rect(x(), y(), w(), h());
  }
};

class LineWidget : public Fl_Widget {
 public:
  LineWidget(int x1, int y1, int x2, int y2)
      : Fl_Widget(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + 1, std::abs(y2 - y1) + 1),
        x1_(x1),
        y1_(y1),
        x2_(x2),
        y2_(y2) {}
  void draw() override {
    fl_color(FL_BLACK);
    fl_line(x1_, y1_, x2_, y2_);
  }

 private:
  int x1_, y1_, x2_, y2_;
};

// The number of characters in the first `bytes` bytes of UTF-8 text.
int CharactersBefore(const std::string& text, int bytes) {
  int count = 0;
  for (int i = 0; i < bytes && i < static_cast<int>(text.size()); ++count) {
    i += std::max(1, fl_utf8len1(text[i]));
  }
  return count;
}

class TextWidget : public Fl_Input {
 public:
  TextWidget(Runtime& runtime, TextBox& box, int x, int y, int w, int h)
      : Fl_Input(x, y, w, h), runtime_(runtime), box_(box), mask_(box.password_char) {
    // A masked box is a secret input to the toolkit, which then never copies from it.
    if (mask_) type(FL_SECRET_INPUT);
    if (box.max_length > 0) maximum_size(box.max_length);
    when(FL_WHEN_CHANGED);
    callback(
        [](Fl_Widget* widget, void*) {
          auto* self = static_cast<TextWidget*>(widget);
          std::string typed = self->value();
          TextBox& box = self->box_;
          self->runtime_.Deliver([&](Application& app) { app.DeliverTyping(box, typed); });
          if (self->mask_) platform::WipeSecret(typed);
        },
        nullptr);
  }
  int handle(int event) override {
    // A password box takes typed input only: nothing pasted (Ctrl+V, Shift+Insert, the middle
    // button) or dropped reaches it. All of those arrive as one paste event.
    if (mask_ && event == FL_PASTE) return 1;
    if (event == FL_KEYBOARD) {
      int key = Fl::event_key();
      // Enter, Escape and access keys belong to the form.
      if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape || Fl::event_state(FL_ALT)) {
        return 0;
      }
      // A masked box neither copies nor cuts (the toolkit would still delete on a cut).
      if (mask_ && CutOrCopyKey(key)) return 1;
    }
    int used = Fl_Input::handle(event);
    if (event == FL_RELEASE && Fl::event_button() == FL_LEFT_MOUSE) {
      TextBox& box = box_;
      runtime_.Deliver([&](Application& app) { app.DeliverClick(box); });
    }
    return used;
  }

  // The toolkit draws a secret input's characters as bullets; the box asks for its own mask
  // character. For the drawing only, the widget holds one mask character per typed character as
  // plain text, with the cursor and the selection at the same characters, and then gets the typed
  // text back. Editing, the mouse and the clipboard only ever see the secret input.
  void draw() override {
    if (!mask_) return Fl_Input::draw();
    const std::string typed(value(), size());
    const int cursor = position(), other_end = mark();
    const std::string masked(CharactersBefore(typed, size()), mask_);
    const int kind = type();
    type((kind & ~FL_INPUT_TYPE) | FL_NORMAL_INPUT);
    value(masked.data(), static_cast<int>(masked.size()));
    position(CharactersBefore(typed, cursor), CharactersBefore(typed, other_end));
    Fl_Input::draw();
    type(kind);
    value(typed.data(), static_cast<int>(typed.size()));
    position(cursor, other_end);
  }

 private:
  static bool CutOrCopyKey(int key) {
    const bool ctrl = Fl::event_state(FL_CTRL), shift = Fl::event_state(FL_SHIFT);
    return (ctrl && (key == 'c' || key == 'x' || key == FL_Insert)) || (shift && key == FL_Delete);
  }

  Runtime& runtime_;
  TextBox& box_;
  char mask_;
};

// Buttons, check boxes and option buttons report a click; the Application decides values.
template <class Base>
class ClickWidget : public Base {
 public:
  ClickWidget(Runtime& runtime, Control& control, int x, int y, int w, int h)
      : Base(x, y, w, h), runtime_(runtime), control_(control) {
    this->callback([](Fl_Widget* widget, void*) { static_cast<ClickWidget*>(widget)->Clicked(); },
                   nullptr);
  }
  int handle(int event) override {
    if (event == FL_SHORTCUT) return 0;  // access keys are handled by the form
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
      return 0;  // Enter belongs to the form, which knows this control has the focus
    }
    return Base::handle(event);
  }
  void draw() override {
    Base::draw();
    auto* button = dynamic_cast<CommandButton*>(&control_);
    if (button && button->is_default) {
      fl_color(FL_BLACK);
      fl_rect(this->x(), this->y(), this->w(), this->h());
    }
  }
  void Clicked() {
    Reflect();
    Control& control = control_;
    runtime_.Deliver([&](Application& app) { app.DeliverClick(control); });
  }
  void Reflect() {
    if (auto* valued = dynamic_cast<ValueControl*>(&control_)) this->value(valued->Value());
  }

 private:
  Runtime& runtime_;
  Control& control_;
};

using ButtonWidget = ClickWidget<Fl_Button>;
using CheckWidget = ClickWidget<Fl_Check_Button>;
using OptionWidget = ClickWidget<Fl_Round_Button>;

}  // namespace

Fl_Widget* MakeWidget(Runtime& runtime, Control& control, int x, int y, int w, int h) {
  Fl_Widget* widget = nullptr;
  switch (control.kind()) {
    case ControlKind::Label:
      widget = new LabelWidget(x, y, w, h);
      break;
    case ControlKind::TextBox: {
      auto* input = new TextWidget(runtime, static_cast<TextBox&>(control), x, y, w, h);
      input->textfont(FL_HELVETICA);
      input->textsize(FontPixels(control.font_size));
      input->value(static_cast<TextBox&>(control).Text().c_str());
      widget = input;
      break;
    }
    case ControlKind::CommandButton:
      widget = new ButtonWidget(runtime, control, x, y, w, h);
      break;
    case ControlKind::CheckBox:
      widget = new CheckWidget(runtime, control, x, y, w, h);
      widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);  // long captions wrap
      break;
    case ControlKind::OptionButton:
      widget = new OptionWidget(runtime, control, x, y, w, h);
      widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
      break;
    case ControlKind::Image:
      widget = new ImageWidget(x, y, w, h, static_cast<Image&>(control).picture);
      break;
    case ControlKind::Shape:
      widget = new ShapeWidget(x, y, w, h);
      break;
    case ControlKind::Line:
      widget = new LineWidget(x, y, x + w, y + h);
      break;
  }
  return widget;
}

}  // namespace vellomar::ui::fltk
