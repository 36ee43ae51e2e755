// The console on Win32: the input mode without echo, line input or processed input (so Ctrl+C
// arrives as a key), keys read as console input events, Ctrl+C and Ctrl+Break refused by a
// control handler.

#include <windows.h>

#include "platform/console.h"

namespace vellomar::platform {

namespace {

HANDLE Input() {
  return ::GetStdHandle(STD_INPUT_HANDLE);
}

// Handles the interrupt events itself by doing nothing; the others (closing the console,
// logging off, shutting down) go on to the default handler, which ends the program.
BOOL WINAPI IgnoreInterrupts(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

}  // namespace

struct HostConsole::Saved {
  DWORD mode = 0;
  // A key held down may come as one event with a repeat count: the repeats still to give.
  WORD repeats = 0;
  char repeated = 0;
};

HostConsole::HostConsole() = default;

HostConsole::~HostConsole() {
  if (saved_) ::SetConsoleMode(Input(), saved_->mode);
}

bool HostConsole::InputIsConsole() {
  DWORD mode = 0;
  return ::GetConsoleMode(Input(), &mode) != 0;
}

bool HostConsole::Enter() {
  DWORD old = 0;
  if (!::GetConsoleMode(Input(), &old)) return false;
  const DWORD raw =
      old & ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
  if (!::SetConsoleMode(Input(), raw)) return false;
  saved_ = std::make_unique<Saved>();
  saved_->mode = old;
  return true;
}

bool HostConsole::ReadKey(char& key) {
  if (saved_ && saved_->repeats > 0) {
    --saved_->repeats;
    key = saved_->repeated;
    return true;
  }
  while (true) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!::ReadConsoleInputA(Input(), &record, 1, &read)) return false;
    // A read that returns no event (Wine's console host gives one for a typed Ctrl+C) is no
    // sign that the input went away: the lock waits on.
    if (read == 0) continue;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const char typed = record.Event.KeyEvent.uChar.AsciiChar;
    if (typed == 0) continue;  // Shift, arrows, function keys: no character
    key = typed;
    if (saved_ && record.Event.KeyEvent.wRepeatCount > 1) {
      saved_->repeats = static_cast<WORD>(record.Event.KeyEvent.wRepeatCount - 1);
      saved_->repeated = typed;
    }
    return true;
  }
}

void HostConsole::Write(const std::string& text) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(output, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                     nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

void ShieldFromInterrupts() {
  ::SetConsoleCtrlHandler(IgnoreInterrupts, TRUE);
}

}  // namespace vellomar::platform
