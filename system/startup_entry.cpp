#include "system/startup_entry.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "record/password_record.h"
#include "system/lock_switches.h"

namespace vellomar {

namespace {

constexpr int kTypeMismatch = 13;

std::int32_t VariantInteger(const VariantValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  const std::string text = VariantText(value);
  if (text.empty()) return 0;
  std::int32_t number = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (*first == '+') ++first;
  auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last) {
    throw RuntimeError(kTypeMismatch, "The value \"" + text + "\" is not a number.");
  }
  return number;
}

}  // namespace

bool HasStartupEntry(BootOption option) {
  return option == BootOption::kSixtySeconds || option == BootOption::kLockAfterWindows ||
         option == BootOption::kLockBothSides;
}

std::string StartupCommand(const std::string& current_dir, BootOption option, bool taskbar,
                           bool smiley, const std::string& encoded) {
  if (!HasStartupEntry(option)) return "";
  std::string command = ProgramPath(current_dir) + " ";
  if (option != BootOption::kSixtySeconds) command += LockSwitches(taskbar, smiley) + " ";
  return command + BuildRecordArgument(encoded);
}

std::string LogonRunnerCommand(const std::string& current_dir) {
  std::string command = "\"";
  command += current_dir;
  if (command.back() != '\\') command += '\\';
  command += kLogonRunnerFile;
  command += '"';
  return command;
}

platform::LONG WriteStartupEntry(platform::Registry& registry, const std::string& command,
                                 const std::string& current_dir) {
  const platform::LONG written =
      WriteMachineValue(registry, kRunServicesKey, kStartupValueName, command, platform::kRegSz);
  if (written != platform::win32::kErrorSuccess) return written;
  return registry.WriteLogonRunner(kStartupValueName, LogonRunnerCommand(current_dir));
}

platform::LONG DeleteStartupEntry(platform::Registry& registry) {
  const platform::LONG deleted = DeleteMachineValue(registry, kRunServicesKey, kStartupValueName);
  // An entry that is not there is already what was asked for.
  if (deleted != platform::win32::kErrorSuccess && deleted != platform::win32::kErrorFileNotFound) {
    return deleted;
  }
  return registry.DeleteLogonRunner(kStartupValueName);
}

std::optional<StartupCommandParts> SplitStartupCommand(const std::string& command) {
  const std::size_t exe = UpperCase(command).find(".EXE");
  if (exe == std::string::npos) return std::nullopt;
  StartupCommandParts parts;
  parts.program = command.substr(0, exe + 4);
  std::size_t rest = exe + 4;
  if (rest < command.size() && command[rest] == ' ') ++rest;
  parts.arguments = command.substr(rest);
  return parts;
}

bool IsEmpty(const VariantValue& value) {
  return std::holds_alternative<std::monostate>(value);
}

std::string VariantText(const VariantValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  return "";
}

platform::LONG SetValueEx(platform::Registry& registry, platform::HKEY hKey,
                          const std::string& sValueName, platform::DWORD lType,
                          const VariantValue& vValue) {
  switch (lType) {
    case platform::kRegSz: {
      const std::string text = VariantText(vValue) + '\0';
      return registry.RegSetValueExA(hKey, sValueName, lType,
                                     reinterpret_cast<const std::uint8_t*>(text.data()),
                                     static_cast<platform::DWORD>(text.size()));
    }
    case platform::kRegDword: {
      const std::int32_t number = VariantInteger(vValue);
      std::uint8_t bytes[sizeof number];
      std::memcpy(bytes, &number, sizeof number);
      return registry.RegSetValueExA(hKey, sValueName, lType, bytes, sizeof bytes);
    }
    default:
      return 0;
  }
}

