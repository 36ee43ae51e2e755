// vellomar-install: prepares drive C: for kestrom.exe (see platform/installation.h for what it
// makes). Usage:
//   vellomar-install [--drive-c DIR] [--program PATH]
// --drive-c defaults to $VELLOMAR_DRIVE_C, else ${XDG_DATA_HOME:-~/.local/share}/vellomar/drive_c.
// Installed from the package (this tool in <prefix>/bin, the programs in <prefix>/lib/vellomar),
// the drive gets links to the package's kestrom.exe and halvrik.exe, so that an upgrade reaches
// every installation. Run from a build tree, it copies <build>/app/kestrom.exe and
// <build>/tools/halvrik.exe. --program copies that kestrom.exe instead.

#include <cstdio>
#include <filesystem>
#include <string>

#include "base/tool_info.h"
#include "platform/emulated.h"
#include "platform/installation.h"
#include "record/password_record.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage: vellomar-install [--drive-c DIR] [--program PATH]\n"
    "Prepares the emulated drive C: for Vellomar: C:\\WINDOWS, the registry, MSDOS.SYS and the\n"
    "program folder. Never overwrites supermp.dat, the registry or boot files.\n"
    "See vellomar-install(1).\n";

// Where the programs are: the package's folder beside this tool's bin folder (linked), else
// the build tree this tool was built in (copied).
void FindPrograms(vellomar::platform::InstallOptions& options) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path bin = error ? fs::path(".") : self.parent_path();
  const fs::path package = bin.parent_path() / "lib" / "vellomar";
  if (fs::is_regular_file(package / "kestrom.exe", error)) {
    options.program = package / "kestrom.exe";
    options.console_lock = package / "halvrik.exe";
    options.link_programs = true;
    return;
  }
  options.program = (bin.parent_path() / "app" / "kestrom.exe").lexically_normal();
  options.console_lock = bin / "halvrik.exe";
}

}  // namespace

int main(int argc, char** argv) {
  if (vellomar::tools::AnswerHelpOrVersion(argc, argv, "vellomar-install", kUsage)) return 0;
  vellomar::platform::InstallOptions options;
  options.drive_c = vellomar::platform::DefaultDriveC();
  FindPrograms(options);
  options.initial_record =
      std::string(vellomar::kStartMarker) + vellomar::kNoPasswordPlaceholder + vellomar::kEndMarker;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--drive-c" && i + 1 < argc) {
      options.drive_c = fs::absolute(argv[++i]);
    } else if (arg == "--program" && i + 1 < argc) {
      options.program = fs::absolute(argv[++i]);
      options.link_programs = false;
    } else {
      return vellomar::tools::UsageError("vellomar-install",
                                         "unknown or incomplete argument: " + arg, kUsage);
    }
  }

  const vellomar::platform::InstallResult result = vellomar::platform::Install(options);
  for (const std::string& line : result.done) std::printf("%s\n", line.c_str());
  for (const std::string& line : result.problems) {
    std::fprintf(stderr, "vellomar-install: %s\n", line.c_str());
  }
  return result.ok() ? 0 : 1;
}
