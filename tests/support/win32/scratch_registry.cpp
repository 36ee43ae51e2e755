// The scratch key the Win32 conformance cases use as HKEY_LOCAL_MACHINE: a fresh key under
// HKEY_LOCAL_MACHINE\SOFTWARE per test, deleted with everything in it afterwards, so that no test
// leaves a value behind (a start-up entry left in the real RunServices key would run at the next
// start of the machine).

#include <windows.h>

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "support/test_machine.h"

namespace vellomar::testing {

std::string MakeScratchRegistryKey() {
  std::random_device random;
  const std::string key = "SOFTWARE\\Vellomar-test-" + std::to_string(::GetCurrentProcessId()) +
                          "-" + std::to_string(random() % 1000000);
  HKEY created = nullptr;
  if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &created, nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot make the scratch key " << key;
    return key;
  }
  ::RegCloseKey(created);
  return key;
}

void DeleteScratchRegistryKey(const std::string& key) {
  // With a subkey named, RegDeleteTreeA removes that key too.
  EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str()));
  HKEY left = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &left))
      << "the scratch key is gone";
}

bool RegistryHandlesKeepTheirAccess() {
  // The high bit of GetVersion marks the Windows 95/98/Me family.
  return (::GetVersion() & 0x80000000u) == 0;
}

}  // namespace vellomar::testing
