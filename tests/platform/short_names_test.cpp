// GetWindowsDirectoryA and GetShortPathNameA: the Win32 buffer contract and 8.3 aliases that open
// what they stand for. How an alias is made differs: Windows 9x and the emulation number them in
// the folder (PROGRA~1), Windows NT and Wine may hash long names (PROG~FBU); both are 8.3 names
// that the file services accept in place of the long one, and that is what these cases hold.

#include <cstring>

#include "platform/dos_names.h"
#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

class ShortNamesTest : public PlatformTest {
 protected:
  std::string Short(const std::string& path) { return ShortPath(files(), path); }
};

TEST_F(ShortNamesTest, WindowsDirectoryBufferContract) {
  const std::string windows = Dos("WINDOWS");
  const auto length = static_cast<std::uint32_t>(windows.size());
  std::string buffer(length + 1, '?');
  EXPECT_EQ(length, files().GetWindowsDirectoryA(buffer.data(), length + 1));
  EXPECT_STREQ(windows.c_str(), buffer.c_str());
  std::string small(length, '?');
  EXPECT_EQ(length + 1, files().GetWindowsDirectoryA(small.data(), length))
      << "size needed, NUL included";
  EXPECT_EQ('?', small[0]) << "a buffer too small is not written";
}

TEST_F(ShortNamesTest, ShortPathBufferContract) {
  fs::create_directories(Host("Program Files/Vellomar"));
  const std::string path = Dos("Program Files\\Vellomar");
  const std::uint32_t needed = files().GetShortPathNameA(path.c_str(), nullptr, 0);
  ASSERT_GT(needed, 1u) << "the size needed, NUL included";
  std::string small(needed - 1, '?');
  EXPECT_EQ(needed, files().GetShortPathNameA(path.c_str(), small.data(), needed - 1));
  EXPECT_EQ('?', small[0]) << "a buffer too small is not written";
  std::string buffer(needed, '?');
  EXPECT_EQ(needed - 1, files().GetShortPathNameA(path.c_str(), buffer.data(), needed));
  char none[250];
  EXPECT_EQ(0u, files().GetShortPathNameA(Dos("Program Files\\Nothing").c_str(), none, 250))
      << "a missing path";
}

TEST_F(ShortNamesTest, AliasesAre83NamesThatOpenTheirFiles) {
  fs::create_directories(Host("Program Files/Vellomar"));
  fs::create_directories(Host("Program Data"));
  Put("Program Files/Vellomar/supermp.dat", "record\r\n");
  Put("My Document.html", "");
  const std::string root_alias = Short(Dos(""));
  ASSERT_FALSE(root_alias.empty());
  const struct {
    const char *relative, *last;  // the last component's alias when it is fixed
  } cases[] = {
      {"Program Files\\Vellomar", "VELLOMAR"},
      {"Program Files\\Vellomar\\supermp.dat", "SUPERMP.DAT"},
      {"Program Data", nullptr},
      {"My Document.html", nullptr},
  };
  for (const auto& c : cases) {
    const std::string alias = Short(Dos(c.relative));
    ASSERT_EQ(0u, alias.find(root_alias)) << c.relative << ": " << alias;
    std::string rest = alias.substr(root_alias.size());
    std::size_t start = rest.empty() || rest[0] != '\\' ? 0 : 1;
    std::string last;
    while (start <= rest.size()) {
      std::size_t end = rest.find('\\', start);
      if (end == std::string::npos) end = rest.size();
      last = rest.substr(start, end - start);
      EXPECT_TRUE(platform::IsShortName(last)) << c.relative << ": " << alias;
      start = end + 1;
    }
    if (c.last) {
      EXPECT_EQ(c.last, platform::UpperAscii(last)) << "an 8.3 name is its own alias";
    }
  }
  EXPECT_NE(Short(Dos("Program Files")), Short(Dos("Program Data"))) << "aliases differ";

  const std::string record = Short(Dos("Program Files\\Vellomar\\supermp.dat"));
  files().Open(1, record, platform::OpenMode::Input);
  EXPECT_EQ("record", files().LineInput(1)) << "the alias opens the file";
  files().Close(1);
  files().ChDir(Short(Dos("Program Files\\Vellomar")));
  files().Open(1, "SUPERMP.DAT", platform::OpenMode::Input);
  EXPECT_EQ("record", files().LineInput(1)) << "the folder's alias is a working directory";
  files().Close(1);
}

}  // namespace
}  // namespace vellomar::testing
