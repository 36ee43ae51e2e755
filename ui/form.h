#pragma once
// A form: one window with its controls, public variables and event handlers. Each form of the
// program is a subclass named as the system names it, its controls as members and its handlers
// as methods (`cmdOK_Click`). Forms are single instances owned by the Application, created on
// first use (Form_Initialize) and alive until the program ends; Load/Unload only load and unload
// the window and its controls, so public variables outlive them.

#include <string>
#include <vector>

#include "ui/controls.h"

namespace vellomar::ui {

class Application;

enum class BorderStyle {
  FixedDialog,  // fixed border, title bar, close box, no minimise/maximise
  FixedSingle,  // the same as seen by the user here
  Sizable,      // ordinary window: resizable, with minimise and maximise buttons
  None,
};

class Form {
 public:
  Form(Application& app, std::string name);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form() = default;

  Application& app() const { return app_; }
  const std::string& name() const { return name_; }

  // Design-time properties, set in InitializeComponent().
  int client_width = 0;  // twips
  int client_height = 0;
  BorderStyle border = BorderStyle::FixedDialog;
  bool centered = true;
  Picture icon = Picture::None;
  bool show_in_taskbar = true;  // false: the window gets no taskbar button
  // A lock screen: placed top-most over the screen, kept above every other window, and its
  // window refuses the window manager's close (which still arrives as a reason-0 close request).
  bool lock_screen = false;
  // A form that stands between the user and the desktop while the keyboard is locked, as the
  // lock screens do (the timed prompt): where the runtime can, it refuses minimising and takes
  // the focus back from any other program.
  bool holds_desktop = false;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  void InitCaption(std::string value) { caption_ = std::move(value); }

  bool Loaded() const { return loaded_; }
  bool Visible() const { return visible_; }
  // True while the window is shown modally (a runtime may make it modal to the others).
  bool ShownModal() const { return visible_ && modal_; }

  // `Show`, `Show vbModal`, `Hide`, `Unload Me`.
  void Show(bool modal = false);
  void Hide();
  void Unload();

  const std::vector<Control*>& controls() const { return controls_; }
  const std::vector<Timer*>& timers() const { return timers_; }
  Control* FindControl(const std::string& name) const;
  Timer* FindTimer(const std::string& name) const;

  // Events. QueryUnload: set `cancel` to refuse; `unload_mode` 0 close box / Alt+F4, 1 the
  // program's own Unload, 2 Windows shutting down, 3 task list.
  virtual void Form_Initialize() {}
  virtual void Form_Load() {}
  virtual void Form_Activate() {}
  virtual void Form_GotFocus() {}
  virtual void Form_MouseMove() {}
  virtual void Form_QueryUnload(int& cancel, int unload_mode) {
    (void)cancel;
    (void)unload_mode;
  }
  virtual void Form_Unload() {}

 protected:
  // Assigns every design-time property of the form and its controls; runs before each Load.
  virtual void InitializeComponent() = 0;

 private:
  friend class Application;
  friend class Control;
  friend class Timer;
  Application& app_;
  std::string name_;
  std::string caption_;
  bool loaded_ = false;
  bool visible_ = false;
  bool hidden_during_load_ = false;  // Hide or Unload during Form_Load: do not show afterwards
  bool loading_ = false;             // inside Load (InitializeComponent and Form_Load)
  bool unloading_ = false;           // inside Unload, so a nested Unload does nothing
  bool modal_ = false;               // last shown modally
  Control* focus_ = nullptr;         // the control last given the focus by the program
  std::vector<Control*> controls_;
  std::vector<Timer*> timers_;
  // Runs while a press of a button that checks a password waits for the end of the wait after
  // a wrong one (Application::WrongPassword).
  Timer guess_wait_timer_{*this, ""};
};

}  // namespace vellomar::ui