platform::LONG QueryValueEx(platform::Registry& registry, platform::HKEY lhKey,
                            const std::string& szValueName, VariantValue& vValue,
                            const std::function<void()>& on_failure) {
  platform::LONG lrc = 0;
  auto fail = [&] {
    if (on_failure) on_failure();
    return lrc;
  };
  try {
    platform::DWORD type = 0;
    platform::DWORD size = 0;
    lrc = registry.RegQueryValueExA(lhKey, szValueName, &type, nullptr, &size);
    if (lrc != platform::win32::kErrorSuccess) return fail();
    switch (type) {
      case platform::kRegSz: {
        std::vector<std::uint8_t> buffer(size, 0);
        platform::DWORD filled = size;
        lrc = registry.RegQueryValueExA(lhKey, szValueName, &type, buffer.data(), &filled);
        if (lrc != platform::win32::kErrorSuccess) {
          vValue = std::monostate{};
        } else {
          // The text without its terminating NUL; a value with no data at all cannot be cut.
          if (filled == 0 || filled > buffer.size()) {
            throw RuntimeError(errc::kInvalidProcedureCall, "The text value has no terminator.");
          }
          vValue = std::string(buffer.begin(), buffer.begin() + (filled - 1));
        }
        break;
      }
      case platform::kRegDword: {
        std::uint8_t bytes[sizeof(std::int32_t)] = {};
        platform::DWORD filled = sizeof bytes;
        lrc = registry.RegQueryValueExA(lhKey, szValueName, &type, bytes, &filled);
        if (lrc == platform::win32::kErrorSuccess) {
          std::int32_t number = 0;
          std::memcpy(&number, bytes, sizeof number);
          vValue = number;
        }
        break;
      }
      default:
        lrc = -1;
        break;
    }
    return lrc;
  } catch (const RuntimeError&) {
    return fail();
  }
}

platform::LONG WriteMachineValue(platform::Registry& registry, const std::string& subkey,
                                 const std::string& value_name, const VariantValue& value,
                                 platform::DWORD type) {
  platform::HKEY key = 0;
  const platform::LONG opened =
      registry.RegOpenKeyExA(platform::kHkeyLocalMachine, subkey, 0, kKeyAccess, &key);
  if (opened != platform::win32::kErrorSuccess) return opened;
  platform::LONG written = 0;
  try {
    written = SetValueEx(registry, key, value_name, type, value);
  } catch (...) {
    registry.RegCloseKey(key);
    throw;
  }
  registry.RegCloseKey(key);
  return written;
}

platform::LONG ReadMachineValue(platform::Registry& registry, const std::string& subkey,
                                const std::string& value_name, VariantValue& vValue,
                                const std::function<void()>& on_failure) {
  platform::HKEY key = 0;
  const platform::LONG opened =
      registry.RegOpenKeyExA(platform::kHkeyLocalMachine, subkey, 0, kKeyAccess, &key);
  if (opened != platform::win32::kErrorSuccess) {
    if (on_failure) on_failure();
    return opened;
  }
  const platform::LONG read = QueryValueEx(registry, key, value_name, vValue, on_failure);
  registry.RegCloseKey(key);
  return read;
}

platform::LONG DeleteMachineValue(platform::Registry& registry, const std::string& subkey,
                                  const std::string& value_name) {
  platform::HKEY key = 0;
  const platform::LONG opened =
      registry.RegOpenKeyExA(platform::kHkeyLocalMachine, subkey, 0, kKeyAccess, &key);
  if (opened != platform::win32::kErrorSuccess) return opened;
  const platform::LONG deleted = registry.RegDeleteValueA(key, value_name);
  registry.RegCloseKey(key);
  return deleted;
}

BootOptionInForce BootOptionFromEntry(const VariantValue& vValue, bool autoexec_has_lock) {
  const std::string text = VariantText(vValue);
  if (text.empty()) {
    return autoexec_has_lock ? BootOptionInForce{BootOption::kLockBeforeWindows, 4}
                             : BootOptionInForce{BootOption::kNothing, 1};
  }
  if (UpperCase(text).find("/LOCKNOW") != std::string::npos) {
    return autoexec_has_lock ? BootOptionInForce{BootOption::kLockBothSides, 5}
                             : BootOptionInForce{BootOption::kLockAfterWindows, 2};
  }
  return {BootOption::kSixtySeconds, 3};
}

}  // namespace vellomar
