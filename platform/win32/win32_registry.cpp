// HKEY_LOCAL_MACHINE through advapi32. The interface's handles are small numbers, each standing
// for a real HKEY; HKEY_LOCAL_MACHINE itself may stand for a key under it (tests use a scratch
// key so they never touch the real start-up entries).

#include "platform/win32/process.h"
#include "platform/win32/win32_parts.h"

namespace {

// Outside our namespace, where HKEY and the HKEY_* constants are the Windows ones.
const HKEY kLocalMachine = HKEY_LOCAL_MACHINE;

}  // namespace

namespace vellomar::platform {

Win32Registry::Win32Registry(const std::string& root) : root_(kLocalMachine) {
  if (root.empty()) return;
  ::HKEY key = nullptr;
  if (::RegOpenKeyExA(kLocalMachine, root.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    root_ = key;
  } else {
    root_ = nullptr;  // every call then fails as with a damaged registry
  }
}

Win32Registry::~Win32Registry() {
  for (const auto& [number, key] : handles_) ::RegCloseKey(key);
  if (root_ != nullptr && root_ != kLocalMachine) ::RegCloseKey(root_);
}

::HKEY Win32Registry::Find(HKEY key) const {
  if (key == kHkeyLocalMachine) return root_;
  const auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : it->second;
}

LONG Win32Registry::RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD options, DWORD access,
                                  HKEY* result) {
  if (result == nullptr) return win32::kErrorInvalidParameter;
  const ::HKEY parent = Find(root);
  if (parent == nullptr) return win32::kErrorInvalidHandle;
  ::HKEY opened = nullptr;
  const LONG status = ::RegOpenKeyExA(parent, subkey.c_str(), options, access, &opened);
  if (status != ERROR_SUCCESS) return status;
  *result = next_handle_++;
  handles_[*result] = opened;
  return win32::kErrorSuccess;
}

LONG Win32Registry::RegQueryValueExA(HKEY key, const std::string& name, DWORD* type,
                                     std::uint8_t* data, DWORD* size) {
  const ::HKEY handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  if (data != nullptr && size == nullptr) return win32::kErrorInvalidParameter;
  ::DWORD real_type = 0;
  ::DWORD real_size = size ? *size : 0;
  const LONG status = ::RegQueryValueExA(handle, name.c_str(), nullptr, &real_type, data,
                                         size ? &real_size : nullptr);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type != nullptr) *type = real_type;
    if (size != nullptr) *size = real_size;
  }
  return status;
}

LONG Win32Registry::RegSetValueExA(HKEY key, const std::string& name, DWORD type,
                                   const std::uint8_t* data, DWORD size) {
  const ::HKEY handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  if (data == nullptr && size > 0) return win32::kErrorInvalidParameter;
  return ::RegSetValueExA(handle, name.c_str(), 0, type, data, size);
}

LONG Win32Registry::RegDeleteValueA(HKEY key, const std::string& name) {
  const ::HKEY handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  return ::RegDeleteValueA(handle, name.c_str());
}

LONG Win32Registry::RegCloseKey(HKEY key) {
  if (key == kHkeyLocalMachine) return win32::kErrorSuccess;
  const auto it = handles_.find(key);
  if (it == handles_.end()) return win32::kErrorInvalidHandle;
  const LONG status = ::RegCloseKey(it->second);
  handles_.erase(it);
  return status;
}

LONG Win32Registry::WriteLogonRunner(const std::string& name, const std::string& command) {
  if (IsWindows9x()) return win32::kErrorSuccess;  // runs RunServices itself
  if (root_ == nullptr) return win32::kErrorInvalidHandle;
  // The Run key is there on every Windows; only a scratch root may lack it.
  ::HKEY key = nullptr;
  LONG status = ::RegCreateKeyExA(root_, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status =
      ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<::DWORD>(command.size() + 1));
  ::RegCloseKey(key);
  return status;
}

LONG Win32Registry::DeleteLogonRunner(const std::string& name) {
  if (IsWindows9x()) return win32::kErrorSuccess;  // runs RunServices itself
  if (root_ == nullptr) return win32::kErrorInvalidHandle;
  ::HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(root_, kRunKey, 0, KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    status = ::RegDeleteValueA(key, name.c_str());
    ::RegCloseKey(key);
  }
  return status == ERROR_FILE_NOT_FOUND ? win32::kErrorSuccess : status;
}

KeyCreation Win32Registry::CreateKey(const std::string& subkey) {
  if (root_ == nullptr) return KeyCreation::kFailed;
  ::HKEY key = nullptr;
  ::DWORD disposition = 0;
  if (::RegCreateKeyExA(root_, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS) {
    return KeyCreation::kFailed;
  }
  ::RegCloseKey(key);
  return disposition == REG_CREATED_NEW_KEY ? KeyCreation::kCreated : KeyCreation::kExisted;
}

}  // namespace vellomar::platform
