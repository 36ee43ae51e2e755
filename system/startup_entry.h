#pragma once
// The start-up entry: one REG_SZ value "Vellomar" under HKEY_LOCAL_MACHINE's RunServices key,
// holding the command Windows runs at every start. Here are the command builder, the registry
// routines the Setup form and the wizard share (SetValueEx, QueryValueEx, WriteMachineValue,
// ReadMachineValue, DeleteMachineValue) and the table that tells the boot option in force.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "platform/registry.h"

namespace vellomar {

using platform::kRunServicesKey;
inline constexpr char kStartupValueName[] = "Vellomar";
// KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY |
// KEY_CREATE_LINK.
inline constexpr platform::DWORD kKeyAccess = 63;

// The boot options, numbered as the Setup form's option buttons Option1..Option5.
enum class BootOption {
  kNothing = 1,            // "Nothing happens on bootup"
  kSixtySeconds = 2,       // "60 seconds to enter password after Windows loads"
  kLockAfterWindows = 3,   // "Immediate lock after Windows loads"
  kLockBeforeWindows = 4,  // "Immediate lock before Windows loads" (AUTOEXEC.BAT only)
  kLockBothSides = 5,      // "Immediate lock both before AND after Windows loads"
};

// True for the options that start the program from the start-up entry (2, 3 and 5).
bool HasStartupEntry(BootOption option);

// The start-up command: `current_dir` (as reported, unquoted, its root backslash kept), then
// "\kestrom.exe ", the lock switches for options 3 and 5 followed by a space, and the "/SU:" form
// of the record around `encoded`. Empty for options 1 and 4, which have no entry.
std::string StartupCommand(const std::string& current_dir, BootOption option, bool taskbar,
                           bool smiley, const std::string& encoded);

// The logon runner (platform::Registry::WriteLogonRunner): vellomar-start.exe beside kestrom.exe
// in `current_dir`, quoted since the folder may hold spaces. It starts the start-up entry at each
// logon where the system never runs RunServices (the NT family); the wizard and Setup write it
// with the entry, under the entry's value name, and delete it with the entry.
inline constexpr char kLogonRunnerFile[] = "vellomar-start.exe";
std::string LogonRunnerCommand(const std::string& current_dir);
// The entry and its runner written, or deleted, together: 0, or the first failing result.
platform::LONG WriteStartupEntry(platform::Registry& registry, const std::string& command,
                                 const std::string& current_dir);
platform::LONG DeleteStartupEntry(platform::Registry& registry);

// A start-up command taken apart the way Windows starts it: the program is the DOS path up to and
// including the first ".exe" (any letter case); the arguments are the rest of the command after
// the space that follows, verbatim (the record holds characters a shell would interpret). Nothing
// when the command names no ".exe".
struct StartupCommandParts {
  std::string program;
  std::string arguments;
};
std::optional<StartupCommandParts> SplitStartupCommand(const std::string& command);

// A registry value as the forms hold it: Empty, a text or a 32-bit integer.
using VariantValue = std::variant<std::monostate, std::string, std::int32_t>;
bool IsEmpty(const VariantValue& value);
// The value as text: "" for Empty, the decimal digits of an integer.
std::string VariantText(const VariantValue& value);

// RegSetValueExA of `value` as REG_SZ (text + NUL, length counted with the NUL) or REG_DWORD
// (the value as a 32-bit integer; a text that is not a number throws RuntimeError 13). Any other
// type writes nothing and returns 0. Returns the registry's result (0 on success).
platform::LONG SetValueEx(platform::Registry& registry, platform::HKEY hKey,
                          const std::string& sValueName, platform::DWORD lType,
                          const VariantValue& vValue);

// Reads a value's type and size, then its data: REG_SZ into `vValue` without the terminating NUL
// (Empty when the second read fails), REG_DWORD as an integer (left as it was when it fails), any
// other type returns -1 and leaves `vValue` alone. Returns the last registry result.
// When the first query fails (no such value, bad key) or the data cannot be taken apart,
// `on_failure` runs (the Setup form selects Option1 there), `vValue` is left as it was, and the
// failing result is returned.
platform::LONG QueryValueEx(platform::Registry& registry, platform::HKEY lhKey,
                            const std::string& szValueName, VariantValue& vValue,
                            const std::function<void()>& on_failure = {});

// Opens HKEY_LOCAL_MACHINE\`subkey` with access 63 (never creating it), writes the value through
// SetValueEx and closes the key. Returns 0 when the value was written, otherwise the failing
// result (2 when the key does not exist, 5 when the write is refused). Setup and the wizard
// both report a failure.
platform::LONG WriteMachineValue(platform::Registry& registry, const std::string& subkey,
                                 const std::string& value_name, const VariantValue& value,
                                 platform::DWORD type);
// Opens the key the same way, reads the value into `vValue` through QueryValueEx, closes the key.
// A key that cannot be opened takes QueryValueEx's failure path (`on_failure` runs).
platform::LONG ReadMachineValue(platform::Registry& registry, const std::string& subkey,
                                const std::string& value_name, VariantValue& vValue,
                                const std::function<void()>& on_failure = {});
// Opens the key the same way, deletes the value, closes the key. Returns the registry's result;
// callers do not examine it, so deleting a value that is not there is silent.
platform::LONG DeleteMachineValue(platform::Registry& registry, const std::string& subkey,
                                  const std::string& value_name);

// The boot option in force, worked out at Setup load from the entry read back and from whether
// AUTOEXEC.BAT holds the lock line. `a7` codes: 1 nothing, 2 immediate lock after Windows loads,
// 3 sixty-second prompt, 4 lock before Windows loads, 5 both.
struct BootOptionInForce {
  BootOption option;
  int a7;
};
BootOptionInForce BootOptionFromEntry(const VariantValue& vValue, bool autoexec_has_lock);

}  // namespace vellomar
