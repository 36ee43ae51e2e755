#pragma once
// The password record: one line holding start marker + encoded password + end marker + up to
// four option digits, kept as the first line of supermp.dat and, without the digits, carried on
// start-up command lines after "/SU:". Every form reads and writes it through these functions.

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/errors.h"
#include "platform/filesystem.h"

namespace vellomar {

inline constexpr char kStartMarker[] = "*kvd%3u~";
inline constexpr char kEndMarker[] = "rfp9e>4w";
inline constexpr char kNoPasswordPlaceholder[] = "H4%tZM}qEyR=B";
inline constexpr char kPasswordFile[] = "supermp.dat";
inline constexpr int kPasswordFileNumber = 1;
inline constexpr int kMaxPasswordLength = 35;
// A record is markers, password and digits: some sixty bytes. A first line of supermp.dat longer
// than this is a damaged record, and reading stops there.
inline constexpr std::size_t kMaxRecordLine = 1024;

inline constexpr char kMsgRecordCorrupted[] =
    "Password file has been corrupted.  You must reinstall.";
inline constexpr char kMsgRecordMissing[] =
    "Password file is either missing or corrupted.  Make sure that you have not altered the "
    "working directory.  You may need to reinstall.";

// The line lacks the start marker or the end marker.
class RecordCorrupted : public std::runtime_error {
 public:
  RecordCorrupted() : std::runtime_error(kMsgRecordCorrupted) {}
};
// A run-time error while reading or taking the record apart (missing or empty file, end marker
// before or overlapping the start marker). The file and path errors reach callers as
// RuntimeError; this one covers the negative password length.
class RecordUnreadable : public RuntimeError {
 public:
  explicit RecordUnreadable(const std::string& why)
      : RuntimeError(errc::kInvalidProcedureCall, why) {}
};

struct PasswordRecord {
  int start = 0;        // 1-based position of the start marker
  int end = 0;          // 1-based position of the end marker
  std::string encoded;  // the encoded password field, as stored
  std::string digits;   // up to four characters after the end marker
};

// The substitution table's alphabet (83 characters) and its stored column, position by position.
extern const char kPlainAlphabet[];
extern const char kStoredAlphabet[];

// The record line: from `command_line` after "/SU:" (case-insensitive search, text as received)
// when present, otherwise the first line of supermp.dat through file number 1, closed first and
// after. Throws RuntimeError (missing, empty or unreadable file, one that is not a plain file, a
// first line longer than kMaxRecordLine). Never writes.
std::string ReadPasswordRecord(platform::FileSystem& files, const std::string& command_line);
// The line taken apart. Throws RecordCorrupted when a marker is missing, RecordUnreadable when
// the end marker stands before or overlaps the start marker.
PasswordRecord ParsePasswordRecord(const std::string& line);
bool IsNoPasswordPlaceholder(const std::string& encoded);
// A password whose stored form would break the record (it holds the end marker, or it is the
// no-password placeholder) is refused before anything is written, by the wizard and by Setup.
inline constexpr char kMsgPasswordUnusable[] =
    "This password cannot be used.  Please choose a different password.";
bool PasswordUsable(const std::string& encoded);
std::string EncodePassword(const std::string& plain);
std::string DecodePassword(const std::string& stored);
// True when DecodePassword(stored) and `typed` are equal after upper-casing letters.
bool PasswordMatches(const std::string& stored, const std::string& typed);
// Replaces supermp.dat with `line` and CR LF, through file number 1 (closed first and after).
// Throws RuntimeError when the file cannot be written.
void WriteRecordLine(platform::FileSystem& files, const std::string& line);
// Replaces supermp.dat with start marker + encoded + end marker + digits and CR LF.
void WritePasswordRecord(platform::FileSystem& files, const std::string& encoded,
                         const std::string& digits);
// "/SU:" + start marker + encoded + end marker.
std::string BuildRecordArgument(const std::string& encoded);

// Upper-cases ASCII letters only, as every comparison of switches and passwords does.
std::string UpperCase(const std::string& text);

}  // namespace vellomar
