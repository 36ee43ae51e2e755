// vellomar-install: prepares drive C: for kestrom.exe (see platform/installation.h for what it
// makes). Usage:
//   vellomar-install [--drive-c DIR] [--program PATH]
// --drive-c defaults to $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c;
// --program defaults to the kestrom.exe built beside this tool (<build>/app/kestrom.exe).

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/emulated.h"
#include "platform/installation.h"
#include "startup/password_record.h"

namespace fs = std::filesystem;

namespace {

fs::path BuiltProgram() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return fs::path("kestrom.exe");
  return (self.parent_path().parent_path() / "app" / "kestrom.exe").lexically_normal();
}

int Usage(const char* why) {
  if (why) std::fprintf(stderr, "vellomar-install: %s\n", why);
  std::fprintf(stderr, "usage: vellomar-install [--drive-c DIR] [--program PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  vellomar::platform::InstallOptions options;
  options.drive_c = vellomar::platform::DefaultDriveC();
  options.program = BuiltProgram();
  options.initial_record =
      std::string(vellomar::kStartMarker) + vellomar::kNoPasswordPlaceholder + vellomar::kEndMarker;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return Usage(nullptr), 0;
    if ((arg == "--drive-c" || arg == "--program") && i + 1 < argc) {
      (arg == "--drive-c" ? options.drive_c : options.program) = fs::absolute(argv[++i]);
    } else {
      return Usage(("unknown or incomplete argument: " + arg).c_str());
    }
  }

  const vellomar::platform::InstallResult result = vellomar::platform::Install(options);
  for (const std::string& line : result.done) std::printf("%s\n", line.c_str());
  for (const std::string& line : result.problems) {
    std::fprintf(stderr, "vellomar-install: %s\n", line.c_str());
  }
  return result.ok() ? 0 : 1;
}
