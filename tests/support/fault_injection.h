#pragma once
// A platform that fails on purpose, for tests of every sequence of changes (the wizard's finish,
// Setup's apply stages): the k-th call of one kind fails the way the real call fails, and the
// test checks what the sequence left behind. Calls are counted per kind from the moment a fault
// is planned:
//   kOpen           FileSystem::Open (either mode)      RuntimeError 57 (device I/O error)
//   kWrite          a replacement writing its content   the writer's RuntimeError or result
//   kFlush          a replacement flushing to disk      (each replacement is one write, one
//   kRename         a replacement renamed into place     flush and one rename, whether a file,
//                                                        the registry or a shortcut)
//   kSetAttributes  FileSystem::SetAttr, and a replacement keeping the old file's attributes
//   kRegistrySet    RegSetValueExA                      1016 (registry I/O failed)
//   kRegistryDelete RegDeleteValueA                     1016
//   kLinkCreate     fCreateShellLink                    0 (failure)
// Every other call passes straight to the emulated machine.

#include <array>
#include <map>
#include <optional>

#include "platform/emulated.h"
#include "platform/platform.h"

namespace vellomar::platform {

enum class FaultKind {
  kOpen,
  kWrite,
  kFlush,
  kRename,
  kSetAttributes,
  kRegistrySet,
  kRegistryDelete,
  kLinkCreate,
};
inline constexpr std::array<FaultKind, 8> kFaultKinds = {
    FaultKind::kOpen,           FaultKind::kWrite,         FaultKind::kFlush,
    FaultKind::kRename,         FaultKind::kSetAttributes, FaultKind::kRegistrySet,
    FaultKind::kRegistryDelete, FaultKind::kLinkCreate};
const char* FaultKindName(FaultKind kind);

class FaultPlan {
 public:
  // From now on, the `k`-th call of `kind` (1 = the next one) fails; the counts start again.
  void FailCall(FaultKind kind, int k);
  // No call fails; the counts start again.
  void Clear();
  // Counts one call of `kind`; true when it is the call planned to fail.
  bool Fails(FaultKind kind);
  // Calls of `kind` counted since the plan was last set.
  int Calls(FaultKind kind) const;
  // True once the planned call has been made (and failed).
  bool Fired() const { return fired_; }

 private:
  std::optional<std::pair<FaultKind, int>> planned_;
  std::map<FaultKind, int> calls_;
  bool fired_ = false;
};

// The services of `machine` with the faults of plan() injected. The machine must outlive it.
class FaultInjectingPlatform {
 public:
  explicit FaultInjectingPlatform(EmulatedMachine& machine);
  ~FaultInjectingPlatform();
  FaultInjectingPlatform(const FaultInjectingPlatform&) = delete;
  FaultInjectingPlatform& operator=(const FaultInjectingPlatform&) = delete;

  Services services();
  FaultPlan& plan() { return plan_; }

 private:
  class Files;
  class Registry;
  class Links;

  EmulatedMachine& machine_;
  FaultPlan plan_;
  std::unique_ptr<Files> files_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<Links> links_;
};

}  // namespace vellomar::platform
