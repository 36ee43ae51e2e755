#pragma once
// The processes running a given program, found by their executable (/proc/PID/exe): a locker's
// helpers live in sessions of their own, out of reach of process groups.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace bench {

inline std::vector<pid_t> ProcessesRunning(const std::filesystem::path& program) {
  std::vector<pid_t> pids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code gone;
    if (std::filesystem::read_symlink(entry.path() / "exe", gone) == program) {
      pids.push_back(std::stoi(name));
    }
  }
  return pids;
}

}  // namespace bench
