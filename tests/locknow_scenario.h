#pragma once
// The immediate lock's scenario on the headless runtime, and traces made comparable, so that a
// real run (FLTK under Xvfb, Win32 under Wine) can be held to the headless transcript.

#include <string>
#include <vector>

#include "platform/platform.h"
#include "startup/pass_main.h"
#include "support/headless.h"
#include "ui/trace.h"

namespace vellomar::testing {

// The trace without times and without the countdown refreshes, whose number depends on timing.
inline std::vector<std::string> ComparableTrace(const std::vector<ui::TraceEvent>& events) {
  std::vector<std::string> lines;
  for (const ui::TraceEvent& event : events) {
    if (event.ev == "set" && event.Get("form") == "PassMain" && event.Get("control") == "Label2") {
      continue;
    }
    lines.push_back(event.JsonWithoutTime());
  }
  return lines;
}

// How long after one entry the real scenarios type the next.
inline constexpr int kSecondsBetweenEntries = 3;

// "/locknow" on the headless runtime over `services` (whose password file holds the password):
// each of `entries` typed into the box (the empty one: the box cleared) and Enter, until the
// program ends. Empty when it does not end within five more virtual seconds.
inline std::vector<ui::TraceEvent> HeadlessLockNow(platform::Services services,
                                                   const std::vector<std::string>& entries) {
  ui::HeadlessRuntime::Options options;
  options.command_line = "/locknow";
  ui::HeadlessRuntime headless(services, options,
                               [](ui::Application& app) { return app.Run<PassMain>(); });
  headless.Start();
  for (const std::string& entry : entries) {
    headless.Type("Kestrom", "Text1", entry);
    headless.PressEnter("Kestrom");
    // A person types the next entry seconds later, after any wait a wrong password costs.
    if (!headless.Ended()) headless.AdvanceTime(kSecondsBetweenEntries * 1000);
  }
  if (!headless.Ended()) headless.AdvanceTime(5000);
  if (!headless.Ended()) return {};
  return headless.events();
}

}  // namespace vellomar::testing
