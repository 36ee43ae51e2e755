#pragma once
// A fresh drive per test, laid out as an installation leaves it: the Windows folder, the desktop
// and the Start menu's Programs folder where the machine's shell keeps them, the RunServices key
// in the registry, and the program folder \Program Files\Vellomar as the current directory. The
// drive is a whole one, as the boot files sit at its root: the emulated machine's C:, or the
// scratch drive on Windows (support/test_machine.h).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/link_check.h"
#include "support/test_machine.h"
#include "system/startup_entry.h"

namespace vellomar::testing {

class SystemFixture : public ::testing::Test {
 public:
  SystemFixture() : drive_(/*whole_drive=*/true), machines_(drive_.drive_c()) {
    std::filesystem::create_directories(windows());
    std::filesystem::create_directories(desktop());
    std::filesystem::create_directories(programs());
    std::filesystem::create_directories(program_dir());
    machine_ = machines_.Make(program_dir());
    EXPECT_EQ(machine_->CreateRegistryKey(kRunServicesKey), platform::KeyCreation::kCreated);
  }
  ~SystemFixture() override { machine_.reset(); }

  std::filesystem::path drive_c() const { return drive_.drive_c(); }
  std::filesystem::path program_dir() const { return drive_c() / "Program Files" / "Vellomar"; }
  std::filesystem::path windows() const { return drive_c() / "WINDOWS"; }
  std::filesystem::path desktop() const { return drive_c() / kDesktopRelative; }
  std::filesystem::path programs() const { return drive_c() / kProgramsRelative; }
  std::filesystem::path registry_file() const { return windows() / "SYSTEM.REG"; }
  std::filesystem::path start_menu_folder() const { return programs() / "Vellomar"; }
  // The DOS path of `relative` (forward slashes) on the drive: "C:\X" when emulated.
  std::string Dos(const std::string& relative) const { return machines_.Dos(relative); }

  DriveMachines::Machine& machine() { return *machine_; }
  platform::FileSystem& files() { return machine_->files(); }
  platform::Registry& registry() { return machine_->registry(); }
  platform::ShellLinks& links() { return machine_->links(); }

  static std::string Content(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void Put(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  }

 private:
  TestDrive drive_;
  DriveMachines machines_;
  std::unique_ptr<DriveMachines::Machine> machine_;
};

}  // namespace vellomar::testing
