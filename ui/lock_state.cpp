#include "ui/lock_state.h"

#include <algorithm>
#include <charconv>

namespace vellomar::ui {

std::string FormatLockState(const LockState& state) {
  switch (state.stage) {
    case LockState::Stage::kPrompt:
      return "prompt " + std::to_string(state.prompt_elapsed_seconds);
    case LockState::Stage::kLockout:
      return "lockout";
    case LockState::Stage::kOther:
      break;
  }
  return "other";
}

LockState ParseLockState(std::string_view text) {
  if (text == "lockout") return {LockState::Stage::kLockout, 0};
  constexpr std::string_view kPrompt = "prompt ";
  if (text.substr(0, kPrompt.size()) != kPrompt) return {};
  const std::string_view number = text.substr(kPrompt.size());
  int seconds = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), seconds);
  if (error != std::errc() || end != number.data() + number.size() || number.empty()) return {};
  return {LockState::Stage::kPrompt, std::clamp(seconds, 0, 60)};
}

}  // namespace vellomar::ui
