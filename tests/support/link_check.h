#pragma once
// What a shortcut starts, checked the way each machine allows: on Windows through the shell's own
// link object (support/win32/link_reader.h), on the emulated machine in the .lnk file's bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include "platform/dos_names.h"
#include "support/win32/link_reader.h"
#endif

namespace vellomar::testing {

inline std::string LinkBytes(const std::filesystem::path& link) {
  std::ifstream in(link, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// True when the .lnk holds `text` as one of its counted ANSI strings (arguments, working
// directory), as the emulated machine writes them.
inline bool LinkHolds(const std::filesystem::path& link, const std::string& text) {
  std::string counted;
  counted += static_cast<char>(text.size() & 0xFF);
  counted += static_cast<char>((text.size() >> 8) & 0xFF);
  counted += text;
  return LinkBytes(link).find(counted) != std::string::npos;
}

// The link exists, starts `target` (in the target's folder, when `target` names one) and passes
// exactly `arguments` (on Windows as the shell reads it back).
inline ::testing::AssertionResult LinkTo(const std::filesystem::path& link,
                                         const std::string& target, const std::string& arguments) {
  if (!std::filesystem::is_regular_file(link)) {
    return ::testing::AssertionFailure() << link << " was not made";
  }
#ifdef _WIN32
  const LinkFields fields = ReadLink(link.string());
  const std::string folder = target.substr(0, target.rfind('\\'));
  if (!platform::SameDosName(fields.path, target) || fields.arguments != arguments ||
      !platform::SameDosName(fields.working_directory, folder)) {
    return ::testing::AssertionFailure()
           << link << " starts \"" << fields.path << "\" with \"" << fields.arguments << "\" in \""
           << fields.working_directory << "\"";
  }
  return ::testing::AssertionSuccess();
#else
  const std::size_t slash = target.rfind('\\');
  if (slash != std::string::npos && !LinkHolds(link, target.substr(0, slash))) {
    return ::testing::AssertionFailure() << link << " does not start in the target's folder";
  }
  if (LinkBytes(link).find(target) == std::string::npos) {
    return ::testing::AssertionFailure() << link << " does not start " << target;
  }
  if (!LinkHolds(link, arguments)) {
    return ::testing::AssertionFailure() << link << " does not pass \"" << arguments << "\"";
  }
  return ::testing::AssertionSuccess();
#endif
}

}  // namespace vellomar::testing
