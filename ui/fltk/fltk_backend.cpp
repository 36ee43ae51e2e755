#include "ui/fltk/fltk_backend.h"

#include "ui/fltk/fltk_runtime.h"

namespace vellomar::ui {

std::unique_ptr<Backend> MakeFltkBackend(const std::string& command_line,
                                         const guard::FirstLockWindow& first_window) {
  return std::make_unique<fltk::Runtime>(command_line, first_window);
}

}  // namespace vellomar::ui
