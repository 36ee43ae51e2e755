// set-password: writes the password record for a known password into supermp.dat in the current
// directory, through the same record code the program uses. Usage:
//   set-password DRIVE_C PASSWORD [DIGITS]
// The Windows build writes through the real machine; DRIVE_C is not used there.

#include <cstdio>
#include <filesystem>

#include "record/password_record.h"

#ifdef _WIN32
#include "platform/win32/win32_machine.h"
#else
#include "platform/emulated.h"
#endif

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: set-password DRIVE_C PASSWORD [DIGITS]\n");
    return 2;
  }
#ifdef _WIN32
  vellomar::platform::Win32Machine machine;
#else
  vellomar::platform::EmulatedMachine machine(argv[1], std::filesystem::current_path());
#endif
  vellomar::WritePasswordRecord(machine.files(), vellomar::EncodePassword(argv[2]),
                                argc > 3 ? argv[3] : "");
  return 0;
}
