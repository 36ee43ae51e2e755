#pragma once
// --help and --version, answered the same way by every program of the package.

#include <cstdio>
#include <cstring>

#ifndef VELLOMAR_VERSION
#error "VELLOMAR_VERSION is set by the build"
#endif

namespace vellomar::tools {

// When the only argument is --help or --version: prints `usage` (for --help) or the program's
// name and version to standard output and returns true.
inline bool AnswerHelpOrVersion(int argc, char** argv, const char* name, const char* usage) {
  if (argc != 2) return false;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(usage, stdout);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s (Vellomar) %s\n", name, VELLOMAR_VERSION);
    return true;
  }
  return false;
}

}  // namespace vellomar::tools
