#pragma once
// A throw-away machine for tests: the emulated one (Linux: a temporary folder as drive C:) or the
// Win32 one (Windows or Wine: a scratch folder standing for C:\ and a scratch key under
// HKEY_LOCAL_MACHINE standing for it), both with the current directory at the scratch root,
// which holds WINDOWS. Everything is removed when the machine goes.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "platform/platform.h"
#ifdef _WIN32
#include "platform/win32/win32_machine.h"
#else
#include "platform/emulated.h"
#endif

namespace vellomar::testing {

namespace fs = std::filesystem;

inline fs::path MakeTempFolder(const std::string& prefix) {
  std::random_device random;
  for (int attempt = 0;; ++attempt) {
    const fs::path folder =
        fs::temp_directory_path() /
        (prefix + std::to_string(random() % 1000000) + "-" + std::to_string(random() % 1000000));
    if (fs::create_directory(folder)) return folder;
    if (attempt > 100) throw std::runtime_error("no fresh temporary folder");
  }
}

// Where the shell keeps the Start menu's Programs and the desktop, relative to the scratch root
// (forward slashes), and the desktop as fCreateShellLink reaches it from Programs: the Windows
// 95/98 layout on the emulated machine, today's per-user layout (Windows Vista to 11, Wine) on
// the Win32 one.
#ifdef _WIN32
inline constexpr char kProgramsRelative[] =
    "users/me/AppData/Roaming/Microsoft/Windows/Start Menu/Programs";
inline constexpr char kDesktopRelative[] = "users/me/Desktop";
inline constexpr char kDesktopFromPrograms[] = "..\\..\\..\\..\\..\\..\\Desktop";
#else
inline constexpr char kProgramsRelative[] = "WINDOWS/Start Menu/Programs";
inline constexpr char kDesktopRelative[] = "WINDOWS/Desktop";
inline constexpr char kDesktopFromPrograms[] = "..\\..\\Desktop";
#endif

// One machine over a scratch root holding WINDOWS; the current directory is the root.
class TestMachine {
 public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  platform::FileSystem& files() { return machine_->files(); }
  platform::Registry& registry() { return machine_->registry(); }
  platform::ShellLinks& links() { return machine_->links(); }
  platform::Services services() { return machine_->services(); }
  platform::KeyCreation CreateRegistryKey(const std::string& subkey) {
    return machine_->CreateRegistryKey(subkey);
  }
  // The DOS path of the scratch root, without a trailing backslash ("C:" when emulated).
  const std::string& root() const { return root_dos_; }
  // The host folder of the scratch root.
  const fs::path& host_root() const { return host_root_; }

  // Drops the machine (what it holds open is abandoned), as at the end of a run.
  void Drop() { machine_.reset(); }

 private:
  fs::path temp_;
  fs::path host_root_;
  std::string root_dos_;
#ifdef _WIN32
  std::string registry_root_;
  std::string old_current_;
  std::unique_ptr<platform::Win32Machine> machine_;
#else
  std::unique_ptr<platform::EmulatedMachine> machine_;
#endif
};

// Whether registry handles keep the access they were opened with: Windows 95/98/Me keep no
// access rights on keys (a handle opened for reading writes too); the NT family, Wine set to
// one of its versions, and the emulated machine refuse.
#ifdef _WIN32
bool RegistryHandlesKeepTheirAccess();
#else
inline bool RegistryHandlesKeepTheirAccess() {
  return true;
}
#endif

#ifdef _WIN32
// The registry key under HKEY_LOCAL_MACHINE that stands for it in one test; deleted afterwards.
std::string MakeScratchRegistryKey();
void DeleteScratchRegistryKey(const std::string& key);

inline TestMachine::TestMachine()
    : temp_(MakeTempFolder("vellomar-platform-")),
      host_root_(temp_ / "drive_c"),
      old_current_(fs::current_path().string()) {
  fs::create_directories(host_root_ / "WINDOWS");
  root_dos_ = host_root_.string();
  std::replace(root_dos_.begin(), root_dos_.end(), '/', '\\');
  registry_root_ = MakeScratchRegistryKey();
  fs::current_path(host_root_);
  const auto dos = [this](std::string relative) {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return root_dos_ + "\\" + relative;
  };
  machine_ = std::make_unique<platform::Win32Machine>(
      platform::Win32Places{.windows_directory = dos("WINDOWS"),
                            .programs_folder = dos(kProgramsRelative),
                            .desktop_folder = dos(kDesktopRelative),
                            .registry_root = registry_root_});
}
#else
inline TestMachine::TestMachine()
    : temp_(MakeTempFolder("vellomar-platform-")), host_root_(temp_ / "drive_c"), root_dos_("C:") {
  fs::create_directories(host_root_ / "WINDOWS");
  machine_ = std::make_unique<platform::EmulatedMachine>(host_root_, host_root_);
}
#endif

inline TestMachine::~TestMachine() {
  machine_.reset();
#ifdef _WIN32
  std::error_code ignored;
  fs::current_path(old_current_, ignored);  // Windows cannot remove the current directory
  DeleteScratchRegistryKey(registry_root_);
#endif
  // Give back write permission everywhere (on Windows: clear read-only) so the folder can go,
  // whatever a test left.
  for (const auto& entry : fs::recursive_directory_iterator(temp_)) {
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
  }
  fs::remove_all(temp_);
}

// Machines over one scratch drive folder, made afresh for each run of a test (the form suites
// start the program more than once over the same drive): the emulated machine with `drive_c` as
// C:, or the Win32 machine with its Windows, Programs and desktop folders laid out in `drive_c` as
// TestMachine lays them out, under one scratch registry key kept for the whole test. A machine
// starts in `current`. The current directory and the key are put back when this goes.
class DriveMachines {
 public:
#ifdef _WIN32
  using Machine = platform::Win32Machine;
#else
  using Machine = platform::EmulatedMachine;
#endif
  explicit DriveMachines(fs::path drive_c) : drive_c_(std::move(drive_c)) {
#ifdef _WIN32
    old_current_ = fs::current_path().string();
    registry_root_ = MakeScratchRegistryKey();
#endif
  }
  ~DriveMachines() {
#ifdef _WIN32
    std::error_code ignored;
    fs::current_path(old_current_, ignored);  // Windows cannot remove the current directory
    DeleteScratchRegistryKey(registry_root_);
#endif
  }
  DriveMachines(const DriveMachines&) = delete;
  DriveMachines& operator=(const DriveMachines&) = delete;

  std::unique_ptr<Machine> Make(const fs::path& current) const {
#ifdef _WIN32
    fs::current_path(current);
    return std::make_unique<Machine>(
        platform::Win32Places{.windows_directory = Dos("WINDOWS"),
                              .programs_folder = Dos(kProgramsRelative),
                              .desktop_folder = Dos(kDesktopRelative),
                              .registry_root = registry_root_});
#else
    return std::make_unique<Machine>(drive_c_, current);
#endif
  }
  // The DOS path of `relative` (forward slashes) on the drive: "C:\X" when emulated.
  std::string Dos(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', '\\');
#ifdef _WIN32
    std::string root = drive_c_.string();
    std::replace(root.begin(), root.end(), '/', '\\');
    return root + "\\" + relative;
#else
    return "C:\\" + relative;
#endif
  }

 private:
  fs::path drive_c_;
#ifdef _WIN32
  std::string old_current_;
  std::string registry_root_;
#endif
};

}  // namespace vellomar::testing
