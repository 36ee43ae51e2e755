#include "ui/fltk/fltk_backend.h"

#include "ui/fltk/fltk_runtime.h"

namespace vellomar::ui {

std::unique_ptr<Backend> MakeFltkBackend() {
  return std::make_unique<fltk::Runtime>();
}

}  // namespace vellomar::ui
