// kestrom.exe: the real-window runtime, the machine and the trace, then PassMain. On Windows the
// runtime is Win32 and the machine the real one; on Linux FLTK over X11 and the emulated machine.

#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "base/tool_info.h"
#include "startup/pass_main.h"
#include "ui/application.h"
#include "ui/trace.h"

#ifdef _WIN32
#include "platform/win32/win32_machine.h"
#include "ui/win32/win32_backend.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "guard/link.h"
#include "lock/screen_size.h"
#include "platform/emulated.h"
#include "ui/fltk/fltk_backend.h"
#endif

namespace {

#ifndef _WIN32
// The command line as Windows hands it over: the text after the program's name. The arguments
// are joined by single spaces, so a launcher that passes the whole tail as one argument keeps it
// verbatim.
std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

// Takes the password record off this process's command line once it has been read: what
// /proc/PID/cmdline (ps, top) shows every user of the machine keeps the switches and "/SU:" but
// not the record after it, which may run over several arguments.
void HideRecord(int argc, char** argv) {
  bool hiding = false;
  for (int i = 1; i < argc; ++i) {
    char* from = argv[i];
    if (!hiding) {
      std::string upper = argv[i];
      for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
      const std::size_t at = upper.find("/SU:");
      if (at == std::string::npos) continue;
      from += at + 4;
      hiding = true;
    }
    std::memset(from, 0, std::strlen(from));
  }
}

// The trace file, when this run makes it, is the user's alone: it records what the forms show.
// One that exists already keeps its mode.
void MakeTraceFilePrivate() {
  const char* path = std::getenv("KESTROM_TRACE");
  if (path == nullptr || *path == '\0') return;
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) close(fd);
}
#endif

constexpr char kUsage[] =
    "usage: kestrom.exe [/locknow | /locknowfull] [/nosmile] [/SU:RECORD]\n"
    "       kestrom.exe /setup\n"
    "Locks the desktop until the Vellomar password is typed. Run it in its program folder,\n"
    "which holds supermp.dat; without a switch it shows the 60-second start-up prompt.\n"
    "See kestrom.exe(1).\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace vellomar;
#ifndef _WIN32
  // No core file and no tracing by the user's other processes for the whole run: every run may
  // hold the record and show a password box.
  guard::StopDumping();
#endif
  // Only these two exact words: anything else is the command line the system reads.
  if (tools::AnswerHelpOrVersion(argc, argv, "kestrom.exe", kUsage)) return 0;
  try {
    // The record read when the lock started, when this is a run a guard restarted after a crash.
    std::optional<std::string> record_at_start;
#ifdef _WIN32
    std::unique_ptr<ui::Backend> backend = ui::MakeWin32Backend();
    platform::Win32Machine machine;
    const std::string command_line = ui::Win32CommandLine();
#else
    // A run its guard restarted has no arguments: the guard hands the command line over, and the
    // record read when the lock started. Taken before anything else, so that the record leaves
    // the command line at once.
    const std::optional<guard::HandedOver> handed = guard::HandedOverByGuard();
    const std::string command_line = handed ? handed->command_line : CommandLine(argc, argv);
    if (handed) record_at_start = handed->record;
    HideRecord(argc, argv);
    // The guard and the display next: the guard takes the keyboard, and covers the place of a
    // lock screen the command line asks for (the size the lock screen gives itself), and the
    // rest can wait.
    const auto first_window = [&](int width, int height) -> std::optional<std::pair<int, int> > {
      const auto size = FirstLockWindowSize(
          command_line, {static_cast<float>(width), static_cast<float>(height)});
      if (!size) return std::nullopt;
      return std::make_pair(size->width, size->height);
    };
    std::unique_ptr<ui::Backend> backend = ui::MakeFltkBackend(command_line, first_window);
    // Shortcuts written on the emulated Desktop and Start menu get twins on the user's desktop.
    platform::EmulatedMachine machine(platform::DefaultDriveC(), std::filesystem::current_path(),
                                      platform::DesktopPlaces::FromEnvironment());
    MakeTraceFilePrivate();
#endif
    ui::Trace trace = ui::Trace::FromEnvironment();
    ui::Application app(*backend, machine.services(), command_line, &trace);
    if (record_at_start) app.ResumeRecord(*record_at_start);
    return app.Run<PassMain>();
  } catch (const std::exception& error) {
    // No display, or no drive C: the program cannot start at all.
    std::cerr << "kestrom.exe: " << error.what() << '\n';
    return 1;
  }
}
