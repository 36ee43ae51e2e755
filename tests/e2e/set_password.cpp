// set-password: writes the password record for a known password into supermp.dat in the current
// directory, through the same record code the program uses. Usage:
//   set-password DRIVE_C PASSWORD [DIGITS]

#include <cstdio>
#include <filesystem>

#include "platform/emulated.h"
#include "startup/password_record.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: set-password DRIVE_C PASSWORD [DIGITS]\n");
    return 2;
  }
  vellomar::platform::EmulatedMachine machine(argv[1], std::filesystem::current_path());
  vellomar::WritePasswordRecord(machine.files(), vellomar::EncodePassword(argv[2]),
                                argc > 3 ? argv[3] : "");
  return 0;
}
