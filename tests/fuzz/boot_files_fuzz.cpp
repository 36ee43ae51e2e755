// The boot-file line editor: AUTOEXEC.BAT and MSDOS.SYS as the input gives them (split at the
// first NUL byte), then each edit Setup's apply run makes. Whatever the files hold, an edit
// either fails with a run-time error or leaves what it promises: the lock line first after
// adding it, no lock line after removing it, a "BootKeys=0" line after disabling the keys.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/emulated.h"
#include "record/password_record.h"
#include "system/boot_files.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;

namespace {

constexpr char kWindows[] = "C:\\WINDOWS";

std::string FirstLine(platform::FileSystem& files, const std::string& path) {
  files.Open(1, path, platform::OpenMode::Input);
  std::string line = files.Eof(1) ? "" : files.LineInput(1);
  files.Close(1);
  return line;
}

// A line (ended by CR or LF) that holds `upper_text` in any letter case.
bool HoldsLineWith(const std::string& content, const std::string& upper_text) {
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = content.size();
    if (UpperCase(content.substr(start, end - start)).find(upper_text) != std::string::npos) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchDrive drive;
  static platform::EmulatedMachine machine(drive.drive_c(), drive.program_dir());
  platform::FileSystem& files = machine.files();
  const std::string text = fuzz::Text(data, size);
  const std::size_t split = text.find('\0');
  fuzz::ScratchDrive::WriteFile(drive.drive_c() / "AUTOEXEC.BAT", text.substr(0, split));
  fuzz::ScratchDrive::WriteFile(drive.drive_c() / "MSDOS.SYS",
                                split == std::string::npos ? "" : text.substr(split + 1));

  std::string sname;
  try {
    AddAutoexecLock(files, kWindows, sname);
    fuzz::Require(AutoexecHasLock(files, kWindows), "a lock line after adding it");
    fuzz::Require(FirstLine(files, "C:\\AUTOEXEC.BAT") == LockLine(sname), "the lock line first");
  } catch (const RuntimeError&) {
  }
  try {
    RemoveAutoexecLock(files, kWindows);
    fuzz::Require(!AutoexecHasLock(files, kWindows), "no lock line after removing it");
  } catch (const RuntimeError&) {
  }
  try {
    DisableBootKeys(files, kWindows);
    std::ifstream in(drive.drive_c() / "MSDOS.SYS", std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    fuzz::Require(HoldsLineWith(content, "BOOTKEYS=0"), "the keys disabled");
  } catch (const RuntimeError&) {
  }
  try {
    EnableBootKeys(files, kWindows);
  } catch (const RuntimeError&) {
  }
  files.Close(1);
  return 0;
}
