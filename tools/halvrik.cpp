// halvrik.exe: the console lock the AUTOEXEC.BAT and DOSSTART.BAT lock line starts. Usage (the
// only command line the lock line writes):
//   halvrik.exe /STARTPATH: DIR
// DIR is the DOS folder holding supermp.dat (usually the program folder, in its short form). The
// lock reads the record with the program's own reader, then asks for the password on the
// console with echo off, showing one star per character (tools/console_lock.h). Ctrl+C, Ctrl+Z
// and Ctrl+\ do nothing. On Linux it works on the emulated drives; on Windows it is a console
// program for a command prompt, on the real drives.
//
// Exit codes: 0 the right password was typed; 1 no terminal, or the terminal went away;
// 2 usage; 3 supermp.dat is missing or damaged, or holds no password yet. Anything but 0 means
// "not unlocked": a login profile that runs the lock ends the session on it.

#include <cstdio>
#include <exception>
#include <string>

#include "base/tool_info.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "record/password_record.h"
#include "tools/console_lock.h"
#ifdef _WIN32
#include "platform/win32/win32_machine.h"
#else
#include <filesystem>

#include "platform/emulated.h"
#endif

namespace {

#ifdef _WIN32
constexpr char kUsageText[] =
    "usage: halvrik.exe /STARTPATH: DIR\n"
    "Locks the console until the password kept in DIR\\supermp.dat is typed.\n"
    "Exit status: 0 right password, 1 no console, 2 usage, 3 missing or damaged supermp.dat.\n";
#else
constexpr char kUsageText[] =
    "usage: halvrik.exe /STARTPATH: DIR\n"
    "Locks the terminal until the password kept in DIR\\supermp.dat is typed.\n"
    "DIR is a DOS path on the emulated drives (C: is $VELLOMAR_DRIVE_C, else\n"
    "${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c).\n"
    "Exit status: 0 right password, 1 no terminal, 2 usage, 3 missing or damaged supermp.dat.\n";
#endif

// The encoded password from DIR\supermp.dat on this system's drives.
bool ReadStoredPassword(const std::string& dir, std::string& encoded, std::string& why) {
  namespace platform = vellomar::platform;
  try {
#ifdef _WIN32
    platform::Win32Machine machine;
#else
    platform::EmulatedMachine machine(platform::DefaultDriveC(), std::filesystem::current_path());
#endif
    return vellomar::tools::ReadStoredPassword(machine.files(), dir, encoded, why);
  } catch (const std::exception&) {
    why = vellomar::kMsgRecordMissing;  // no drive to read it from
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  namespace tools = vellomar::tools;
  vellomar::platform::ShieldFromInterrupts();
  if (tools::AnswerHelpOrVersion(argc, argv, "halvrik.exe", kUsageText)) return 0;

  const std::string dir = tools::StartPath(argc, argv);
  if (dir.empty()) return tools::UsageError("halvrik.exe", "no /STARTPATH: folder", kUsageText);
  std::string encoded, why;
  if (!ReadStoredPassword(dir, encoded, why)) {
    std::fprintf(stderr, "halvrik.exe: %s\n", why.c_str());
    return tools::kNoRecord;
  }
  if (!vellomar::platform::HostConsole::InputIsConsole()) {
    std::fputs("halvrik.exe: the lock needs a terminal to ask for the password.\n", stderr);
    return tools::kNoTerminal;
  }
  vellomar::platform::HostConsole console;
  if (!console.Enter()) {
    std::fputs("halvrik.exe: cannot take over the terminal.\n", stderr);
    return tools::kNoTerminal;
  }
  vellomar::platform::SystemClock clock;
  return tools::AskUntilUnlocked(console, clock, encoded);
}
