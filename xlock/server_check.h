#pragma once
// Whether the X server is one a keyboard grab can lock. Pure text handling, apart from Xlib, so
// that the decision is tested without a server; keyboard_lock.cpp asks the server for the names.

#include <algorithm>
#include <string>
#include <vector>

namespace vellomar::ui {

// XWayland is the X server a Wayland compositor runs for X programs. There an X keyboard grab
// only holds keys typed into X windows: the compositor gives the keys of Wayland windows, and its
// own shortcuts, to them and never to the grabbing client, so a lock would only look like one.
// It is known by its XWAYLAND extension (Xwayland 23.1 and later) or, in every version, by the
// names of its RandR outputs ("XWAYLAND0", ...). `extensions` are the names XListExtensions
// gives, `outputs` the names of the screen's RandR outputs.
inline bool IsXWayland(const std::vector<std::string>& extensions,
                       const std::vector<std::string>& outputs) {
  constexpr char kName[] = "XWAYLAND";
  return std::find(extensions.begin(), extensions.end(), kName) != extensions.end() ||
         std::any_of(outputs.begin(), outputs.end(),
                     [&](const std::string& output) { return output.rfind(kName, 0) == 0; });
}

}  // namespace vellomar::ui
