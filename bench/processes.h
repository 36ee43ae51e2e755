#pragma once
// The processes running a given program, found by their executable's folder (/proc/PID/exe) and
// their name: a locker's helpers live in sessions of their own, out of reach of process groups.

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// The name a process goes by (its comm): a helper forked without a new program names itself so.
inline std::string ProcessName(pid_t pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

inline std::vector<pid_t> ProcessesRunning(const std::filesystem::path& program) {
  std::vector<pid_t> pids;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // A program of this folder, going by the program's name: kestrom.exe's first guard is a
    // fork of it that names itself as the guard.
    std::error_code gone;
    if (std::filesystem::read_symlink(entry.path() / "exe", gone).parent_path() !=
        program.parent_path()) {
      continue;
    }
    const pid_t pid = std::stoi(name);
    if (ProcessName(pid) == program.filename().string()) pids.push_back(pid);
  }
  return pids;
}

}  // namespace bench
