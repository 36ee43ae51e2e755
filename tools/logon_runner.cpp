// vellomar-start.exe: the logon runner of the Windows build. Only Windows 95/98/Me run
// HKEY_LOCAL_MACHINE's RunServices commands at start; on the NT family the wizard and Setup also
// name this program under HKEY_LOCAL_MACHINE's Run key, which Windows runs at every user's logon,
// and it starts the start-up entry (the "Vellomar" value under RunServices) as Windows 95/98
// would: the program the command names, the rest of the command as its arguments, in the
// program's folder, not waited for. Where the system runs RunServices itself (Windows 95/98/Me,
// and Wine at each session start) it does nothing, so the prompt never comes up twice.
//   vellomar-start.exe [/always]
// /always starts the entry there too. Exit status: 0 started, or nothing to start; 1 the entry
// names no program or it could not be started; 2 usage.

#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "base/tool_info.h"
#include "platform/win32/process.h"
#include "platform/win32/win32_machine.h"
#include "system/startup_entry.h"

namespace {

constexpr char kUsage[] =
    "usage: vellomar-start.exe [/always]\n"
    "Starts the Vellomar start-up entry (HKEY_LOCAL_MACHINE RunServices) at logon where Windows\n"
    "does not run RunServices itself; /always starts it everywhere.\n";

// KEY_QUERY_VALUE: every user may read the machine's keys, only an administrator write them.
constexpr vellomar::platform::DWORD kReadOnly = 1;

}  // namespace

int main(int argc, char** argv) {
  using namespace vellomar;
  if (tools::AnswerHelpOrVersion(argc, argv, "vellomar-start.exe", kUsage)) return 0;
  bool always = false;
  if (argc == 2 && (std::strcmp(argv[1], "/always") == 0 || std::strcmp(argv[1], "/ALWAYS") == 0)) {
    always = true;
  } else if (argc != 1) {
    return tools::UsageError("vellomar-start.exe", "unknown arguments", kUsage);
  }
  if (!always && platform::SystemRunsRunServices()) return 0;
  try {
    platform::Win32Machine machine;
    platform::Registry& registry = machine.registry();
    platform::HKEY key = 0;
    if (registry.RegOpenKeyExA(platform::kHkeyLocalMachine, kRunServicesKey, 0, kReadOnly, &key) !=
        platform::win32::kErrorSuccess) {
      return 0;  // no key: nothing to start
    }
    VariantValue entry;
    QueryValueEx(registry, key, kStartupValueName, entry);
    registry.RegCloseKey(key);
    const std::string command = VariantText(entry);
    if (command.empty()) return 0;  // the boot option starts nothing after Windows loads
    const std::optional<StartupCommandParts> parts = SplitStartupCommand(command);
    if (!parts) return 1;
    const std::size_t slash = parts->program.find_last_of('\\');
    const std::string folder =
        slash == std::string::npos ? std::string() : parts->program.substr(0, slash + 1);
    return platform::StartProgram(parts->program, parts->arguments, folder) ? 0 : 1;
  } catch (const std::exception&) {
    return 1;
  }
}
