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
};

}  // namespace vellomar::platform
