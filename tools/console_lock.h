#pragma once
// The console lock's logic, the same on every system (halvrik.exe is the program around it): its
// command line, the record it unlocks with, and the dialogue on the console.

#include <string>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/filesystem.h"

namespace vellomar::tools {

// Exit codes. Anything but kUnlocked means "not unlocked": a login profile that runs the lock
// ends the session on it.
inline constexpr int kUnlocked = 0;
inline constexpr int kNoTerminal = 1;  // no console, or its input went away
inline constexpr int kNoRecord = 3;    // supermp.dat missing or damaged, or no password yet

inline constexpr char kMsgLocked[] = "This computer is locked by Vellomar.";
inline constexpr char kMsgIncorrect[] = "The password is incorrect.";
inline constexpr char kMsgBlank[] = "You have left the required password field blank.";
inline constexpr char kMsgNoPassword[] =
    "No password has been chosen yet.  Start Vellomar on the desktop to choose one.";

// The folder after "/STARTPATH:" (any letter case) in the command tail (the arguments joined by
// spaces, as the DOS command line reaches the program), spaces around it dropped. Empty when
// absent.
std::string StartPath(int argc, const char* const* argv);

// The encoded password from `dir`\supermp.dat, read with the program's own reader through
// `files`; false with the message saying why there is none (missing or damaged record, or the
// no-password placeholder).
bool ReadStoredPassword(platform::FileSystem& files, const std::string& dir, std::string& encoded,
                        std::string& why);

// Asks for the password on `console`, one star per character typed (Backspace rubs one out,
// Ctrl+U all, other control keys do nothing), until a line matches `encoded` (letter case aside):
// kUnlocked. A blank line is no guess, even against an empty password. After a wrong password
// the next check waits on `clock` (ui::GuessPacer). kNoTerminal when the input goes away. What
// is typed is kept out of swap and wiped after each check.
int AskUntilUnlocked(platform::KeyConsole& console, platform::Clock& clock,
                     const std::string& encoded);

}  // namespace vellomar::tools
