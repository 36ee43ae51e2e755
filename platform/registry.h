#pragma once
// Registry access with the Win32 contract: HKEY_LOCAL_MACHINE only, results are Win32 codes.
// Keys are never created by these calls.

#include <cstdint>
#include <string>

namespace vellomar::platform {

using HKEY = std::uint32_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;

constexpr HKEY kHkeyLocalMachine = 0x80000002u;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegDword = 4;

// The machine-wide key whose commands Windows runs at every start.
inline constexpr char kRunServicesKey[] =
    "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUNSERVICES";
// The machine-wide key whose commands Windows runs at every user's logon.
inline constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace win32 {
constexpr LONG kErrorSuccess = 0;
constexpr LONG kErrorFileNotFound = 2;
constexpr LONG kErrorAccessDenied = 5;
constexpr LONG kErrorInvalidHandle = 6;
constexpr LONG kErrorInvalidParameter = 87;
constexpr LONG kErrorMoreData = 234;
constexpr LONG kErrorBadDb = 1009;             // the registry file is damaged
constexpr LONG kErrorRegistryIoFailed = 1016;  // the registry file could not be written
}  // namespace win32

// What making sure a registry key exists found (the installer and tests only: the system never
// creates keys).
enum class KeyCreation { kCreated, kExisted, kDamaged, kFailed };

class Registry {
 public:
  virtual ~Registry() = default;
  virtual LONG RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD options, DWORD access,
                             HKEY* result) = 0;
  // With data == nullptr: reports type and size. With a buffer: fills it, or returns 234 and the
  // size needed when *size is too small.
  virtual LONG RegQueryValueExA(HKEY key, const std::string& name, DWORD* type, std::uint8_t* data,
                                DWORD* size) = 0;
  virtual LONG RegSetValueExA(HKEY key, const std::string& name, DWORD type,
                              const std::uint8_t* data, DWORD size) = 0;
  virtual LONG RegDeleteValueA(HKEY key, const std::string& name) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;

  // The logon runner. Only Windows 95/98/Me run RunServices at start; where the system never
  // does (the NT family), a value `name` under the Run key of HKEY_LOCAL_MACHINE holds `command`,
  // a program that starts what RunServices holds at each logon. These write and delete it there
  // and succeed without doing anything elsewhere (Windows 95/98/Me, and the emulated machine,
  // whose desktop autostart entry runs vellomar-start). Results are Win32 codes; deleting a value
  // that is not there succeeds.
  virtual LONG WriteLogonRunner(const std::string& name, const std::string& command) {
    (void)name;
    (void)command;
    return win32::kErrorSuccess;
  }
  virtual LONG DeleteLogonRunner(const std::string& name) {
    (void)name;
    return win32::kErrorSuccess;
  }
};

}  // namespace vellomar::platform
