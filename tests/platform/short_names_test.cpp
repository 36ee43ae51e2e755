// GetWindowsDirectoryA and GetShortPathNameA: the Win32 buffer contract and 8.3 aliases made the
// Windows 9x way.

#include <cstring>

#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

class ShortNamesTest : public PlatformTest {
 protected:
  // GetShortPathNameA into a 250-character buffer, as the system calls it; "" on failure.
  std::string Short(const std::string& path) {
    char buffer[250] = {};
    const std::uint32_t n = files().GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return "";
    EXPECT_EQ(std::strlen(buffer), n) << "the result is the length without the NUL";
    return buffer;
  }
};

TEST_F(ShortNamesTest, WindowsDirectoryFollowsTheBufferContract) {
  char buffer[260] = {};
  EXPECT_EQ(10u, files().GetWindowsDirectoryA(buffer, 260));
  EXPECT_STREQ("C:\\WINDOWS", buffer);
  char small[10] = {'?'};
  EXPECT_EQ(11u, files().GetWindowsDirectoryA(small, 10)) << "size needed, NUL included";
  EXPECT_EQ('?', small[0]) << "a buffer too small is not written";
  char exact[11] = {};
  EXPECT_EQ(10u, files().GetWindowsDirectoryA(exact, 11));
}

TEST_F(ShortNamesTest, LongNamesGetNumberedAliases) {
  fs::create_directories(Host("Program Files/Vellomar"));
  EXPECT_EQ("C:\\PROGRA~1\\VELLOMAR", Short("C:\\Program Files\\Vellomar"));
  EXPECT_EQ("c:\\PROGRA~1\\VELLOMAR", Short("c:\\program files\\vellomar"))
      << "the long names' letter case does not matter; the drive is kept as written";
}

TEST_F(ShortNamesTest, NamesAlready83AreUpperCased) {
  Put("WINDOWS/readme.txt", "");
  EXPECT_EQ("C:\\WINDOWS\\README.TXT", Short("C:\\WINDOWS\\readme.txt"));
}

TEST_F(ShortNamesTest, AliasesDropSpacesAndInvalidCharactersAndCutTheExtension) {
  Put("My Document.html", "");
  Put("a+b=c.txt", "");
  Put(".profile", "");
  EXPECT_EQ("C:\\MYDOCU~1.HTM", Short("C:\\My Document.html"));
  EXPECT_EQ("C:\\ABC~1.TXT", Short("C:\\a+b=c.txt"));
  EXPECT_EQ("C:\\PROFIL~1", Short("C:\\.profile")) << "leading dots are dropped";
}

TEST_F(ShortNamesTest, CollidingNamesAreNumberedInAStableOrder) {
  fs::create_directories(Host("Program Files"));
  fs::create_directories(Host("Program Data"));
  fs::create_directories(Host("PROGRA~1"));
  EXPECT_EQ("C:\\PROGRA~1", Short("C:\\PROGRA~1")) << "an 8.3 name is its own alias";
  EXPECT_EQ("C:\\PROGRA~2", Short("C:\\Program Data")) << "~1 is taken; byte order decides";
  EXPECT_EQ("C:\\PROGRA~3", Short("C:\\Program Files"));
  EXPECT_EQ("C:\\PROGRA~3", Short("C:\\Program Files")) << "the same again on a second call";
}

TEST_F(ShortNamesTest, TailsPastNineShortenTheBase) {
  for (int i = 1; i <= 10; ++i) Put("Longname " + std::to_string(i) + ".txt", "");
  EXPECT_EQ("C:\\LONGNA~1.TXT", Short("C:\\Longname 1.txt"));
  EXPECT_EQ("C:\\LONGN~10.TXT", Short("C:\\Longname 9.txt")) << "byte order: '1', '10', '2'...";
}

TEST_F(ShortNamesTest, RelativePathsStayRelative) {
  fs::create_directories(Host("Program Files/Vellomar"));
  EXPECT_EQ("PROGRA~1\\VELLOMAR", Short("Program Files\\Vellomar"));
  EXPECT_EQ("C:\\", Short("C:\\"));
}

TEST_F(ShortNamesTest, BufferContract) {
  fs::create_directories(Host("Program Files/Vellomar"));
  const std::string expected = "C:\\PROGRA~1\\VELLOMAR";  // 20 characters
  char small[20] = {};
  EXPECT_EQ(21u, files().GetShortPathNameA("C:\\Program Files\\Vellomar", small, 20))
      << "size needed, NUL included";
  char exact[21] = {};
  EXPECT_EQ(20u, files().GetShortPathNameA("C:\\Program Files\\Vellomar", exact, 21));
  EXPECT_EQ(expected, exact);
}

TEST_F(ShortNamesTest, MissingPathFails) {
  char buffer[250] = {};
  EXPECT_EQ(0u, files().GetShortPathNameA("C:\\Program Files\\Nothing", buffer, 250));
  EXPECT_EQ(0u, files().GetShortPathNameA("Q:\\", buffer, 250)) << "an unmapped drive";
}

}  // namespace
}  // namespace vellomar::testing
