#pragma once
// The emulated machine's own cases (what only it has: host paths, the drive map, the registry
// file, extended attributes, desktop twins, the installer): a fresh emulated machine per test,
// drive C: a new temporary host folder holding C:\WINDOWS, the current directory C:\. Helpers put
// and read host files directly, so that a test checks the platform's effect on disk rather than
// the platform's own view of it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../platform_fixture.h"
#include "platform/emulated.h"
#include "platform/errors.h"

namespace vellomar::testing {

namespace fs = std::filesystem;

inline fs::path MakeEmulatedTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vellomar-platform-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

class EmulatedPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeEmulatedTempFolder();
    drive_c_ = root_ / "drive_c";
    fs::create_directories(drive_c_ / "WINDOWS");
    machine_ = std::make_unique<platform::EmulatedMachine>(drive_c_, drive_c_);
  }

  void TearDown() override {
    machine_.reset();
    // Give back write permission everywhere so the folder can go, whatever a test left.
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
    }
    fs::remove_all(root_);
  }

  platform::FileSystem& files() { return machine_->files(); }
  platform::Registry& registry() { return machine_->registry(); }

  // Host path of a path relative to drive C: (forward slashes).
  fs::path Host(const std::string& relative) const { return drive_c_ / relative; }

  void Put(const std::string& relative, const std::string& content) {
    PutHostFile(Host(relative), content);
  }
  std::string Get(const std::string& relative) const { return HostFileContent(Host(relative)); }
  std::vector<std::string> Entries(const std::string& relative) const {
    return HostEntries(Host(relative));
  }

  mode_t Mode(const std::string& relative) const {
    struct stat st {};
    stat(Host(relative).c_str(), &st);
    return st.st_mode & 07777;
  }

  fs::path root_;
  fs::path drive_c_;
  std::unique_ptr<platform::EmulatedMachine> machine_;
};

}  // namespace vellomar::testing
