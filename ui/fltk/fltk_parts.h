#pragma once
// What the files of the FLTK runtime share: the window classes, the widgets' maker, drawing and
// showing helpers, and the runtime's timings. Only ui/fltk/*.cpp include this header.

#include "ui/fltk/fltk_runtime.h"
#include "ui/form.h"

// The toolkit and Xlib after the form model; Xlib's `None` macro is not used in these files, and
// the model's `None` enumerators are.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

#include <string>

#include "ui/fltk/pictures.h"

#undef None

namespace vellomar::ui::fltk {

inline constexpr double kTwipsPerPixel = 15.0;
// Windows drawn without a window-manager frame (lock screens with a border, message boxes over
// a lock screen) draw their own: a raised edge and a title bar with the icon and caption.
inline constexpr int kEdge = 3;
inline constexpr int kTitleBar = 18;
// The guard tick while locked. The X events that can disturb a lock (see Runtime::OnXEvent)
// schedule the full check of grabs, focus and stacking at once; the tick is only the backstop.
// Each of the check's round trips wakes the program once more, so the tick only retries a pointer
// grab another client held when the lock began (no X request otherwise), and runs the full check
// every few ticks.
inline constexpr double kGuardTickSeconds = 2.0;
// A guard process that died before it was up is started again only after this pause.
inline constexpr std::chrono::seconds kGuardRestartPause{2};
inline constexpr int kGuardTicksPerFullCheck = 4;
// A pointer grab held by another client when the full-screen lock begins is tried again this
// often, for about a second; then the guard tick goes on trying.
inline constexpr double kPointerRetrySeconds = 0.015;
inline constexpr int kPointerRetries = 67;

int Pixels(int twips);
int FontPixels(int points);
Fl_Font Face(bool bold);
// FLTK treats '@' in a label as the start of a symbol; the system's texts mean the character.
std::string LabelText(const std::string& caption);
bool Focusable(ControlKind kind);
// A raised edge and a title bar with the icon and caption, for windows without a frame.
void DrawOwnFrame(int width, int height, const std::string& caption, Picture icon);
// Shows a window. The first show of one the window manager frames gives it the dialog frame hints
// as it is mapped: the toolkit maps the window as soon as it makes it, and a window manager reads
// the hints once, when it takes the window on. Holding the server keeps the window manager from
// looking before they are set.
void ShowWithFrameHints(Fl_Window& window, Display* display, bool dialog_frame = true,
                        bool taskbar_button = true);
// Redraws a control's widget, when its window is on screen.
void RedrawArea(Fl_Widget* widget);

class FormWindow : public Fl_Double_Window {
 public:
  FormWindow(Runtime& runtime, Form& form, int width, int height, bool own_frame)
      : Fl_Double_Window(width, height), runtime(runtime), form(form), own_frame(own_frame) {
    resizable(nullptr);  // a lock window grows, its controls keep their design positions
    end();
  }

  int ClientX() const { return own_frame ? kEdge : 0; }
  int ClientY() const { return own_frame ? kEdge + kTitleBar + 1 : 0; }

  int handle(int event) override;
  void draw() override {
    if (!own_frame) return Fl_Double_Window::draw();
    DrawOwnFrame(w(), h(), form.Caption(), form.icon);
    draw_children();
  }

  Runtime& runtime;
  Form& form;
  bool own_frame;
  bool wanted = false;  // the program has it on screen
  bool dead = false;    // unloaded; deleted once FLTK is done with it
  bool placed = false;  // PlaceTopmost gave it a place
  CoverRect place;      // that place
  bool full_screen = false;
  int strip = 0;  // screen height left below it when placed

 private:
  bool HandleKey();
};

class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(Runtime& runtime, int id, const std::string& title, const std::string& text,
                   bool own_frame);
  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape || key == ' ') {
        Close();
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }
  void draw() override {
    if (!own_frame) return Fl_Double_Window::draw();
    DrawOwnFrame(w(), h(), title, Picture::None);
    draw_children();
  }
  void Close() {
    if (!closed) {
      closed = true;
      runtime.MessageBoxClosed(this);
    }
  }

  Runtime& runtime;
  int id;
  std::string title;
  std::string text;
  bool own_frame;
  bool closed = false;
};

// The widget that shows `control` at x, y (pixels in its window), w x h.
Fl_Widget* MakeWidget(Runtime& runtime, Control& control, int x, int y, int w, int h);

}  // namespace vellomar::ui::fltk
