// Kill with wildcards, MkDir, RmDir and FileCopy.

#include "platform/dos_names.h"
#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

class FileOpsTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    Put("WINDOWS/Start Menu/Programs/Vellomar/Vellomar - Immediate Lock.lnk", "L");
    Put("WINDOWS/Start Menu/Programs/Vellomar/Vellomar Setup.lnk", "S");
    Put("WINDOWS/Start Menu/Programs/Vellomar/README", "R");
  }
  std::string Folder() const { return Dos("WINDOWS\\Start Menu\\Programs\\Vellomar"); }
  const std::string kHostFolder = "WINDOWS/Start Menu/Programs/Vellomar";
};

TEST_F(FileOpsTest, KillDeletesMatchingFilesButNotFolders) {
  fs::create_directories(Host(kHostFolder + "/Sub"));
  files().Kill(Dos("windows\\start menu\\programs\\vellomar\\*.LNK"));
  EXPECT_EQ((std::vector<std::string>{"README", "Sub"}), Entries(kHostFolder))
      << "patterns and paths ignore letter case";
  files().Kill(Folder() + "\\*.*");
  EXPECT_EQ(std::vector<std::string>{"Sub"}, Entries(kHostFolder))
      << "*.* matches names without a dot too";
  Put("WINDOWS/Desktop/Vellomar.lnk", "");
  files().Kill(Dos("WINDOWS\\desktop\\Vellomar.lnk"));
  EXPECT_TRUE(Entries("WINDOWS/Desktop").empty()) << "one file by name";
}

TEST_F(FileOpsTest, KillWithoutAMatchIsFileNotFound) {
  fs::create_directories(Host("empty"));
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().Kill(Dos("empty\\*.*")); }))
      << "an empty folder has nothing to delete";
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().Kill(Dos("nothing.lnk")); }));
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().Kill(Dos("WINDOWS")); }))
      << "Kill does not delete folders";
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().Kill(Dos("NOWHERE\\*.*")); }));
}

TEST_F(FileOpsTest, KillRefusesReadOnlyFiles) {
  files().SetAttr(Folder() + "\\README", attr::kReadOnly);
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().Kill(Folder() + "\\README"); }));
  EXPECT_TRUE(fs::exists(Host(kHostFolder + "/README")));
}

TEST(DosPatternTest, FollowsDosRules) {
  const struct {
    const char *name, *pattern;
    bool matches;
  } cases[] = {
      {"README", "*.*", true},          {"README", "readme.*", true},  // .* matches no extension
      {"readme.txt", "README.*", true}, {"README", "*.", true},        // trailing dot: no extension
      {"readme.txt", "*.", false},      {"a1.qvr", "??.QVR", true},
      {"a12.qvr", "??.QVR", false},     {"Vellomar - Immediate Lock.lnk", "*.lnk", true},
      {"x.lnk2", "*.lnk", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.matches, platform::MatchesDosPattern(c.name, c.pattern))
        << c.name << " " << c.pattern;
  }
}

TEST_F(FileOpsTest, MkDirAndRmDir) {
  files().MkDir(Dos("WINDOWS\\Start Menu\\Programs\\NEW"));
  EXPECT_TRUE(fs::is_directory(Host("WINDOWS/Start Menu/Programs/NEW")));
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().MkDir(Dos("windows\\start menu\\programs\\new")); }))
      << "the folder exists";
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().MkDir(Folder() + "\\README"); }))
      << "a file of that name exists";
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().MkDir(Dos("A\\B")); }))
      << "the parent is missing";
  files().RmDir(Dos("WINDOWS\\Start Menu\\Programs\\new"));
  EXPECT_FALSE(fs::exists(Host("WINDOWS/Start Menu/Programs/NEW")));
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().RmDir(Dos("A")); }));
  EXPECT_EQ(errc::kPathFileAccessError, RunTimeErrorOf([&] { files().RmDir(Folder()); }))
      << "the folder is not empty";
}

TEST_F(FileOpsTest, FileCopyOverwritesItsTargetWithTheSourceAttributes) {
  Put("MSDOS.SYS", "[Options]\r\n");
  Put("MSDOS.QVR", "older backup\r\n");
  files().SetAttr(Dos("MSDOS.SYS"), attr::kHidden | attr::kSystem);
  files().FileCopy(Dos("msdos.sys"), Dos("MSDOS.QVR"));
  EXPECT_EQ("[Options]\r\n", Get("MSDOS.QVR"));
  EXPECT_EQ("[Options]\r\n", Get("MSDOS.SYS"));
  EXPECT_EQ(attr::kHidden | attr::kSystem, WithoutArchive(files().GetAttr(Dos("MSDOS.QVR"))));
}

TEST_F(FileOpsTest, FileCopyFailures) {
  Put("a.txt", "a");
  Put("ro.txt", "r");
  files().SetAttr("ro.txt", attr::kReadOnly);
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().FileCopy("missing", "b.txt"); }));
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().FileCopy("a.txt", Dos("X\\b")); }));
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().FileCopy("a.txt", "ro.txt"); }))
      << "a read-only target";
  EXPECT_EQ("r", Get("ro.txt"));
}

}  // namespace
}  // namespace vellomar::testing
