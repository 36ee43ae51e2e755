// 8.3 aliases made the Windows 9x way (BASE~N, numbered in the folder), which only the emulated
// machine promises: Windows NT and Wine may hash the name instead (platform's conformance cases
// accept either).

#include <cstring>

#include "emulated_fixture.h"

namespace vellomar::testing {
namespace {

class AliasesTest : public EmulatedPlatformTest {
 protected:
  std::string Short(const std::string& path) { return ShortPath(files(), path); }
};

TEST_F(AliasesTest, AliasesAreMadeTheWindows9xWay) {
  fs::create_directories(Host("Program Files/Vellomar"));
  fs::create_directories(Host("Program Data"));
  fs::create_directories(Host("PROGRA~1"));
  for (const char* name : {"WINDOWS/readme.txt", "My Document.html", "a+b=c.txt", ".profile"}) {
    Put(name, "");
  }
  for (int i = 1; i <= 10; ++i) Put("Longname " + std::to_string(i) + ".txt", "");
  const struct {
    const char *path, *alias, *why;
  } cases[] = {
      {"C:\\Program Files\\Vellomar", "C:\\PROGRA~3\\VELLOMAR", "numbered after the others"},
      {"c:\\program files\\vellomar", "c:\\PROGRA~3\\VELLOMAR", "the drive is kept as written"},
      {"C:\\PROGRA~1", "C:\\PROGRA~1", "an 8.3 name is its own alias"},
      {"C:\\Program Data", "C:\\PROGRA~2", "~1 is taken; byte order decides"},
      {"C:\\Program Files", "C:\\PROGRA~3", "the same again on a second call"},
      {"C:\\WINDOWS\\readme.txt", "C:\\WINDOWS\\README.TXT", "8.3 names are upper-cased"},
      {"C:\\My Document.html", "C:\\MYDOCU~1.HTM", "spaces dropped, extension cut"},
      {"C:\\a+b=c.txt", "C:\\ABC~1.TXT", "invalid characters dropped"},
      {"C:\\.profile", "C:\\PROFIL~1", "leading dots are dropped"},
      {"C:\\Longname 1.txt", "C:\\LONGNA~1.TXT", ""},
      {"C:\\Longname 9.txt", "C:\\LONGN~10.TXT", "tails past nine shorten the base"},
      {"Program Files\\Vellomar", "PROGRA~3\\VELLOMAR", "relative paths stay relative"},
      {"C:\\", "C:\\", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.alias, Short(c.path)) << c.path << ": " << c.why;
}

TEST_F(AliasesTest, AFolderOpensByItsAliasAsByItsLongName) {
  fs::create_directories(Host("Program Files/Vellomar"));
  fs::create_directories(Host("Program Data"));
  const struct {
    const char *path, *found;
  } cases[] = {
      {"C:\\PROGRA~2\\VELLOMAR", "C:\\Program Files\\Vellomar"},
      {"c:\\progra~2\\vellomar", "C:\\Program Files\\Vellomar"},
      {"C:\\PROGRA~1", "C:\\Program Data"},
  };
  for (const auto& c : cases) {
    machine_->files().ChDir(c.path);
    EXPECT_EQ(c.found, machine_->files().CurDir()) << c.path;
  }
  EXPECT_NE(0, RunTimeErrorOf([&] { machine_->files().ChDir("C:\\PROGRA~3"); }))
      << "an alias no entry has";
}

}  // namespace
}  // namespace vellomar::testing
