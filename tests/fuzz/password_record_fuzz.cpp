// The password record reader and parser, fed through their own interface: the first byte says
// whether the rest is the command line (read after "/SU:") or the content of supermp.dat.

#include <cstdint>
#include <string>

#include "platform/emulated.h"
#include "record/password_record.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vellomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::ScratchDrive drive;
  static platform::EmulatedMachine machine(drive.drive_c(), drive.program_dir());
  if (size == 0) return 0;
  const bool from_file = (data[0] & 1) != 0;
  const std::string text = fuzz::Text(data + 1, size - 1);
  if (from_file) fuzz::ScratchDrive::WriteFile(drive.program_dir() / kPasswordFile, text);

  std::string line;
  try {
    line = ReadPasswordRecord(machine.files(), from_file ? "" : text);
  } catch (const RuntimeError&) {
    return 0;  // missing, empty or unreadable: the caller's message
  }
  if (from_file) {
    fuzz::Require(line.find_first_of("\r\n") == std::string::npos, "one line only");
    fuzz::Require(line.size() <= kMaxRecordLine, "a bounded line");
  }

  PasswordRecord record;
  try {
    record = ParsePasswordRecord(line);
  } catch (const RecordCorrupted&) {
    return 0;
  } catch (const RecordUnreadable&) {
    return 0;
  }
  const std::size_t marker = sizeof(kStartMarker) - 1;
  fuzz::Require(record.start >= 1 && record.end >= record.start + static_cast<int>(marker),
                "markers in order");
  fuzz::Require(line.compare(record.start - 1, marker, kStartMarker) == 0, "start marker found");
  fuzz::Require(line.compare(record.end - 1, marker, kEndMarker) == 0, "end marker found");
  fuzz::Require(
      record.encoded.size() == static_cast<std::size_t>(record.end - record.start) - marker,
      "the field lies between the markers");
  fuzz::Require(record.digits.size() <= 4, "at most four digits");
  // The substitution is one-to-one: what is stored decodes back to the same stored text.
  fuzz::Require(EncodePassword(DecodePassword(record.encoded)) == record.encoded,
                "decoding and encoding round-trip");
  fuzz::Require(PasswordMatches(record.encoded, DecodePassword(record.encoded)),
                "the decoded password matches its record");
  return 0;
}
