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

RegistryWritesRefused::RegistryWritesRefused(const std::string& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, READ_CONTROL | WRITE_DAC, &opened) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open " << key << " to change its permissions";
    return;
  }
  key_ = opened;
  DWORD size = 0;
  ::RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, nullptr, &size);
  before_.resize(size);
  if (size == 0 || ::RegGetKeySecurity(opened, DACL_SECURITY_INFORMATION, before_.data(), &size) !=
                       ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot read the permissions of " << key;
    before_.clear();
    return;
  }
  // One entry: Everyone may read.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(everyone);
  std::vector<unsigned char> acl(acl_size);
  ::InitializeAcl(reinterpret_cast<PACL>(acl.data()), acl_size, ACL_REVISION);
  ::AddAccessAllowedAce(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, KEY_READ, everyone);
  SECURITY_DESCRIPTOR refused;
  ::InitializeSecurityDescriptor(&refused, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorDacl(&refused, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
  EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &refused))
      << "cannot refuse writes to " << key;
  ::FreeSid(everyone);
}

RegistryWritesRefused::~RegistryWritesRefused() {
  if (key_ == nullptr) return;
  HKEY key = static_cast<HKEY>(key_);
  if (!before_.empty()) {
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, before_.data()))
        << "the key's own permissions are back";
  }
  ::RegCloseKey(key);
}

bool RegistryHandlesKeepTheirAccess() {
  // The high bit of GetVersion marks the Windows 95/98/Me family.
  return (::GetVersion() & 0x80000000u) == 0;
}

}  // namespace vellomar::testing
