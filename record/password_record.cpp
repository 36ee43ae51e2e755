#include "record/password_record.h"

#include <string_view>

namespace vellomar {

// The substitution table, pair by pair: kPlainAlphabet[i] is stored as kStoredAlphabet[i]. Records
// on disk and in the registry depend on it, so it must never change.
const char kPlainAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&'()*/:<>?@[\\]^{~";
const char kStoredAlphabet[] =
    "jLhJ\\PYu!t7mo(8xTB<]{DSzIVw?@[>)*06NUgsylnR:XZep2f3qc4K9&/Ok^QF5'EWA%dvir$1HCa~#GbM";

namespace {

constexpr std::string_view kSuSwitch = "/SU:";
constexpr std::size_t kMarkerLength = sizeof(kStartMarker) - 1;
constexpr std::size_t kDigitCount = 4;

// Replaces each character found in `from` by the one at the same position in `to`; characters
// outside the table stay as they are, so the length never changes.
std::string Substitute(const std::string& text, std::string_view from, std::string_view to) {
  std::string out = text;
  for (char& c : out) {
    const std::size_t at = from.find(c);
    if (at != std::string_view::npos) c = to[at];
  }
  return out;
}

}  // namespace

std::string UpperCase(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string ReadPasswordRecord(platform::FileSystem& files, const std::string& command_line) {
  // Upper-casing keeps the length, so a position in the copy is the same in the original.
  const std::size_t supos = UpperCase(command_line).find(kSuSwitch);
  if (supos != std::string::npos) return command_line.substr(supos + kSuSwitch.size());

  files.Close(kPasswordFileNumber);
  try {
    files.Open(kPasswordFileNumber, kPasswordFile, platform::OpenMode::Input);
    std::optional<std::string> line = files.LineInputAtMost(kPasswordFileNumber, kMaxRecordLine);
    files.Close(kPasswordFileNumber);
    if (!line) throw RecordUnreadable("the first line of supermp.dat is too long for a record");
    return *line;
  } catch (...) {
    // Leave file number 1 free for whoever handles the error; then let the error through.
    files.Close(kPasswordFileNumber);
    throw;
  }
}

PasswordRecord ParsePasswordRecord(const std::string& line) {
  const std::size_t end = line.find(kEndMarker);
  const std::size_t start = line.find(kStartMarker);
  if (end == std::string::npos || start == std::string::npos) throw RecordCorrupted();
  if (end < start + kMarkerLength) {
    throw RecordUnreadable("the end marker stands before or inside the start marker");
  }
  PasswordRecord record;
  record.start = static_cast<int>(start) + 1;
  record.end = static_cast<int>(end) + 1;
  record.encoded = line.substr(start + kMarkerLength, end - start - kMarkerLength);
  record.digits = line.substr(end + kMarkerLength, kDigitCount);
  return record;
}

bool PasswordUsable(const std::string& encoded) {
  return encoded.find(kEndMarker) == std::string::npos && !IsNoPasswordPlaceholder(encoded);
}

bool IsNoPasswordPlaceholder(const std::string& encoded) {
  return encoded == kNoPasswordPlaceholder;
}

std::string EncodePassword(const std::string& plain) {
  return Substitute(plain, kPlainAlphabet, kStoredAlphabet);
}

std::string DecodePassword(const std::string& stored) {
  return Substitute(stored, kStoredAlphabet, kPlainAlphabet);
}

bool PasswordMatches(const std::string& stored, const std::string& typed) {
  // Character by character, so that no decoded or upper-cased copy of either password is left
  // in memory, and over the whole length whatever differs, so the time says nothing of where.
  if (stored.size() != typed.size()) return false;
  const std::string_view from = kStoredAlphabet, to = kPlainAlphabet;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  unsigned char differs = 0;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const std::size_t at = from.find(stored[i]);
    const char plain = at == std::string_view::npos ? stored[i] : to[at];
    differs |= static_cast<unsigned char>(upper(plain) ^ upper(typed[i]));
  }
  return differs == 0;
}

void WriteRecordLine(platform::FileSystem& files, const std::string& line) {
  files.Close(kPasswordFileNumber);
  files.Open(kPasswordFileNumber, kPasswordFile, platform::OpenMode::Output);
  files.PrintLine(kPasswordFileNumber, line);
  files.Close(kPasswordFileNumber);
}

void WritePasswordRecord(platform::FileSystem& files, const std::string& encoded,
                         const std::string& digits) {
  WriteRecordLine(files, kStartMarker + encoded + kEndMarker + digits);
}

std::string BuildRecordArgument(const std::string& encoded) {
  return std::string(kSuSwitch) + kStartMarker + encoded + kEndMarker;
}

}  // namespace vellomar
