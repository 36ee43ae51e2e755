#include "ui/fltk/fltk_parts.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "xlock/window_hints.h"

namespace vellomar::ui::fltk {

int Pixels(int twips) {
  return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}
int FontPixels(int points) {
  return static_cast<int>(std::lround(points * 96.0 / 72.0));
}
Fl_Font Face(bool bold) {
  return bold ? FL_HELVETICA_BOLD : FL_HELVETICA;
}

// FLTK treats '@' in a label as the start of a symbol; the system's texts mean the character.
std::string LabelText(const std::string& caption) {
  std::string out;
  for (char c : caption) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

bool Focusable(ControlKind kind) {
  return kind == ControlKind::TextBox || kind == ControlKind::CommandButton ||
         kind == ControlKind::CheckBox || kind == ControlKind::OptionButton;
}

void DrawOwnFrame(int width, int height, const std::string& caption, Picture icon) {
  fl_draw_box(FL_UP_BOX, 0, 0, width, height, FL_BACKGROUND_COLOR);
  fl_color(fl_rgb_color(0, 0, 128));
  fl_rectf(kEdge, kEdge, width - 2 * kEdge, kTitleBar);
  int text_x = kEdge + 4;
  if (Fl_Image* image = PictureImage(icon)) {
    Fl_Image* small = image->copy(16, 16);
    small->draw(kEdge + 1, kEdge + 1);
    delete small;
    text_x += 18;
  }
  fl_color(FL_WHITE);
  fl_font(FL_HELVETICA_BOLD, 11);
  fl_draw(caption.c_str(), text_x, kEdge, width - text_x - kEdge, kTitleBar,
          FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP, nullptr, 0);
}

// Shows a window. The first show of one the window manager frames gives it the dialog frame hints
// as it is mapped: the toolkit maps the window as soon as it makes it, and a window manager reads
// the hints once, when it takes the window on. Holding the server keeps the window manager from
// looking before they are set.
void ShowWithFrameHints(Fl_Window& window, Display* display, bool dialog_frame,
                        bool taskbar_button) {
  if (window.shown() || window.override()) {
    window.show();
    return;
  }
  XGrabServer(display);
  window.show();
  if (dialog_frame) SetDialogFrameHints(display, fl_xid(&window));
  if (!taskbar_button) SetNoTaskbarButton(display, fl_xid(&window));
  XUngrabServer(display);
  XFlush(display);
}

void RedrawArea(Fl_Widget* widget) {
  // A hidden form (PassMain under the lock screen keeps refreshing its countdown) is drawn whole
  // when it is shown again.
  Fl_Window* window = widget->window();
  if (!window || !window->shown() || !window->visible()) return;
  widget->redraw();
  window->damage(FL_DAMAGE_ALL, widget->x(), widget->y(), widget->w() + 1, widget->h() + 1);
}

// ---------------------------------------------------------------------------------------------
// Form window input

int FormWindow::handle(int event) {
  if (dead) return 0;
  if (runtime.InputBlocked(this)) {
    switch (event) {
      case FL_PUSH:
      case FL_RELEASE:
      case FL_DRAG:
      case FL_KEYBOARD:
      case FL_SHORTCUT:
      case FL_MOUSEWHEEL:
        return 1;
      default:
        break;
    }
  }
  switch (event) {
    case FL_KEYBOARD:
    case FL_SHORTCUT:
      if (HandleKey()) return 1;
      break;
    case FL_MOVE:
    case FL_ENTER: {
      int used = Fl_Double_Window::handle(event);
      Fl_Widget* below = Fl::belowmouse();
      bool over_form =
          !below || below == this ||
          (dynamic_cast<Fl_Input*>(below) == nullptr && dynamic_cast<Fl_Button*>(below) == nullptr);
      if (over_form) {
        Form& target = form;
        runtime.Deliver([&](Application& app) { app.DeliverMouseMove(target); });
      }
      return event == FL_ENTER ? 1 : used;
    }
    case FL_FOCUS: {
      int used = Fl_Double_Window::handle(event);
      if (!Fl::focus() || Fl::focus() == this) {
        Form& target = form;  // no control took the focus: the form itself has it
        runtime.Deliver([&](Application& app) { app.DeliverGotFocus(target); });
      }
      return used;
    }
    default:
      break;
  }
  return Fl_Double_Window::handle(event);
}

bool FormWindow::HandleKey() {
  int key = Fl::event_key();
  Form& target = form;
  if (key == FL_Enter || key == FL_KP_Enter) {
    Fl_Widget* focus = Fl::focus();
    Control* focused = focus && focus->window() == this && focus != this
                           ? static_cast<Control*>(focus->user_data())
                           : nullptr;
    runtime.Deliver([&](Application& app) { app.DeliverEnter(target, focused); });
    return true;
  }
  if (key == FL_Escape) {
    runtime.Deliver([&](Application& app) { app.DeliverEscape(target); });
    return true;
  }
  if (Fl::event_state(FL_ALT) && key > 0 && key < 128 && std::isalnum(key)) {
    char letter = static_cast<char>(key);
    runtime.Deliver([&](Application& app) { app.DeliverAccessKey(target, letter); });
    return true;  // Alt+letter never reaches anything else
  }
  return false;
}

MessageBoxWindow::MessageBoxWindow(Runtime& runtime, int id, const std::string& title,
                                   const std::string& text, bool own_frame)
    : Fl_Double_Window(100, 100),
      runtime(runtime),
      id(id),
      title(title),
      text(LabelText(text)),
      own_frame(own_frame) {
  constexpr int kMargin = 12, kButtonW = 75, kButtonH = 23, kMaxTextW = 440;
  fl_font(FL_HELVETICA, 12);
  int text_w = kMaxTextW, text_h = 0;
  fl_measure(this->text.c_str(), text_w, text_h, 0);
  if (text_w > kMaxTextW) text_w = kMaxTextW;
  int top = own_frame ? kEdge + kTitleBar + 1 : 0;
  int width = std::max(text_w + 2 * kMargin + 8, kButtonW + 2 * kMargin);
  fl_font(FL_HELVETICA_BOLD, 11);
  width = std::max(width, static_cast<int>(fl_width(title.c_str())) + 48);
  int height = top + kMargin + text_h + kMargin + kButtonH + kMargin;
  size(width, height);
  begin();
  auto* message = new Fl_Box(kMargin, top + kMargin, width - 2 * kMargin, text_h);
  message->label(this->text.c_str());
  message->labelfont(FL_HELVETICA);
  message->labelsize(12);
  message->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT | FL_ALIGN_WRAP);
  auto* ok =
      new Fl_Button((width - kButtonW) / 2, height - kMargin - kButtonH, kButtonW, kButtonH, "OK");
  ok->labelsize(12);
  ok->callback([](Fl_Widget* w, void*) { static_cast<MessageBoxWindow*>(w->window())->Close(); });
  end();
  copy_label(title.c_str());
  callback([](Fl_Widget* w, void*) { static_cast<MessageBoxWindow*>(w)->Close(); });
}

}  // namespace vellomar::ui::fltk
