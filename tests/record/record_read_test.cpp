// Reading the password record from the command line or from supermp.dat, and taking it apart:
// every bad input ends in exactly one of the two corruption conditions, and no reader writes.

#include <gtest/gtest.h>

#include <string>

#include "record/fake_files.h"
#include "record/password_record.h"

namespace vellomar {
namespace {

using testing::FakeFiles;

const std::string kStart = kStartMarker;
const std::string kEnd = kEndMarker;

// What a reading form makes of its input: the record, or which of the two messages it shows.
struct Outcome {
  std::string message;  // empty when the record was read
  PasswordRecord record;
};

Outcome ReadAndParse(FakeFiles& files, const std::string& command_line = "") {
  Outcome out;
  try {
    out.record = ParsePasswordRecord(ReadPasswordRecord(files, command_line));
  } catch (const RecordCorrupted& e) {
    out.message = e.what();
  } catch (const RuntimeError& e) {
    out.message = kMsgRecordMissing;
  }
  return out;
}

class RecordReadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(files_.writes.empty()) << "a reader wrote: " << files_.writes.front();
    EXPECT_FALSE(files_.AnyOpen()) << "a reader left a file open";
  }
  FakeFiles files_;
};

TEST_F(RecordReadTest, CommandLineRecordIsTakenAsReceivedWithoutOpeningTheFile) {
  // No supermp.dat at all: the command line alone must do. The byte above 127 ahead of the
  // switch checks that positions in the upper-cased copy match the line as received.
  const std::string line = "/locknow \xe9 /su:" + kStart + "aBc" + kEnd;
  EXPECT_EQ(ReadPasswordRecord(files_, line), kStart + "aBc" + kEnd);
  EXPECT_TRUE(files_.calls.empty());

  EXPECT_EQ(ReadPasswordRecord(files_, "/Su:tail /SU:x"), "tail /SU:x") << "first /SU: counts";
  EXPECT_EQ(ReadPasswordRecord(files_, "/SU:"), "");
}

TEST_F(RecordReadTest, FileIsReadThroughNumberOneClosedFirstAndAfter) {
  files_.Put("SUPERMP.DAT", kStart + "xyz" + kEnd + "1100\r\n" + kStart + "other" + kEnd + "\r\n");
  EXPECT_EQ(ReadPasswordRecord(files_, "/locknow"), kStart + "xyz" + kEnd + "1100");
  const std::vector<std::string> expected = {"Close", "Open Input supermp.dat", "LineInput",
                                             "Close"};
  EXPECT_EQ(files_.calls, expected);
}

TEST_F(RecordReadTest, OnlyTheFirstLineCountsWhateverTheLineEnds) {
  for (const std::string eol : {"\r", "\n", "\r\n"}) {
    files_.Put("supermp.dat", kStart + "abc" + kEnd + "0100" + eol + "junk" + eol);
    Outcome out = ReadAndParse(files_);
    EXPECT_EQ(out.message, "") << "line end of " << eol.size() << " byte(s)";
    EXPECT_EQ(out.record.encoded, "abc");
    EXPECT_EQ(out.record.digits, "0100");
  }
  files_.Put("supermp.dat", "\r\n" + kStart + "abc" + kEnd + "\r\n");
  EXPECT_EQ(ReadAndParse(files_).message, kMsgRecordCorrupted) << "record on line two";
}

TEST_F(RecordReadTest, MissingEmptyOrDirectoryFileIsUnreadable) {
  EXPECT_EQ(ReadAndParse(files_).message, kMsgRecordMissing) << "no file";
  try {
    ReadPasswordRecord(files_, "");
    ADD_FAILURE() << "missing file read";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.code(), errc::kFileNotFound);
  }

  files_.Put("supermp.dat", "");
  EXPECT_EQ(ReadAndParse(files_).message, kMsgRecordMissing) << "empty file";

  files_.files.clear();
  files_.folders.insert("SUPERMP.DAT");
  EXPECT_EQ(ReadAndParse(files_).message, kMsgRecordMissing) << "folder named supermp.dat";
}

TEST_F(RecordReadTest, FileStillOpenFromAnEarlierFailureIsClosedFirst) {
  files_.Put("supermp.dat", kStart + "abc" + kEnd);
  files_.Open(kPasswordFileNumber, "supermp.dat", platform::OpenMode::Input);
  files_.calls.clear();
  EXPECT_EQ(ReadAndParse(files_).record.encoded, "abc");
}

TEST_F(RecordReadTest, BinaryAndHugeLinesAreHandledByTheMarkersAlone) {
  const std::string binary("\0\xff\x80", 3);
  files_.Put("supermp.dat", binary + kStart + "p" + binary + kEnd + "1" + binary);
  Outcome out = ReadAndParse(files_);
  EXPECT_EQ(out.record.start, 4);
  EXPECT_EQ(out.record.encoded, "p" + binary);
  EXPECT_EQ(out.record.digits, "1" + binary);

  // Up to the limit, only the markers count; a longer first line is a damaged record.
  const std::string filler(kMaxRecordLine / 2 - 20, 'x');
  files_.Put("supermp.dat", filler + kStart + "big" + kEnd + "0000" + filler + "\r\n");
  out = ReadAndParse(files_);
  EXPECT_EQ(out.record.encoded, "big");
  EXPECT_EQ(out.record.start, static_cast<int>(filler.size()) + 1);

  const std::string huge(10 * 1024 * 1024, 'x');
  files_.Put("supermp.dat", kStart + "big" + kEnd + "0000" + huge + "\r\n");
  EXPECT_EQ(ReadAndParse(files_).message, kMsgRecordMissing);
}

TEST(ParseRecordTest, FieldsAreCutByTheFirstMarkers) {
  PasswordRecord r =
      ParsePasswordRecord("ab" + kStart + "enc" + kEnd + "1010" + kStart + "x" + kEnd + "0000");
  EXPECT_EQ(r.start, 3);
  EXPECT_EQ(r.end, 14);
  EXPECT_EQ(r.encoded, "enc");
  EXPECT_EQ(r.digits, "1010");

  r = ParsePasswordRecord(kStart + kEnd);
  EXPECT_EQ(r.encoded, "");
  EXPECT_EQ(r.digits, "") << "a record without digits is valid";
  EXPECT_EQ(ParsePasswordRecord(kStart + "e" + kEnd + "10").digits, "10");
}

TEST(ParseRecordTest, MissingMarkerIsCorruptedAndReversedMarkersAreUnreadable) {
  for (const std::string& line : {std::string(), kStart + "abc", "abc" + kEnd, "*KVD%3U~abc" + kEnd,
                                  kStart + "abcRFP9E>4W"}) {
    EXPECT_THROW(ParsePasswordRecord(line), RecordCorrupted) << line;
  }
  // The first end marker counts even when a proper pair follows it.
  for (const std::string& line : {kEnd + kStart, kEnd + "abc" + kStart + "abc" + kEnd}) {
    try {
      ParsePasswordRecord(line);
      ADD_FAILURE() << "parsed " << line;
    } catch (const RecordCorrupted&) {
      ADD_FAILURE() << "reversed markers reported as a missing marker";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.code(), errc::kInvalidProcedureCall);
    }
  }
}

}  // namespace
}  // namespace vellomar
