#pragma once
// --help and --version, answered the same way by every program of the package.

#include <cstdio>
#include <cstring>
#include <string>

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

// A wrong command line: says why and how to call the program on standard error; returns the exit
// code for it, 2.
inline int UsageError(const char* name, const std::string& why, const char* usage) {
  std::fprintf(stderr, "%s: %s\n%s", name, why.c_str(), usage);
  return 2;
}

}  // namespace vellomar::tools
