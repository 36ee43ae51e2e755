#ifdef VELLOMAR_STATIC_FLTK
#include <dlfcn.h>

#include <cstring>

// With FLTK and Xlib linked in statically, two run-time loads would bring a second, shared Xlib
// and xcb into the process, working on the first one's connection, and a megabyte more memory:
// FLTK loads libXrandr.so only to hear of screen size changes, which the runtime follows itself
// (Runtime::FollowScreenSize); Xlib loads libXcursor.so for themed font cursors, and falls back to
// the core cursor font without it. Those loads are refused; every other one goes to the C
// library's dlopen.
extern "C" void* dlopen(const char* file, int mode) noexcept {
  if (file && (std::strncmp(file, "libXrandr.so", 12) == 0 ||
               std::strncmp(file, "libXcursor.so", 13) == 0)) {
    return nullptr;
  }
  using Open = void* (*)(const char*, int);
  static const auto next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "dlopen"));
  return next ? next(file, mode) : nullptr;
}
#endif  // VELLOMAR_STATIC_FLTK
