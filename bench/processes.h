#pragma once
// The processes running a given program, found by their executable's folder (/proc/PID/exe) and
// their name: a locker's helpers live in sessions of their own, out of reach of process groups.

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

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
    std::ifstream comm(entry.path() / "comm");
    std::string comm_name;
    std::getline(comm, comm_name);
    if (comm_name == program.filename().string()) pids.push_back(std::stoi(name));
  }
  return pids;
}

}  // namespace bench
