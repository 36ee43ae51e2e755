#include "support/fault_injection.h"

#include <string>

#include "platform/errors.h"

namespace vellomar::platform {

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kOpen:
      return "open";
    case FaultKind::kWrite:
      return "write";
    case FaultKind::kFlush:
      return "flush";
    case FaultKind::kRename:
      return "rename";
    case FaultKind::kSetAttributes:
      return "set attributes";
    case FaultKind::kRegistrySet:
      return "registry set";
    case FaultKind::kRegistryDelete:
      return "registry delete";
    case FaultKind::kLinkCreate:
      return "link create";
  }
  return "?";
}

void FaultPlan::FailCall(FaultKind kind, int k) {
  Clear();
  planned_ = {kind, k};
}

void FaultPlan::Clear() {
  planned_.reset();
  calls_.clear();
  fired_ = false;
}

bool FaultPlan::Fails(FaultKind kind) {
  const int call = ++calls_[kind];
  if (!planned_ || planned_->first != kind || planned_->second != call) return false;
  fired_ = true;
  return true;
}

int FaultPlan::Calls(FaultKind kind) const {
  const auto it = calls_.find(kind);
  return it == calls_.end() ? 0 : it->second;
}

namespace {

RuntimeError InjectedIoError(const std::string& what) {
  return RuntimeError(errc::kDeviceIoError, "Device I/O error: " + what);
}

// The step of an atomic replacement as the kind of call it counts as; creating the temporary
// file is part of the open that started it.
std::optional<FaultKind> KindOfStep(ReplaceStep step) {
  switch (step) {
    case ReplaceStep::kWrite:
      return FaultKind::kWrite;
    case ReplaceStep::kSync:
      return FaultKind::kFlush;
    case ReplaceStep::kCopyAttributes:
      return FaultKind::kSetAttributes;
    case ReplaceStep::kRename:
      return FaultKind::kRename;
    case ReplaceStep::kCreateTemp:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

class FaultInjectingPlatform::Files : public FileSystem {
 public:
  Files(FileSystem& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

  std::string CurDir() const override { return inner_.CurDir(); }
  void ChDir(const std::string& path) override { inner_.ChDir(path); }
  void Open(int number, const std::string& path, OpenMode mode) override {
    if (plan_.Fails(FaultKind::kOpen)) throw InjectedIoError(path);
    inner_.Open(number, path, mode);
  }
  std::string LineInput(int number) override { return inner_.LineInput(number); }
  std::optional<std::string> LineInputAtMost(int number, std::size_t limit) override {
    return inner_.LineInputAtMost(number, limit);
  }
  void PrintLine(int number, const std::string& text) override { inner_.PrintLine(number, text); }
  bool Eof(int number) override { return inner_.Eof(number); }
  void Close(int number) override { inner_.Close(number); }
  void Kill(const std::string& pattern) override { inner_.Kill(pattern); }
  void MkDir(const std::string& path) override { inner_.MkDir(path); }
  void RmDir(const std::string& path) override { inner_.RmDir(path); }
  void FileCopy(const std::string& from, const std::string& to) override {
    inner_.FileCopy(from, to);
  }
  int GetAttr(const std::string& path) override { return inner_.GetAttr(path); }
  void SetAttr(const std::string& path, int attributes) override {
    if (plan_.Fails(FaultKind::kSetAttributes)) throw InjectedIoError(path);
    inner_.SetAttr(path, attributes);
  }
  std::uint32_t GetWindowsDirectoryA(char* buffer, std::uint32_t size) override {
    return inner_.GetWindowsDirectoryA(buffer, size);
  }
  std::uint32_t GetShortPathNameA(const char* long_path, char* buffer,
                                  std::uint32_t size) override {
    return inner_.GetShortPathNameA(long_path, buffer, size);
  }

 private:
  FileSystem& inner_;
  FaultPlan& plan_;
};

class FaultInjectingPlatform::Registry : public platform::Registry {
 public:
  Registry(platform::Registry& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

  LONG RegOpenKeyExA(HKEY root, const std::string& subkey, DWORD options, DWORD access,
                     HKEY* result) override {
    return inner_.RegOpenKeyExA(root, subkey, options, access, result);
  }
  LONG RegQueryValueExA(HKEY key, const std::string& name, DWORD* type, std::uint8_t* data,
                        DWORD* size) override {
    return inner_.RegQueryValueExA(key, name, type, data, size);
  }
  LONG RegSetValueExA(HKEY key, const std::string& name, DWORD type, const std::uint8_t* data,
                      DWORD size) override {
    if (plan_.Fails(FaultKind::kRegistrySet)) return win32::kErrorRegistryIoFailed;
    return inner_.RegSetValueExA(key, name, type, data, size);
  }
  LONG RegDeleteValueA(HKEY key, const std::string& name) override {
    if (plan_.Fails(FaultKind::kRegistryDelete)) return win32::kErrorRegistryIoFailed;
    return inner_.RegDeleteValueA(key, name);
  }
  LONG RegCloseKey(HKEY key) override { return inner_.RegCloseKey(key); }

 private:
  platform::Registry& inner_;
  FaultPlan& plan_;
};

class FaultInjectingPlatform::Links : public ShellLinks {
 public:
  Links(ShellLinks& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

  long fCreateShellLink(const std::string& folder, const std::string& name,
                        const std::string& target, const std::string& arguments) override {
    if (plan_.Fails(FaultKind::kLinkCreate)) return 0;
    return inner_.fCreateShellLink(folder, name, target, arguments);
  }
  std::string ProgramsFolder() override { return inner_.ProgramsFolder(); }
  std::string DesktopFolder() override { return inner_.DesktopFolder(); }

 private:
  ShellLinks& inner_;
  FaultPlan& plan_;
};

FaultInjectingPlatform::FaultInjectingPlatform(EmulatedMachine& machine)
    : machine_(machine),
      files_(std::make_unique<Files>(machine.files(), plan_)),
      registry_(std::make_unique<Registry>(machine.registry(), plan_)),
      links_(std::make_unique<Links>(machine.links(), plan_)) {
  machine_.SetReplaceFaultHook([this](ReplaceStep step) {
    const std::optional<FaultKind> kind = KindOfStep(step);
    return kind && plan_.Fails(*kind);
  });
}

FaultInjectingPlatform::~FaultInjectingPlatform() {
  machine_.SetReplaceFaultHook(nullptr);
}

Services FaultInjectingPlatform::services() {
  return {*files_, *registry_, *links_};
}

}  // namespace vellomar::platform
