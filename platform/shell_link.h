#pragma once
// Shortcut creation in the manner of the setup toolkit's fCreateShellLink.

#include <string>

namespace vellomar::platform {

class ShellLinks {
 public:
  virtual ~ShellLinks() = default;
  // Creates or replaces `<folder>\<name>.lnk`, `folder` taken relative to the Start menu's
  // Programs folder ("..\..\Desktop" is the desktop). The link starts `target` with `arguments`
  // in the target's own folder. Returns 1 on success, 0 on failure; never throws.
  virtual long fCreateShellLink(const std::string& folder, const std::string& name,
                                const std::string& target, const std::string& arguments) = 0;
};

}  // namespace vellomar::platform
