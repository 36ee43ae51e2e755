#pragma once
// A throw-away machine for tests: the emulated one (Linux: a temporary folder as drive C:) or the
// Win32 one (Windows or Wine: a scratch folder standing for C:\ and a scratch key under
// HKEY_LOCAL_MACHINE standing for it), both with the current directory at the scratch root,
// which holds WINDOWS. Everything is removed when the machine goes.

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

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

// Attributes as a test can expect them back: Wine reports every file as archived, whatever was
// set, so the archive bit is compared on the emulated machine only.
inline int ComparableAttributes(int attributes) {
#ifdef _WIN32
  return attributes & ~platform::attr::kArchive;
#else
  return attributes;
#endif
}

// The short form of the program folder `long_form` (its DOS path, \Program Files\Vellomar on
// the drive), as the boot files' lock line carries it: the Windows 9x alias C:\PROGRA~1\VELLOMAR
// when emulated; on Windows whatever the file system gives (Wine hashes the name: PROG~FBU).
inline std::string ShortProgramFolder([[maybe_unused]] platform::FileSystem& files,
                                      [[maybe_unused]] const std::string& long_form) {
#ifdef _WIN32
  char short_form[260] = {};
  files.GetShortPathNameA(long_form.c_str(), short_form, sizeof short_form);
  return short_form;
#else
  return "C:\\PROGRA~1\\VELLOMAR";
#endif
}

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

// While it lives, the key `key` under HKEY_LOCAL_MACHINE lets everyone read it and no one write
// it, as HKEY_LOCAL_MACHINE is to an ordinary user of the NT family; its own permissions come
// back when it goes.
class RegistryWritesRefused {
 public:
  explicit RegistryWritesRefused(const std::string& key);
  ~RegistryWritesRefused();
  RegistryWritesRefused(const RegistryWritesRefused&) = delete;
  RegistryWritesRefused& operator=(const RegistryWritesRefused&) = delete;

 private:
  void* key_ = nullptr;                // opened to change its permissions, kept to give them back
  std::vector<unsigned char> before_;  // its security descriptor as it was
};

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

// The folder that stands for drive C: in one test, removed with everything in it afterwards: a
// fresh temporary folder's `drive_c`, or, for what sits at a drive's root (AUTOEXEC.BAT,
// MSDOS.SYS: the boot-file edits take the drive from the Windows directory), a whole drive. The
// emulated machine's C: is always a folder of its own; on Windows the whole drive is the scratch
// drive VELLOMAR_TEST_DRIVE names ("V:", a letter mapped to an empty folder: `subst` on Windows,
// a dosdevices link under Wine), emptied again afterwards. A drive that is not empty, or none
// named, is refused: no test writes over a real drive's start-up files.
class TestDrive {
 public:
  explicit TestDrive(bool whole_drive = false) {
#ifdef _WIN32
    if (whole_drive) {
      const char* letter = std::getenv("VELLOMAR_TEST_DRIVE");
      if (letter == nullptr || std::strlen(letter) != 2 || letter[1] != ':') {
        throw std::runtime_error(
            "the boot-file cases need a scratch drive: map an empty folder to a drive letter and "
            "name it in VELLOMAR_TEST_DRIVE (\"V:\")");
      }
      drive_c_ = std::string(letter) + "\\";
      std::error_code error;
      fs::directory_iterator entries(drive_c_, error);
      // An empty drive root lists nothing, not even "." and "..": the library calls that an
      // error.
      const bool empty = error ? error == std::errc::no_such_file_or_directory
                               : entries == fs::directory_iterator();
      if (!fs::is_directory(drive_c_) || !empty) {
        throw std::runtime_error("the scratch drive " + std::string(letter) +
                                 " is missing or not empty");
      }
      whole_drive_ = true;
      return;
    }
#else
    (void)whole_drive;
#endif
    root_ = MakeTempFolder("vellomar-drive-");
    drive_c_ = root_ / "drive_c";
    fs::create_directory(drive_c_);
  }
  ~TestDrive() {
    // Give back write permission everywhere (on Windows: clear read-only) so all can go,
    // whatever a test left.
    const fs::path top = whole_drive_ ? drive_c_ : root_;
    std::error_code ignored;
    for (auto entry = fs::recursive_directory_iterator(top, ignored);
         entry != fs::recursive_directory_iterator(); entry.increment(ignored)) {
      fs::permissions(entry->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    if (whole_drive_) {
      for (const auto& entry : fs::directory_iterator(drive_c_, ignored)) {
        fs::remove_all(entry.path(), ignored);
      }
    } else {
      fs::remove_all(root_, ignored);
    }
  }
  TestDrive(const TestDrive&) = delete;
  TestDrive& operator=(const TestDrive&) = delete;

  const fs::path& drive_c() const {
    return drive_c_;
  }

 private:
  fs::path root_;
  fs::path drive_c_;
  bool whole_drive_ = false;
};

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
#ifdef _WIN32
  // The scratch key under HKEY_LOCAL_MACHINE that stands for it.
  const std::string& registry_root() const {
    return registry_root_;
  }
#endif
  // The DOS path of `relative` (forward slashes) on the drive: "C:\X" when emulated.
  std::string Dos(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', '\\');
#ifdef _WIN32
    std::string root = drive_c_.string();
    std::replace(root.begin(), root.end(), '/', '\\');
    if (root.back() == '\\') root.pop_back();  // a whole drive: "V:\"
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
