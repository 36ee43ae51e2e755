// Files by number: Open, Line Input, Print, EOF and Close with the errors Windows gives.

#include <filesystem>

#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

using platform::OpenMode;

class FilesTest : public PlatformTest {
 protected:
  std::vector<std::string> ReadAllLines(const std::string& path) {
    std::vector<std::string> lines;
    files().Open(1, path, OpenMode::Input);
    while (!files().Eof(1)) lines.push_back(files().LineInput(1));
    files().Close(1);
    return lines;
  }
};

TEST_F(FilesTest, LinesEndOnlyAtCrLfLoneCrOrLoneLf) {
  const std::string bytes = std::string("a\0b", 3) + "\xe9\xff\t";
  const std::string big(10 * 1024 * 1024, 'x');
  const struct {
    const char* what;
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"CR LF is one line end; a last line needs none",
       "one\r\ntwo\rthree\nfour\r\n\r\nsix",
       {"one", "two", "three", "four", "", "six"}},
      {"NUL and bytes above 127 belong to the line", bytes + "\r\n", {bytes}},
      {"a 10 MB line is read whole", big + "\r\nnext\r\n", {big, "next"}},
      // CR LF split across the reader's buffers is still one line end.
      {"64 KB - 1", std::string(65535, 'y') + "\r\nz", {std::string(65535, 'y'), "z"}},
      {"64 KB", std::string(65536, 'y') + "\r\nz", {std::string(65536, 'y'), "z"}},
      {"128 KB - 1", std::string(131071, 'y') + "\r\nz", {std::string(131071, 'y'), "z"}},
  };
  for (const auto& c : cases) {
    Put("lines.txt", c.content);
    const std::vector<std::string> lines = ReadAllLines("lines.txt");
    EXPECT_TRUE(lines == c.lines) << c.what << ": got " << lines.size() << " line(s)";
  }
}

TEST_F(FilesTest, LineInputAtMostStopsAtItsLimit) {
  Put("a.txt", "short\r\n" + std::string(5000, 'x') + "\r\nafter\r\n");
  files().Open(1, "a.txt", OpenMode::Input);
  EXPECT_EQ(files().LineInputAtMost(1, 5), "short") << "a line of exactly the limit is read";
  EXPECT_EQ(files().LineInputAtMost(1, 4096), std::nullopt) << "a longer one is not";
  files().Close(1);
}

TEST_F(FilesTest, InputPastEndOfFile) {
  for (const std::string content : {"", "only\r\n"}) {
    Put("a.txt", content);
    files().Open(1, "a.txt", OpenMode::Input);
    if (!content.empty()) {
      EXPECT_EQ("only", files().LineInput(1));
    }
    EXPECT_TRUE(files().Eof(1)) << "an empty file is at its end at once";
    EXPECT_EQ(errc::kInputPastEndOfFile, RunTimeErrorOf([&] { files().LineInput(1); }));
    files().Close(1);
  }
}

TEST_F(FilesTest, OpenReportsWhatIsWrongWithThePath) {
  fs::create_directories(Host("WINDOWS/Desktop"));
  const struct {
    const char* what;
    std::string path;
    OpenMode mode;
    int code;
  } cases[] = {
      {"missing file", Dos("supermp.dat"), OpenMode::Input, errc::kFileNotFound},
      {"missing folder, input", Dos("NOWHERE\\a.txt"), OpenMode::Input, errc::kPathNotFound},
      {"missing folder, output", Dos("NOWHERE\\a.txt"), OpenMode::Output, errc::kPathNotFound},
      {"a folder opened as a file", Dos("WINDOWS\\Desktop"), OpenMode::Input,
       errc::kPathFileAccessError},
      {"a folder opened for output", Dos("WINDOWS"), OpenMode::Output, errc::kPathFileAccessError},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.code, RunTimeErrorOf([&] { files().Open(1, c.path, c.mode); })) << c.what;
  }
  EXPECT_TRUE(fs::is_directory(Host("WINDOWS"))) << "and left alone";
}

TEST_F(FilesTest, ReadOnlyFileCannotBeOpenedForOutput) {
  Put("MSDOS.SYS", "[Options]\r\n");
  files().SetAttr(Dos("MSDOS.SYS"), platform::attr::kReadOnly);
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().Open(1, Dos("MSDOS.SYS"), OpenMode::Output); }));
  EXPECT_EQ("[Options]\r\n", Get("MSDOS.SYS"));
  EXPECT_EQ(0, RunTimeErrorOf([&] {
              files().Open(1, Dos("MSDOS.SYS"), OpenMode::Input);
              files().Close(1);
            }))
      << "reading it is fine";
}

