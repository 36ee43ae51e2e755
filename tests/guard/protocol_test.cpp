// The lines between kestrom.exe and its guard: what one writes the other reads back, and nothing
// malformed is taken for a cover.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "guard/protocol.h"

namespace vellomar::guard {
namespace {

TEST(GuardProtocol, CoverRoundTripsAndMalformedLinesAreRefused) {
  Cover cover{0x1a2, 0xc0c0c0, {{0x400001, 0, 0, 1024, 738}, {0x400020, 362, 300, 300, 120}}};
  EXPECT_EQ(ParseCover(FormatCover(cover)), cover);
  const Cover nothing{0x1a2, 0, {}};
  EXPECT_EQ(ParseCover(FormatCover(nothing)), nothing) << "the prompt covers nothing";

  std::string too_many = "cover 1 2 17";
  for (int i = 0; i < 17; ++i) too_many += " 5 0 0 10 10";
  for (const std::string& bad :
       std::vector<std::string>{"", "cover", "cover 1 2", "cover 1 2 1", "cover 1 2 1 5 0 0 10",
                                "cover 1 2 2 5 0 0 10 10",    // fewer windows than said
                                "cover 1 2 1 5 0 0 10 10 6",  // more than said
                                "cover 1 2 1 5 0 0 0 10",     // no width
                                "cover 1 2 1 5 0 0 10 -3",    // negative height
                                too_many,                     // more windows than a lock ever has
                                "state prompt 3", "take"}) {
    EXPECT_FALSE(ParseCover(bad).has_value()) << bad;
  }
}

// The command line and the record read at load may hold any characters, a line break included:
// they arrive exactly as sent, the longest record the reader takes too, and neither is taken for
// the other or for anything else.
TEST(GuardProtocol, CommandLineAndRecordRoundTripAnyBytesAndMalformedLinesAreRefused) {
  struct Kind {
    std::string (*format)(const std::string&);
    std::optional<std::string> (*parse)(const std::string&);
  };
  const std::string longest_record(1024, '\xfe');
  for (const std::string& text :
       {std::string(""), std::string("/locknow /SU:*kvd%3u~a b\\c\"rfp9e>4w"),
        std::string("/SU:x\ny\r\xff\x01", 11), longest_record}) {
    for (const Kind kind : {Kind{FormatCommand, ParseCommand}, Kind{FormatRecord, ParseRecord}}) {
      const std::string line = kind.format(text);
      EXPECT_EQ(line.find('\n'), std::string::npos) << "one line";
      EXPECT_EQ(kind.parse(line), text);
      LineReader reader;
      reader.Add((line + '\n').data(), line.size() + 1);
      EXPECT_EQ(reader.Next(), line) << "a line the reader keeps";
    }
  }
  EXPECT_FALSE(ParseRecord(FormatCommand("/locknow")).has_value());
  EXPECT_FALSE(ParseCommand(FormatRecord("/locknow")).has_value());
  for (const std::string& bad : std::vector<std::string>{
           "command", "command 4", "command 4g", "command 4A", "commands 41", "record", "record 4",
           "records 41", "record 4G", "state prompt 3"}) {
    EXPECT_FALSE(ParseCommand(bad).has_value()) << bad;
    EXPECT_FALSE(ParseRecord(bad).has_value()) << bad;
  }
}

TEST(GuardProtocol, AreasAndKeysRoundTripAndMalformedLinesAreRefused) {
  const Area area{0, 0, 1024, 738, 0xc0c0c0};
  EXPECT_EQ(ParseArea(FormatArea(area)).value(), area);
  EXPECT_EQ(ParseArea(FormatArea(std::nullopt)).value(), std::nullopt) << "no lock window";
  const Key key{true, 38, 0x2001, 4294967295UL};
  EXPECT_EQ(ParseKey(FormatKey(key)), key);
  for (const std::string& bad : std::vector<std::string>{
           "area", "area 0 0 10", "area 0 0 0 10 1", "area 0 0 10 10 -1", "area 0 0 10 10 1 2",
           "key 2 38 0 1", "key 1 -38 0 1", "key 1 38 0", "keys 1 38 0 1", "key 1 38 0 1 x"}) {
    EXPECT_FALSE(ParseArea(bad).has_value() || ParseKey(bad).has_value()) << bad;
  }
}

TEST(GuardProtocol, LinesArriveWholeWhateverTheChunksAndOverlongOnesAreDropped) {
  LineReader reader;
  reader.Add("sta", 3);
  EXPECT_FALSE(reader.Next().has_value());
  const std::string rest = "te lockout\ntake\nrel";
  reader.Add(rest.data(), rest.size());
  EXPECT_EQ(reader.Next(), "state lockout");
  EXPECT_EQ(reader.Next(), "take");
  EXPECT_FALSE(reader.Next().has_value());

  // A peer writing without end cannot grow the buffer: the long line goes, the next one counts.
  const std::string flood(100000, 'x');
  reader.Add(flood.data(), flood.size());
  reader.Add("\nrelease\n", 9);
  EXPECT_EQ(reader.Next(), "release") << "the line cut short by the flood is dropped whole";
  EXPECT_FALSE(reader.Next().has_value());
}

}  // namespace
}  // namespace vellomar::guard
