#include "ui/fltk/fltk_backend.h"

#include "ui/fltk/fltk_runtime.h"

namespace vellomar::ui {

struct FltkBackend::Impl : fltk::Runtime {};

FltkBackend::FltkBackend() : impl_(std::make_unique<Impl>()) {}
FltkBackend::~FltkBackend() = default;

void FltkBackend::Attach(Application& app) {
  impl_->Attach(app);
}
platform::Clock& FltkBackend::clock() {
  return impl_->clock();
}
platform::KeyboardLock& FltkBackend::keyboard_lock() {
  return impl_->lock();
}
ScreenMetrics FltkBackend::Screen() {
  return impl_->Screen();
}
long FltkBackend::ElapsedMs() {
  return impl_->ElapsedMs();
}
void FltkBackend::ShowWindow(Form& form) {
  impl_->ShowWindow(form);
}
void FltkBackend::HideWindow(Form& form) {
  impl_->HideWindow(form);
}
void FltkBackend::DestroyWindow(Form& form) {
  impl_->DestroyWindow(form);
}
void FltkBackend::PlaceTopmost(Form& form, int x, int y, int width, int height) {
  impl_->PlaceTopmost(form, x, y, width, height);
}
void FltkBackend::FormChanged(Form& form) {
  impl_->FormChanged(form);
}
void FltkBackend::ControlChanged(Control& control, Property property) {
  impl_->ControlChanged(control, property);
}
void FltkBackend::SetFocus(Control& control) {
  impl_->SetFocus(control);
}
void FltkBackend::TimerChanged(Timer& timer) {
  impl_->TimerChanged(timer);
}
void FltkBackend::OpenMessageBox(int id, const std::string& title, const std::string& text) {
  impl_->OpenMessageBox(id, title, text);
}
void FltkBackend::WaitForEvents() {
  impl_->WaitForEvents();
}
void FltkBackend::ProcessPendingEvents() {
  impl_->ProcessPendingEvents();
}

}  // namespace vellomar::ui
