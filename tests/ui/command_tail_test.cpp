// The Windows program's command line: what follows the program's name.

#include "ui/win32/command_tail.h"

#include <gtest/gtest.h>

namespace vellomar::ui::win32 {
namespace {

TEST(CommandTailTest, SkipsTheProgramNameQuotedOrNot) {
  EXPECT_EQ(CommandTail("kestrom.exe /locknow"), "/locknow");
  EXPECT_EQ(CommandTail("\"C:\\Program Files\\Vellomar\\kestrom.exe\" /locknowfull /nosmile"),
            "/locknowfull /nosmile");
  EXPECT_EQ(CommandTail("\"C:\\Program Files\\Vellomar\\kestrom.exe\"/setup"), "/setup");
  EXPECT_EQ(CommandTail("C:\\PROGRA~1\\VELLOMAR\\KESTROM.EXE\t /su:x"), "/su:x");
}

TEST(CommandTailTest, KeepsTheRestVerbatim) {
  // A record on the command line may hold spaces and quotes-free punctuation of any kind.
  EXPECT_EQ(CommandTail("kestrom.exe /locknow /SU:*kvd%3u~a  b\"c rfp9e>4w  "),
            "/locknow /SU:*kvd%3u~a  b\"c rfp9e>4w  ");
  EXPECT_EQ(CommandTail("kestrom.exe"), "");
  EXPECT_EQ(CommandTail("kestrom.exe   "), "");
  EXPECT_EQ(CommandTail("\"unterminated name /locknow"), "");
  EXPECT_EQ(CommandTail(""), "");
}

}  // namespace
}  // namespace vellomar::ui::win32
