// bench_record DRIVE_C PROGRAM_DIR PASSWORD
// Writes a real password record (the encoded PASSWORD, whole-screen lock and smiley digits) into
// supermp.dat in PROGRAM_DIR, a host folder under the emulated drive C:, the way the wizard
// leaves it, so the benchmark can start `kestrom.exe /locknowfull` from its program folder.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "platform/emulated.h"
#include "record/password_record.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_record DRIVE_C PROGRAM_DIR PASSWORD\n");
    return 2;
  }
  try {
    vellomar::platform::EmulatedMachine machine(argv[1], argv[2]);
    vellomar::WritePasswordRecord(machine.files(), vellomar::EncodePassword(argv[3]), "0100");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_record: %s\n", error.what());
    return 1;
  }
  return 0;
}
