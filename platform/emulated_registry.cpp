// HKEY_LOCAL_MACHINE over the REGEDIT4 file C:\WINDOWS\SYSTEM.REG, with the Win32 contract of
// the advapi32 calls the system makes.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/emulated_parts.h"
#include "platform/regedit4.h"

namespace vellomar::platform {
namespace fs = std::filesystem;

namespace {

constexpr char kRootName[] = "HKEY_LOCAL_MACHINE";
constexpr DWORD kKeySetValue = 0x0002;
constexpr char kLockName[] = ".vellomar-registry.lock";

// What reading the registry file found.
struct Loaded {
  LONG status = win32::kErrorSuccess;  // kErrorBadDb when damaged
  RegFile file;
  bool existed = false;
};

Loaded Load(const fs::path& path) {
  Loaded loaded;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (fs::exists(path, error)) loaded.status = win32::kErrorBadDb;
    return loaded;  // no file yet: an empty registry
  }
  loaded.existed = true;
  std::ostringstream text;
  text << in.rdbuf();
  std::optional<RegFile> file = ParseRegedit4(text.str());
  if (!file) {
    loaded.status = win32::kErrorBadDb;
  } else {
    loaded.file = std::move(*file);
  }
  return loaded;
}

std::string Join(const std::string& base, const std::string& subkey) {
  std::string path = base;
  std::size_t start = 0;
  while (start <= subkey.size()) {
    std::size_t end = subkey.find('\\', start);
    if (end == std::string::npos) end = subkey.size();
    if (end > start) path += "\\" + subkey.substr(start, end - start);
    start = end + 1;
  }
  return path;
}

// An exclusive flock on the lock file beside the registry, held for one read-modify-write.
class RegistryLock {
 public:
  explicit RegistryLock(const fs::path& registry) {
    fd_ = open((registry.parent_path() / kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;  // no folder: the key cannot exist either, so there is nothing to guard
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~RegistryLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

EmulatedRegistry::EmulatedRegistry(std::function<fs::path()> file,
                                   std::shared_ptr<ReplaceFaults> faults)
    : file_(std::move(file)), faults_(std::move(faults)) {}

const EmulatedRegistry::Handle* EmulatedRegistry::Find(HKEY key) const {
  static const Handle kRoot{kRootName, 0xF003F};
  if (key == kHkeyLocalMachine) return &kRoot;
  const auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : &it->second;
}

LONG EmulatedRegistry::RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD /*options*/,
                                     DWORD access, HKEY* result) {
  if (result == nullptr) return win32::kErrorInvalidParameter;
  const Handle* parent = Find(root);
  if (parent == nullptr) return win32::kErrorInvalidHandle;
  const Loaded loaded = Load(file_());
  if (loaded.status != win32::kErrorSuccess) return loaded.status;
  const std::string path = Join(parent->path, subkey);
  if (!loaded.file.KeyExists(path)) return win32::kErrorFileNotFound;
  *result = next_handle_++;
  handles_[*result] = Handle{path, access};
  return win32::kErrorSuccess;
}

LONG EmulatedRegistry::RegQueryValueExA(HKEY key, const std::string& name, DWORD* type,
                                        std::uint8_t* data, DWORD* size) {
  const Handle* handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  if (data != nullptr && size == nullptr) return win32::kErrorInvalidParameter;
  Loaded loaded = Load(file_());
  if (loaded.status != win32::kErrorSuccess) return loaded.status;
  RegKey* section = loaded.file.FindKey(handle->path);
  const RegValue* value = section ? FindValue(*section, name) : nullptr;
  if (value == nullptr) return win32::kErrorFileNotFound;

  const auto needed = static_cast<DWORD>(value->data.size());
  if (type != nullptr) *type = value->type;
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return win32::kErrorSuccess;
  }
  if (*size < needed) {
    *size = needed;
    return win32::kErrorMoreData;
  }
  std::memcpy(data, value->data.data(), needed);
  *size = needed;
  return win32::kErrorSuccess;
}

template <typename Change>
LONG EmulatedRegistry::Modify(const std::string& key_path, Change change) {
  const fs::path path = file_();
  RegistryLock lock(path);
  Loaded loaded = Load(path);
  if (loaded.status != win32::kErrorSuccess) return loaded.status;
  if (!loaded.file.KeyExists(key_path)) return win32::kErrorFileNotFound;
  const LONG status = change(loaded.file);
  if (status != win32::kErrorSuccess) return status;
  try {
    ReplaceFileContent(path, SerializeRegedit4(loaded.file), faults_);
  } catch (const ReplaceError&) {
    return win32::kErrorRegistryIoFailed;
  }
  return win32::kErrorSuccess;
}

LONG EmulatedRegistry::RegSetValueExA(HKEY key, const std::string& name, DWORD type,
                                      const std::uint8_t* data, DWORD size) {
  const Handle* handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  if ((handle->access & kKeySetValue) == 0) return win32::kErrorAccessDenied;
  if (data == nullptr && size > 0) return win32::kErrorInvalidParameter;
  RegValue value{name, type, std::string(reinterpret_cast<const char*>(data), data ? size : 0)};
  const std::string path = handle->path;
  return Modify(path, [&](RegFile& file) {
    RegKey& section = file.SectionFor(path);
    if (RegValue* old = FindValue(section, name)) {
      old->type = value.type;
      old->data = value.data;  // the name keeps the spelling it was created with
    } else {
      section.values.push_back(value);
    }
    return win32::kErrorSuccess;
  });
}

LONG EmulatedRegistry::RegDeleteValueA(HKEY key, const std::string& name) {
  const Handle* handle = Find(key);
  if (handle == nullptr) return win32::kErrorInvalidHandle;
  if ((handle->access & kKeySetValue) == 0) return win32::kErrorAccessDenied;
  const std::string path = handle->path;
  return Modify(path, [&](RegFile& file) {
    RegKey* section = file.FindKey(path);
    const RegValue* value = section ? FindValue(*section, name) : nullptr;
    if (value == nullptr) return win32::kErrorFileNotFound;
    section->values.erase(section->values.begin() + (value - section->values.data()));
    return win32::kErrorSuccess;
  });
}

LONG EmulatedRegistry::RegCloseKey(HKEY key) {
  if (key == kHkeyLocalMachine) return win32::kErrorSuccess;
  return handles_.erase(key) ? win32::kErrorSuccess : win32::kErrorInvalidHandle;
}

KeyCreation EmulatedRegistry::CreateKey(const std::string& subkey) {
  const fs::path path = file_();
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  RegistryLock lock(path);
  Loaded loaded = Load(path);
  if (loaded.status != win32::kErrorSuccess) return KeyCreation::kDamaged;
  const std::string key_path = Join(kRootName, subkey);
  if (loaded.existed && loaded.file.KeyExists(key_path)) return KeyCreation::kExisted;
  loaded.file.SectionFor(key_path);
  try {
    ReplaceFileContent(path, SerializeRegedit4(loaded.file), faults_);
  } catch (const ReplaceError&) {
    return KeyCreation::kFailed;
  }
  return KeyCreation::kCreated;
}

}  // namespace vellomar::platform
