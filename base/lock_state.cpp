#include "base/lock_state.h"

#include <algorithm>
#include <charconv>

namespace vellomar::ui {
namespace {

constexpr std::string_view kWait = " wait";
constexpr std::string_view kPrompt = "prompt ";

std::string StageText(const LockState& state) {
  switch (state.stage) {
    case LockState::Stage::kPrompt:
      return std::string(kPrompt) + std::to_string(state.prompt_elapsed_seconds);
    case LockState::Stage::kLockout:
      return "lockout";
    case LockState::Stage::kOther:
      break;
  }
  return "other";
}

// "prompt SECONDS" into `state`; false for anything else.
bool ParsePrompt(std::string_view text, LockState& state) {
  if (text.substr(0, kPrompt.size()) != kPrompt) return false;
  const std::string_view number = text.substr(kPrompt.size());
  int seconds = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), seconds);
  if (error != std::errc() || end != number.data() + number.size() || number.empty()) return false;
  state.stage = LockState::Stage::kPrompt;
  state.prompt_elapsed_seconds = std::clamp(seconds, 0, 60);
  return true;
}

}  // namespace

std::string FormatLockState(const LockState& state) {
  return StageText(state) + (state.guess_wait ? std::string(kWait) : "");
}

LockState ParseLockState(std::string_view text) {
  LockState state;
  if (text.size() > kWait.size() && text.substr(text.size() - kWait.size()) == kWait) {
    text.remove_suffix(kWait.size());
    state.guess_wait = true;
  }
  if (text == "lockout") {
    state.stage = LockState::Stage::kLockout;
  } else if (text != "other" && !ParsePrompt(text, state)) {
    return {};
  }
  return state;
}

}  // namespace vellomar::ui