TEST_F(FilesTest, FileNumbersFollowTheRules) {
  Put("a.txt", "a\r\n");
  EXPECT_EQ(errc::kBadFileNameOrNumber,
            RunTimeErrorOf([&] { files().Open(0, "a.txt", OpenMode::Input); }));
  EXPECT_EQ(errc::kBadFileNameOrNumber,
            RunTimeErrorOf([&] { files().Open(512, "a.txt", OpenMode::Input); }));
  EXPECT_EQ(errc::kBadFileNameOrNumber, RunTimeErrorOf([&] { files().LineInput(1); }))
      << "reading a number that is not open";
  files().Open(1, "a.txt", OpenMode::Input);
  EXPECT_EQ(errc::kFileAlreadyOpen,
            RunTimeErrorOf([&] { files().Open(1, "a.txt", OpenMode::Input); }));
  EXPECT_EQ(errc::kBadFileMode, RunTimeErrorOf([&] { files().PrintLine(1, "x"); }))
      << "printing to an input file";
  EXPECT_EQ(errc::kFileAlreadyOpen,
            RunTimeErrorOf([&] { files().Open(2, "A.TXT", OpenMode::Output); }))
      << "writing a file that is open for reading";
  files().Close(1);
  EXPECT_EQ(0, RunTimeErrorOf([&] {
              files().Close(1);
              files().Close(7);
            }))
      << "closing a number that is not open is no error";
}

TEST_F(FilesTest, PrintLineEndsEachLineWithCrLf) {
  Put("AUTOEXEC.BAT", "@ECHO OFF\r\n");
  files().Open(1, Dos("AUTOEXEC.BAT"), OpenMode::Output);
  files().Close(1);
  EXPECT_EQ("", Get("AUTOEXEC.BAT")) << "nothing printed leaves an empty file";

  files().Open(1, "supermp.dat", OpenMode::Output);
  files().PrintLine(1, "first");
  files().PrintLine(1, "");
  files().PrintLine(1, std::string("n\0l", 3));
  files().Close(1);
  EXPECT_EQ(std::string("first\r\n\r\nn\0l\r\n", 14), Get("supermp.dat"));
}

TEST_F(FilesTest, OutputReplacesTheOldContentOnlyAtClose) {
  Put("supermp.dat", "old record\r\nsecond line\r\n");
  files().Open(1, "SUPERMP.DAT", OpenMode::Output);
  files().PrintLine(1, "new");
  EXPECT_EQ("old record\r\nsecond line\r\n", Get("supermp.dat"))
      << "the old content stays whole while the new one is written";
  files().Close(1);
  EXPECT_EQ("new\r\n", Get("supermp.dat"));
  EXPECT_EQ((std::vector<std::string>{"WINDOWS", "supermp.dat"}), Entries(""))
      << "no temporary file is left and the name keeps its spelling";
}

TEST_F(FilesTest, RewrittenFileKeepsItsAttributes) {
  Put("MSDOS.SYS", "[Options]\r\n");
  files().SetAttr(Dos("MSDOS.SYS"), platform::attr::kHidden | platform::attr::kSystem);
  files().Open(1, Dos("MSDOS.SYS"), OpenMode::Output);
  files().PrintLine(1, "BootKeys=0");
  files().Close(1);
  EXPECT_EQ("BootKeys=0\r\n", Get("MSDOS.SYS"));
  EXPECT_EQ(platform::attr::kHidden | platform::attr::kSystem,
            WithoutArchive(files().GetAttr(Dos("MSDOS.SYS"))));
  files().Open(1, "new.txt", OpenMode::Output);
  files().Close(1);
  EXPECT_EQ(platform::attr::kArchive, files().GetAttr("new.txt")) << "a new file is archive";
}

TEST_F(FilesTest, OutputFileNeverClosedLeavesTheOriginalUntouched) {
  Put("supermp.dat", "old\r\n");
  files().Open(1, "supermp.dat", OpenMode::Output);
  files().PrintLine(1, std::string(200000, 'n'));  // enough to reach the disk
  machine_->Drop();
  EXPECT_EQ("old\r\n", Get("supermp.dat"));
  EXPECT_EQ((std::vector<std::string>{"WINDOWS", "supermp.dat"}), Entries(""));
}

}  // namespace
}  // namespace vellomar::testing
