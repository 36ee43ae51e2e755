#pragma once
// A fresh emulated drive C: per test, laid out as an installation leaves it: C:\WINDOWS with its
// Desktop and Start Menu\Programs folders, the RunServices key in the registry, and the program
// folder C:\Program Files\Vellomar as the current directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "platform/emulated.h"
#include "system/startup_entry.h"

namespace vellomar::testing {

class SystemFixture : public ::testing::Test {
 public:
  SystemFixture() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("vellomar-system-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(drive_c() / "WINDOWS" / "Desktop");
    std::filesystem::create_directories(drive_c() / "WINDOWS" / "Start Menu" / "Programs");
    std::filesystem::create_directories(program_dir());
    machine_ = std::make_unique<platform::EmulatedMachine>(drive_c(), program_dir());
    EXPECT_EQ(machine_->CreateRegistryKey(kRunServicesKey), platform::KeyCreation::kCreated);
  }
  ~SystemFixture() override {
    machine_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::filesystem::path drive_c() const { return root_ / "drive_c"; }
  std::filesystem::path program_dir() const { return drive_c() / "Program Files" / "Vellomar"; }
  std::filesystem::path windows() const { return drive_c() / "WINDOWS"; }
  std::filesystem::path registry_file() const { return windows() / "SYSTEM.REG"; }
  std::filesystem::path start_menu_folder() const {
    return windows() / "Start Menu" / "Programs" / "Vellomar";
  }

  platform::EmulatedMachine& machine() { return *machine_; }
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

  // True when the .lnk file holds `text` as one of its counted ANSI strings (target path in the
  // link info aside, the arguments and the working directory are stored this way).
  static bool LinkHolds(const std::filesystem::path& link, const std::string& text) {
    const std::string bytes = Content(link);
    std::string counted;
    counted += static_cast<char>(text.size() & 0xFF);
    counted += static_cast<char>((text.size() >> 8) & 0xFF);
    counted += text;
    return bytes.find(counted) != std::string::npos;
  }
  // True when the link's bytes contain `text` at all (the target's local base path).
  static bool LinkMentions(const std::filesystem::path& link, const std::string& text) {
    return Content(link).find(text) != std::string::npos;
  }

 private:
  std::filesystem::path root_;
  std::unique_ptr<platform::EmulatedMachine> machine_;
};

}  // namespace vellomar::testing
