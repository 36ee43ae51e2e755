#pragma once
// Shared by the fuzz targets: a scratch drive C: made once per fuzzing process (removed at its
// end), and the check that turns a broken property into a crash libFuzzer reports.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace vellomar::fuzz {

// Aborts with `what` when `holds` is false: a property of the code under test was broken.
inline void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline std::string Text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// C:\WINDOWS, C:\Program Files\Vellomar with supermp.dat (password "Secret1", digits 1100), and
// a few long and short names to resolve and shorten.
class ScratchDrive {
 public:
  ScratchDrive() {
    char pattern[] = "/tmp/vellomar-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root_ = pattern;
    for (const char* folder :
         {"WINDOWS/Start Menu/Programs", "WINDOWS/Desktop", "Program Files/Vellomar",
          "Program Files/Vellomar Extras", "My Documents", "a.b.c d"}) {
      std::filesystem::create_directories(drive_c() / folder);
    }
    for (const char* file : {"AUTOEXEC.BAT", "My Documents/long file name.text",
                             "My Documents/long file name.txt", "My Documents/README"}) {
      std::ofstream(drive_c() / file) << "x\r\n";
    }
    WriteFile(program_dir() / "supermp.dat", "*kvd%3u~xT7(rfp9e>4w1100\r\n");
  }
  ~ScratchDrive() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::filesystem::path drive_c() const { return root_ / "drive_c"; }
  std::filesystem::path program_dir() const { return drive_c() / "Program Files" / "Vellomar"; }

  static void WriteFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace vellomar::fuzz
