#pragma once
// What a shortcut holds, read back through the shell's own link object (IShellLinkA), so that a
// test on Windows sees what the shell would start. Windows builds only.

#include <string>

namespace vellomar::testing {

struct LinkFields {
  std::string path, arguments, working_directory;
};

// Loads `file`; empty fields when it cannot be read.
LinkFields ReadLink(const std::string& file);

}  // namespace vellomar::testing
