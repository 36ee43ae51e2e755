// Paths: the current directory as a DOS path, drive C: and Z:, case-insensitive components.

#include "emulated_fixture.h"

namespace vellomar::testing {
namespace {

using platform::EmulatedMachine;
using platform::OpenMode;

class PathsTest : public EmulatedPlatformTest {};

TEST_F(PathsTest, CurrentDirectoryIsADosPath) {
  EXPECT_EQ("C:\\", files().CurDir()) << "the root of a drive ends in a backslash";
  fs::create_directories(Host("Program Files/Vellomar"));
  EXPECT_EQ("C:\\Program Files\\Vellomar",
            EmulatedMachine(drive_c_, Host("Program Files/Vellomar")).files().CurDir());
  std::string outside = "Z:" + fs::weakly_canonical(root_).string();
  std::replace(outside.begin(), outside.end(), '/', '\\');
  EXPECT_EQ(outside, EmulatedMachine(drive_c_, root_).files().CurDir())
      << "host folders outside drive C: are on drive Z:";
}

TEST_F(PathsTest, DosPathsMapToHostPaths) {
  Put("WINDOWS/Desktop/Vellomar.lnk", "x");
  const std::pair<std::string, fs::path> cases[] = {
      {"c:\\windows\\DESKTOP\\vellomar.LNK", Host("WINDOWS/Desktop/Vellomar.lnk")},  // any case
      {"C:\\windows\\New Folder\\A.txt", Host("WINDOWS/New Folder/A.txt")},  // missing as written
      {"C:/WINDOWS/./Start Menu/../Desktop", Host("WINDOWS/Desktop")},
      {"C:\\..\\..", drive_c_},          // .. stops at the drive's root
      {"Z:\\", fs::path("/")},           // Z: is the host root
      {"D:\\AUTOEXEC.BAT", fs::path()},  // unmapped drives do not exist
  };
  for (const auto& [dos, host] : cases) EXPECT_EQ(host, machine_->HostPath(dos)) << dos;
  EXPECT_EQ(0, RunTimeErrorOf([&] {
              files().Open(1, "C:\\WINDOWS\\desktop\\Vellomar.lnk", OpenMode::Input);
              files().Close(1);
            }))
      << "\\Desktop\\ and \\desktop\\ name one folder";
  EXPECT_EQ(errc::kPathNotFound,
            RunTimeErrorOf([&] { files().Open(1, "D:\\AUTOEXEC.BAT", OpenMode::Input); }));
}

TEST_F(PathsTest, RelativePathsAreTakenAgainstTheCurrentDirectory) {
  Put("WINDOWS/win.ini", "[windows]\r\n");
  files().ChDir("windows");
  EXPECT_EQ("C:\\WINDOWS", files().CurDir()) << "the host's spelling is reported";
  EXPECT_EQ(Host("WINDOWS/win.ini"), machine_->HostPath("WIN.INI"));
  EXPECT_EQ(Host("WINDOWS/win.ini"), machine_->HostPath("C:win.ini")) << "drive-relative";
  EXPECT_EQ(drive_c_ / "x", machine_->HostPath("\\x")) << "rooted on the current drive";
  files().ChDir("..");
  EXPECT_EQ("C:\\", files().CurDir());
}

TEST_F(PathsTest, ChDirToAMissingFolderIsPathNotFound) {
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().ChDir("C:\\NOWHERE"); }));
  Put("file.txt", "");
  EXPECT_EQ(errc::kPathNotFound, RunTimeErrorOf([&] { files().ChDir("C:\\file.txt"); }))
      << "a file is not a folder";
  EXPECT_EQ("C:\\", files().CurDir()) << "a failed ChDir leaves the current directory";
}

TEST_F(PathsTest, DosPathOfAHostPathRoundTrips) {
  fs::create_directories(Host("Program Files/Vellomar"));
  EXPECT_EQ("C:\\Program Files\\Vellomar", machine_->DosPath(Host("Program Files/Vellomar")));
  EXPECT_EQ("C:\\", machine_->DosPath(drive_c_));
  EXPECT_EQ("Z:\\etc", machine_->DosPath("/etc"));
}

TEST_F(PathsTest, ShortcutsLandInTheWindowsFolders) {
  fs::create_directories(Host("WINDOWS/desktop"));
  fs::create_directories(Host("WINDOWS/Start Menu/Programs/Vellomar"));
  const std::string program = "C:\\Program Files\\Vellomar\\kestrom.exe";
  EXPECT_EQ(1,
            machine_->links().fCreateShellLink("..\\..\\Desktop", "Vellomar", program, "/locknow"));
  EXPECT_EQ(1,
            machine_->links().fCreateShellLink("\\Vellomar", "Vellomar Setup", program, "/setup"));
  EXPECT_TRUE(fs::exists(Host("WINDOWS/desktop/Vellomar.lnk"))) << "relative to Programs";
  EXPECT_TRUE(fs::exists(Host("WINDOWS/Start Menu/Programs/Vellomar/Vellomar Setup.lnk")));
}

TEST(DriveCTest, EnvironmentVariableNamesTheDriveFolder) {
  const char* old = std::getenv("VELLOMAR_DRIVE_C");
  const std::string saved = old ? old : "";
  setenv("VELLOMAR_DRIVE_C", "/srv/c", 1);
  EXPECT_EQ(fs::path("/srv/c"), platform::DefaultDriveC());
  setenv("VELLOMAR_DRIVE_C", "", 1);
  setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(fs::path("/data/vellomar/drive_c"), platform::DefaultDriveC())
      << "an empty variable falls back to the XDG data home";
  if (old) {
    setenv("VELLOMAR_DRIVE_C", saved.c_str(), 1);
  } else {
    unsetenv("VELLOMAR_DRIVE_C");
  }
}

}  // namespace
}  // namespace vellomar::testing
