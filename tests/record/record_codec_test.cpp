// The substitution table, the password check and the record writers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/fake_files.h"
#include "record/password_record.h"

namespace vellomar {
namespace {

using testing::FakeFiles;

const std::string kStart = kStartMarker;
const std::string kEnd = kEndMarker;

// Records already written depend on every pair: any change here breaks them. (Both columns are
// the same 83 printable characters, so every byte round-trips; see the next test.)
TEST(SubstitutionTableTest, TableIsPinned) {
  EXPECT_STREQ(
      kPlainAlphabet,
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&'()*/:<>?@[\\]^{~");
  EXPECT_STREQ(
      kStoredAlphabet,
      "jLhJ\\PYu!t7mo(8xTB<]{DSzIVw?@[>)*06NUgsylnR:XZep2f3qc4K9&/Ok^QF5'EWA%dvir$1HCa~#GbM");
  EXPECT_EQ(EncodePassword("Secret42!"), "<>@:>Z&KF");
  EXPECT_EQ(EncodePassword("password"), "nwXX2l:[");
  EXPECT_EQ(EncodePassword("PASSWORD"), "xj<<S8BJ");
  EXPECT_EQ(EncodePassword("~{\\"), "Mb~");
}

TEST(SubstitutionTableTest, EveryByteRoundTripsAndOutsidersStayUnchanged) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(DecodePassword(EncodePassword(all)), all);
  EXPECT_EQ(EncodePassword(DecodePassword(all)), all);

  const std::string outsiders = std::string(" \"+,-.;=_`|}\t\x7f\x80\xff") + '\0';
  EXPECT_EQ(EncodePassword(outsiders), outsiders);
  EXPECT_EQ(DecodePassword(outsiders), outsiders);
  EXPECT_EQ(EncodePassword("a b.c,"), "w ?.@,");
}

TEST(PasswordCheckTest, LetterCaseIsIgnoredButNothingElse) {
  const std::string stored = EncodePassword("Open Sesame, 1.");
  EXPECT_TRUE(PasswordMatches(stored, "Open Sesame, 1."));
  EXPECT_TRUE(PasswordMatches(stored, "oPEN sESAME, 1."));
  EXPECT_FALSE(PasswordMatches(stored, "OpenSesame, 1."));
  EXPECT_FALSE(PasswordMatches(stored, "Open Sesame; 1."));
  EXPECT_FALSE(PasswordMatches(stored, "Open Sesame, 1"));
  // The stored text must be decoded, not compared as it is.
  EXPECT_FALSE(PasswordMatches(stored, stored));
  // Only ASCII letters fold: a byte above 127 must match exactly.
  EXPECT_FALSE(PasswordMatches(EncodePassword("\xe9"), "\xc9"));
}

TEST(PasswordCheckTest, EmptyFieldRefusesEveryNonBlankEntry) {
  for (const std::string typed : {"a", " ", "*kvd%3u~", "H4%tZM}qEyR=B"}) {
    EXPECT_FALSE(PasswordMatches("", typed)) << typed;
  }
}

TEST(PasswordCheckTest, PlaceholderIsRecognisedOnlyExactly) {
  EXPECT_TRUE(IsNoPasswordPlaceholder("H4%tZM}qEyR=B"));
  for (const std::string& field : std::vector<std::string>{
           "h4%tZM}qEyR=B", "H4%TZM}QEYR=B", "H4%tZM}qEyR=B ", " H4%tZM}qEyR=B", "H4%tZM}qEyR=", "",
           EncodePassword("H4%tZM}qEyR=B")}) {
    EXPECT_FALSE(IsNoPasswordPlaceholder(field)) << field;
  }
}

TEST(RecordWriteTest, WriterReplacesTheFileWithOneLine) {
  FakeFiles files;
  files.Put("supermp.dat", kStart + "H4%tZM}qEyR=B" + kEnd + "\r\nold second line\r\n");
  WritePasswordRecord(files, "abc", "");
  EXPECT_EQ(files.Content("supermp.dat"), kStart + "abc" + kEnd + "\r\n");
  EXPECT_EQ(files.calls.front(), "Close") << "file number 1 is closed before use";
  EXPECT_FALSE(files.AnyOpen());

  WritePasswordRecord(files, "abc", "1010");
  EXPECT_EQ(files.Content("supermp.dat"), kStart + "abc" + kEnd + "1010\r\n");

  // The wizard's finish appends digits to the line it read back, whatever that line holds.
  WriteRecordLine(files, ReadPasswordRecord(files, "") + "1100");
  EXPECT_EQ(files.Content("supermp.dat"), kStart + "abc" + kEnd + "10101100\r\n");
  EXPECT_EQ(ParsePasswordRecord(ReadPasswordRecord(files, "")).digits, "1010");
}

TEST(RecordWriteTest, WrittenPasswordReadsBackAndMatches) {
  FakeFiles files;
  const std::string password = "Tr1cky ~{\\\"pass";
  WritePasswordRecord(files, EncodePassword(password), "0100");
  PasswordRecord r = ParsePasswordRecord(ReadPasswordRecord(files, ""));
  EXPECT_EQ(r.encoded, EncodePassword(password));
  EXPECT_EQ(r.digits, "0100");
  EXPECT_TRUE(PasswordMatches(r.encoded, UpperCase(password)));
  EXPECT_FALSE(IsNoPasswordPlaceholder(r.encoded));
}

TEST(RecordWriteTest, UnwritableFileIsARuntimeError) {
  FakeFiles files;
  files.folders.insert("SUPERMP.DAT");
  try {
    WritePasswordRecord(files, "abc", "");
    ADD_FAILURE() << "wrote over a folder";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.code(), errc::kPathFileAccessError);
  }
}

TEST(RecordArgumentTest, ArgumentCarriesTheRecordWithoutDigits) {
  EXPECT_EQ(BuildRecordArgument("abc"), "/SU:*kvd%3u~abcrfp9e>4w");
  FakeFiles files;
  const std::string command = "/locknow /nosmile " + BuildRecordArgument("x Y");
  EXPECT_EQ(ParsePasswordRecord(ReadPasswordRecord(files, command)).encoded, "x Y");
  EXPECT_TRUE(files.calls.empty());
}

TEST(UpperCaseTest, OnlyAsciiLettersChange) {
  EXPECT_EQ(UpperCase("azAZ09 /su:~\xe9\xff"), "AZAZ09 /SU:~\xe9\xff");
}

}  // namespace
}  // namespace vellomar
