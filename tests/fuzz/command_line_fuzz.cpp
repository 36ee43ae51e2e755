// The start-up dispatch on the command line: the real forms on the headless runtime, started
// with the input as their command line on a drive with a password record. Whatever the line,
// the program either waits with the keyboard locked (a form or a message box up), or waits in
// the first-time wizard (which frees the keyboard), or has ended with the lock released.

#include <cstdint>
#include <string>

#include "platform/emulated.h"
#include "startup/pass_main.h"
#include "support/headless.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchDrive drive;
  platform::EmulatedMachine machine(drive.drive_c(), drive.program_dir());
  ui::HeadlessRuntime::Options options;
  options.command_line = fuzz::Text(data, size);
  options.keep_events = false;
  ui::HeadlessRuntime run(machine.services(), options,
                          [](ui::Application& app) { return app.Run<PassMain>(); });
  run.Start();
  if (run.Ended()) {
    fuzz::Require(!run.KeyboardLocked(), "an ended run has released the lock");
  } else {
    fuzz::Require(run.KeyboardLocked() || run.FormVisible("Welcome11"),
                  "a waiting run holds the lock, unless in the wizard");
  }
  return 0;
}
