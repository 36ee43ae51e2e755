#pragma once
// Input as a user gives it in the end-to-end tests: keys and text through xdotool into the window
// that has the focus, clicks on a form's controls at their design positions (15 twips to the
// pixel, relative to the window's client area), and whole files read back.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/x_session.h"

namespace vellomar::e2e {

inline void Key(const std::string& keys) {
  Run({"xdotool", "key", "--clearmodifiers", keys});
}
inline void Type(const std::string& text) {
  Run({"xdotool", "type", "--delay", "15", text});
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Position of a control in twips (left, top, width, height), as the forms lay them out.
struct Twips {
  int left, top, width, height;
};

// Clicks a control: halfway across and down, or, for option buttons and check boxes whose box
// sits at the left end (`at_left`), 10 pixels in from the left edge.
inline void Click(const std::string& window, const Twips& control, bool at_left = false) {
  const int left = control.left / 15, top = control.top / 15;
  const int width = control.width / 15, height = control.height / 15;
  ClickAt(window, at_left ? left + 10 : left + width / 2, top + height / 2);
}

}  // namespace vellomar::e2e
