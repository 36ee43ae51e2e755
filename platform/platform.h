#pragma once
// The system services one run of the program uses, gathered so that forms reach them in one place.

#include "platform/clock.h"
#include "platform/filesystem.h"
#include "platform/keyboard_lock.h"
#include "platform/registry.h"
#include "platform/shell_link.h"

namespace vellomar::platform {

struct Services {
  FileSystem& files;
  Registry& registry;
  ShellLinks& links;
};

}  // namespace vellomar::platform
