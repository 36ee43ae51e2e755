#pragma once
// The text console a console program asks on: keys one at a time with nothing echoed, text
// written straight to the screen, and the keys that would interrupt or suspend the program made
// harmless. POSIX (platform/console.cpp): the terminal through termios and the job-control
// signals; Win32 (platform/win32/console.cpp): the console's input mode, ReadConsoleInputA and
// a console control handler.

#include <memory>
#include <string>

namespace vellomar::platform {

// Keys in, text out.
class KeyConsole {
 public:
  virtual ~KeyConsole() = default;
  // Waits for the next key and gives it as a character: what a printable key types, '\r' for
  // Enter, '\b' or 0x7f for Backspace, the control characters (Ctrl+U is 0x15, Ctrl+C 0x03) as
  // such. False when the input has gone (the terminal hung up, the console closed).
  virtual bool ReadKey(char& key) = 0;
  // Writes `text` as it is (no line-ending conversion).
  virtual void Write(const std::string& text) = 0;
};

// The process's own console: its standard input and output.
class HostConsole : public KeyConsole {
 public:
  HostConsole();
  ~HostConsole() override;  // gives the console back the mode Enter() found
  HostConsole(const HostConsole&) = delete;
  HostConsole& operator=(const HostConsole&) = delete;

  // True when standard input is a terminal or a console, not a file or a pipe.
  static bool InputIsConsole();
  // Takes the console over: no echo, no line editing, and the interrupt keys arrive as keys
  // (Ctrl+C as 0x03) instead of stopping the program. False when it cannot be changed.
  bool Enter();
  bool ReadKey(char& key) override;
  void Write(const std::string& text) override;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

// For the whole run of a program that holds a password: the keys and signals that interrupt,
// quit or suspend it do nothing, whoever sends them (POSIX: SIGINT, SIGQUIT, SIGTSTP, SIGTTIN and
// SIGTTOU ignored; Windows: Ctrl+C and Ctrl+Break ignored; closing the console window still
// ends it there), and its memory stays out of core files and away from tracers where the system
// allows it (Linux: not dumpable; Windows has no such switch for a process).
void ShieldFromInterrupts();

}  // namespace vellomar::platform
