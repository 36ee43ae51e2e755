// vellomar-start: what Windows does at start-up for the emulated installation. Usage:
//   vellomar-start [--drive-c DIR] [--dry-run] [--autostart | --autoexec]
// By default it runs every command stored under
// HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUNSERVICES, in the order of the
// registry file, each to its end. --autostart is the same for the desktop's autostart entry: a
// user without an installation or without the key gets nothing and no message. --autoexec runs
// instead what comes before Windows loads: each lock line of C:\AUTOEXEC.BAT (the console lock
// halvrik.exe), on this terminal, and succeeds only when every one of them ends with 0.
// --drive-c defaults to $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c;
// --dry-run prints each command's program, folder and argument instead of running it.
//
// A command is started the way Windows starts it, without a shell: the program is the DOS path
// up to and including ".exe" (mapped to its host file on the emulated drives), the rest of the
// command after the following space is passed verbatim as one argument (kestrom.exe joins its
// arguments with spaces, and the password record holds *, %, ~ and > that a shell would
// interpret), and the working directory is the program's folder. The child gets
// VELLOMAR_DRIVE_C so that it sees the same drive C:.

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/tool_info.h"
#include "platform/emulated.h"
#include "platform/errors.h"
#include "platform/regedit4.h"
#include "record/password_record.h"
#include "system/startup_entry.h"

namespace fs = std::filesystem;
namespace platform = vellomar::platform;

namespace {

constexpr char kUsage[] =
    "usage: vellomar-start [--drive-c DIR] [--dry-run] [--autostart | --autoexec]\n"
    "Runs the start-up commands of the emulated Windows installation, as Windows does at start:\n"
    "the RunServices entries (default, or --autostart at a desktop login: nothing and no message\n"
    "without an installation), or with --autoexec the lock lines of C:\\AUTOEXEC.BAT on this\n"
    "terminal. See vellomar-start(1).\n";

enum class Mode { kRunServices, kAutostart, kAutoexec };

// The value names of the RunServices key, in file order; false when the registry file is missing
// or is not a REGEDIT4 file. `quiet`: a missing file or key is no error and says nothing.
bool RunServicesNames(const fs::path& registry_file, bool quiet, std::vector<std::string>& names) {
  std::ifstream in(registry_file, std::ios::binary);
  if (!in) {
    if (quiet) return true;
    std::fprintf(stderr, "vellomar-start: cannot read the registry %s\n", registry_file.c_str());
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<platform::RegFile> file = platform::ParseRegedit4(text.str());
  if (!file) {
    std::fprintf(stderr, "vellomar-start: %s is not a REGEDIT4 file\n", registry_file.c_str());
    return false;
  }
  const platform::RegKey* key =
      file->FindKey(std::string("HKEY_LOCAL_MACHINE\\") + vellomar::kRunServicesKey);
  if (key != nullptr) {
    for (const platform::RegValue& value : key->values) names.push_back(value.name);
  }
  return true;
}

// The lock lines of C:\AUTOEXEC.BAT in file order (none when there is no such file). A lock line
// names halvrik.exe anywhere, upper-cased, as Setup recognises it; a remark is not run.
std::vector<std::string> AutoexecLockLines(platform::FileSystem& files) {
  constexpr int kFile = 1;
  std::vector<std::string> lines;
  try {
    files.Open(kFile, "C:\\AUTOEXEC.BAT", platform::OpenMode::Input);
    while (!files.Eof(kFile)) {
      std::string line = files.LineInput(kFile);
      const std::string upper = vellomar::UpperCase(line);
      const std::size_t first = upper.find_first_not_of(" \t@");
      if (upper.find("HALVRIK.EXE") == std::string::npos || first == std::string::npos) continue;
      if (upper.compare(first, 4, "REM ") == 0 || upper.compare(first, 2, "::") == 0) continue;
      lines.push_back(line.substr(first));
    }
  } catch (const vellomar::RuntimeError&) {
    // No AUTOEXEC.BAT: nothing runs before Windows.
  }
  files.Close(kFile);
  return lines;
}

// Runs `program` in `folder` with `argument` (none when empty) and waits for it. Returns its exit
// code (128 + the signal when a signal ended it), or nullopt when it could not be started.
std::optional<int> RunAndWait(const fs::path& program, const fs::path& folder,
                              const std::string& argument, const fs::path& drive_c) {
  std::vector<std::string> args = {program.string()};
  if (!argument.empty()) args.push_back(argument);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "vellomar-start: fork: %s\n", std::strerror(errno));
    return std::nullopt;
  }
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) {
      std::fprintf(stderr, "vellomar-start: cannot enter %s: %s\n", folder.c_str(),
                   std::strerror(errno));
      _exit(127);
    }
    setenv("VELLOMAR_DRIVE_C", drive_c.c_str(), 1);
    execv(program.c_str(), argv.data());
    std::fprintf(stderr, "vellomar-start: cannot run %s: %s\n", program.c_str(),
                 std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "vellomar-start: waitpid: %s\n", std::strerror(errno));
      return std::nullopt;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return std::nullopt;
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "vellomar-start: %s ended by signal %d\n", program.c_str(),
                 WTERMSIG(status));
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

