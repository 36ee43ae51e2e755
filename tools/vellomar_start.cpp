// vellomar-start: what Windows does at start-up for the emulated installation. It runs every
// command stored under HKEY_LOCAL_MACHINE\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUNSERVICES,
// in the order of the registry file, each to its end. Usage:
//   vellomar-start [--drive-c DIR] [--dry-run]
// --drive-c defaults to $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c;
// --dry-run prints each command's program, folder and argument instead of running it.
//
// A command is started the way Windows starts it, without a shell: the program is the DOS path
// up to and including ".exe" (mapped to its host file on the emulated drives), the rest of the
// command after the following space is passed verbatim as one argument (kestrom.exe joins its
// arguments with spaces, and the password record holds *, %, ~ and > that a shell would
// interpret), and the working directory is the program's folder. The child gets
// VELLOMAR_DRIVE_C so that it sees the same drive C:.

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

#include "platform/emulated.h"
#include "platform/regedit4.h"
#include "system/startup_entry.h"

namespace fs = std::filesystem;
namespace platform = vellomar::platform;

namespace {

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "vellomar-start: %s\n", why);
  std::fprintf(stderr, "usage: vellomar-start [--drive-c DIR] [--dry-run]\n");
  return 2;
}

// The value names of the RunServices key, in file order; false when the registry file is missing
// or is not a REGEDIT4 file.
bool RunServicesNames(const fs::path& registry_file, std::vector<std::string>& names) {
  std::ifstream in(registry_file, std::ios::binary);
  if (!in) {
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

// Runs `program` in `folder` with `argument` (none when empty) and waits for it. Returns false
// when it could not be started.
bool RunAndWait(const fs::path& program, const fs::path& folder, const std::string& argument,
                const fs::path& drive_c) {
  std::vector<std::string> args = {program.string()};
  if (!argument.empty()) args.push_back(argument);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "vellomar-start: fork: %s\n", std::strerror(errno));
    return false;
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
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return false;
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "vellomar-start: %s ended by signal %d\n", program.c_str(),
                 WTERMSIG(status));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path drive_c = platform::DefaultDriveC();
  bool dry_run = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(nullptr), 0;
    if (arg == "--drive-c" && i + 1 < argc) {
      drive_c = fs::absolute(argv[++i]);
    } else if (arg == "--dry-run") {
      dry_run = true;
    } else {
      return Usage(("unknown or incomplete argument: " + arg).c_str());
    }
  }
  std::error_code error;
  if (!fs::is_directory(drive_c, error)) {
    std::fprintf(stderr, "vellomar-start: drive C: %s does not exist\n", drive_c.c_str());
    return 1;
  }

  platform::EmulatedMachine machine(drive_c, drive_c);
  std::vector<std::string> names;
  if (!RunServicesNames(machine.HostPath(platform::kRegistryFile), names)) return 1;

  bool all_started = true;
  for (const std::string& name : names) {
    vellomar::VariantValue value;
    vellomar::ReadMachineValue(machine.registry(), vellomar::kRunServicesKey, name, value);
    const auto* command = std::get_if<std::string>(&value);
    if (command == nullptr) continue;  // Windows starts text values only
    const auto parts = vellomar::SplitStartupCommand(*command);
    const fs::path program = parts ? machine.HostPath(parts->program) : fs::path();
    if (program.empty() || !fs::is_regular_file(program, error)) {
      std::fprintf(stderr, "vellomar-start: %s: cannot find the program of \"%s\"\n", name.c_str(),
                   command->c_str());
      all_started = false;
      continue;
    }
    const fs::path folder = program.parent_path();
    if (dry_run) {
      std::printf("%s\n  program: %s\n  folder: %s\n  argument: %s\n", name.c_str(),
                  program.c_str(), folder.c_str(), parts->arguments.c_str());
      continue;
    }
    if (!RunAndWait(program, folder, parts->arguments, drive_c)) all_started = false;
  }
  return all_started ? 0 : 1;
}
