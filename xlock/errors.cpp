#include "xlock/errors.h"

#include <cstdio>

namespace vellomar::ui {
namespace {

unsigned long error_count = 0;

// A handful of errors are worth a line on stderr for whoever reads it; a client that provokes
// errors in a loop must not fill a log, so later ones are only counted.
constexpr unsigned long kErrorsReported = 8;

int RecordError(Display* display, XErrorEvent* error) {
  if (++error_count <= kErrorsReported) {
    char text[128] = "";
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "kestrom.exe: X error ignored: %s (request %d.%d, resource 0x%lx)\n", text,
                 error->request_code, error->minor_code, error->resourceid);
  }
  return 0;
}

}  // namespace

void InstallX11ErrorHandler() {
  XSetErrorHandler(RecordError);
}

unsigned long X11ErrorCount() {
  return error_count;
}

}  // namespace vellomar::ui