// One command of `source` (a value name, or AUTOEXEC.BAT): its program's host file, or empty
// after saying why there is none.
fs::path ProgramOf(const platform::EmulatedMachine& machine, const std::string& source,
                   const std::string& command, vellomar::StartupCommandParts& parts) {
  const auto split = vellomar::SplitStartupCommand(command);
  std::error_code error;
  const fs::path program = split ? machine.HostPath(split->program) : fs::path();
  if (program.empty() || !fs::is_regular_file(program, error)) {
    std::fprintf(stderr, "vellomar-start: %s: cannot find the program of \"%s\"\n", source.c_str(),
                 command.c_str());
    return {};
  }
  parts = *split;
  return program;
}

void PrintDryRun(const std::string& source, const fs::path& program, const fs::path& folder,
                 const std::string& argument) {
  std::printf("%s\n  program: %s\n  folder: %s\n  argument: %s\n", source.c_str(), program.c_str(),
              folder.c_str(), argument.c_str());
}

// What happens before Windows loads: each lock line in turn, on this terminal, from C:\. A lock
// that cannot start or does not end with 0 fails the run at once.
int RunAutoexec(platform::EmulatedMachine& machine, const fs::path& drive_c, bool dry_run) {
  // The keys that stop a program must not end the runner between two locks either.
  if (!dry_run) {
    for (int sig : {SIGINT, SIGQUIT, SIGTSTP}) signal(sig, SIG_IGN);
  }
  for (const std::string& line : AutoexecLockLines(machine.files())) {
    vellomar::StartupCommandParts parts;
    const fs::path program = ProgramOf(machine, "AUTOEXEC.BAT", line, parts);
    if (program.empty()) return 1;
    if (dry_run) {
      PrintDryRun("AUTOEXEC.BAT", program, drive_c, parts.arguments);
      continue;
    }
    if (RunAndWait(program, drive_c, parts.arguments, drive_c) != 0) return 1;
  }
  return 0;
}

int RunServices(platform::EmulatedMachine& machine, const fs::path& drive_c, bool quiet,
                bool dry_run) {
  std::vector<std::string> names;
  if (!RunServicesNames(machine.HostPath(platform::kRegistryFile), quiet, names)) return 1;
  bool all_started = true;
  for (const std::string& name : names) {
    vellomar::VariantValue value;
    vellomar::ReadMachineValue(machine.registry(), vellomar::kRunServicesKey, name, value);
    const auto* command = std::get_if<std::string>(&value);
    if (command == nullptr) continue;  // Windows starts text values only
    vellomar::StartupCommandParts parts;
    const fs::path program = ProgramOf(machine, name, *command, parts);
    if (program.empty()) {
      all_started = false;
      continue;
    }
    const fs::path folder = program.parent_path();
    if (dry_run) {
      PrintDryRun(name, program, folder, parts.arguments);
    } else if (!RunAndWait(program, folder, parts.arguments, drive_c)) {
      all_started = false;
    }
  }
  return all_started ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (vellomar::tools::AnswerHelpOrVersion(argc, argv, "vellomar-start", kUsage)) return 0;
  fs::path drive_c = platform::DefaultDriveC();
  bool dry_run = false;
  Mode mode = Mode::kRunServices;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--drive-c" && i + 1 < argc) {
      drive_c = fs::absolute(argv[++i]);
    } else if (arg == "--dry-run") {
      dry_run = true;
    } else if (arg == "--autostart" || arg == "--autoexec") {
      mode = arg == "--autostart" ? Mode::kAutostart : Mode::kAutoexec;
    } else {
      return vellomar::tools::UsageError("vellomar-start", "unknown or incomplete argument: " + arg,
                                         kUsage);
    }
  }
  std::error_code error;
  if (!fs::is_directory(drive_c, error)) {
    if (mode != Mode::kRunServices) return 0;  // no installation: nothing to start
    std::fprintf(stderr, "vellomar-start: drive C: %s does not exist\n", drive_c.c_str());
    return 1;
  }
  platform::EmulatedMachine machine(drive_c, drive_c);
  if (mode == Mode::kAutoexec) return RunAutoexec(machine, drive_c, dry_run);
  return RunServices(machine, drive_c, mode == Mode::kAutostart, dry_run);
}
