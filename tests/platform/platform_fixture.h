#pragma once
// The platform conformance suite's fixture: a fresh machine per test, set up and checked through
// the machine's own view of its files. The same cases run over the emulated machine (Linux: a
// temporary folder as drive C:) and the Win32 machine (Windows or Wine: a scratch folder standing
// for C:\ and a scratch key under HKEY_LOCAL_MACHINE standing for it). Dos("X") is the path of X
// in the scratch root ("C:\X" on the emulated machine); Host("X") is where the test reads and
// writes it directly, so that a check sees the platform's effect on disk rather than the
// platform's own report of it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/platform.h"
#include "support/test_machine.h"

namespace vellomar::testing {

namespace fs = std::filesystem;

// The run-time error code `action` throws, 0 when it throws none.
template <typename Action>
int RunTimeErrorOf(Action action) {
  try {
    action();
  } catch (const RuntimeError& error) {
    return error.code();
  }
  return 0;
}

// The attributes of a plain file with the archive bit left out. Wine reports archive on every
// plain file whatever was set (it keeps no bit for "not archived"); Windows and the emulation
// keep what SetAttr or a rewrite gave. Cases that hold on both compare the other bits.
inline int WithoutArchive(int attributes) {
  return attributes & ~platform::attr::kArchive;
}

// A value's bytes as RegQueryValueExA gives them, or the failing result as "error N".
inline std::string QueryValue(platform::Registry& registry, platform::HKEY key,
                              const std::string& name, platform::DWORD* type = nullptr) {
  platform::DWORD size = 0;
  platform::LONG result = registry.RegQueryValueExA(key, name, type, nullptr, &size);
  if (result != platform::win32::kErrorSuccess) return "error " + std::to_string(result);
  std::string data(size, '\0');
  result = registry.RegQueryValueExA(key, name, type, reinterpret_cast<std::uint8_t*>(data.data()),
                                     &size);
  if (result != platform::win32::kErrorSuccess) return "error " + std::to_string(result);
  return data.substr(0, size);
}

// GetShortPathNameA into a 250-character buffer, as the system calls it; "" on failure.
inline std::string ShortPath(platform::FileSystem& files, const std::string& path) {
  char buffer[250] = {};
  const std::uint32_t n = files.GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return "";
  EXPECT_EQ(std::strlen(buffer), n) << "the result is the length without the NUL";
  return buffer;
}

// Host files, read and written directly: a test checks the platform's effect on disk.
inline void PutHostFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}
inline std::string HostFileContent(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
// The names in a host folder, sorted.
inline std::vector<std::string> HostEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { machine_ = std::make_unique<TestMachine>(); }
  void TearDown() override { machine_.reset(); }

  platform::FileSystem& files() { return machine_->files(); }
  platform::Registry& registry() { return machine_->registry(); }
  platform::ShellLinks& links() { return machine_->links(); }

  // The DOS path of `relative` (backslashes) in the scratch root: Dos("MSDOS.SYS") is
  // "C:\MSDOS.SYS" on the emulated machine; Dos("") is the root itself.
  std::string Dos(const std::string& relative) const {
    return relative.empty() ? machine_->root() + "\\" : machine_->root() + "\\" + relative;
  }
  // Host path of a path relative to the scratch root (forward slashes).
  fs::path Host(const std::string& relative) const { return machine_->host_root() / relative; }

  void Put(const std::string& relative, const std::string& content) {
    PutHostFile(Host(relative), content);
  }
  std::string Get(const std::string& relative) const { return HostFileContent(Host(relative)); }
  std::vector<std::string> Entries(const std::string& relative) const {
    return HostEntries(Host(relative));
  }

  std::unique_ptr<TestMachine> machine_;
};

}  // namespace vellomar::testing
