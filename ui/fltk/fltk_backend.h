#pragma once
// The real-window runtime: every form a top-level FLTK window on X11, the keyboard lock an X
// keyboard (and pointer) grab. Includes no FLTK header so that app/ stays toolkit-free.

#include <memory>

#include "ui/backend.h"

namespace vellomar::ui {

class FltkBackend : public Backend {
 public:
  FltkBackend();  // opens the display; throws std::runtime_error when there is none
  ~FltkBackend() override;

  void Attach(Application& app) override;
  platform::Clock& clock() override;
  platform::KeyboardLock& keyboard_lock() override;
  ScreenMetrics Screen() override;
  long ElapsedMs() override;
  void ShowWindow(Form& form) override;
  void HideWindow(Form& form) override;
  void DestroyWindow(Form& form) override;
  void PlaceTopmost(Form& form, int x, int y, int width, int height) override;
  void FormChanged(Form& form) override;
  void ControlChanged(Control& control, Property property) override;
  void SetFocus(Control& control) override;
  void TimerChanged(Timer& timer) override;
  void OpenMessageBox(int id, const std::string& title, const std::string& text) override;
  void WaitForEvents() override;
  void ProcessPendingEvents() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vellomar::ui
