// Files by number on the emulated machine only: what a Unix host has and Windows has not (pipes,
// devices, permission bits, read-only folders).

#include <sys/stat.h>
#include <unistd.h>

#include "emulated_fixture.h"

namespace vellomar::testing {
namespace {

using platform::OpenMode;

class HostFilesTest : public EmulatedPlatformTest {};

// The host's file system has names that are no plain files: a pipe, which blocks an open until
// someone writes, and devices such as /dev/zero, which never end. Windows files have neither; the
// emulation refuses them for input at once, like a folder, so that no reader waits or runs away.
TEST_F(HostFilesTest, PipesAndDevicesAreRefusedForInputWithoutWaiting) {
  ASSERT_EQ(mkfifo(Host("pipe.dat").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", Host("zero.dat"));
  for (const std::string name : {"pipe.dat", "zero.dat"}) {
    EXPECT_EQ(errc::kPathFileAccessError,
              RunTimeErrorOf([&] { files().Open(1, name, OpenMode::Input); }))
        << name;
    files().Close(1);
  }
}

TEST_F(HostFilesTest, FileInReadOnlyFolderCannotBeCreated) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directories(Host("locked"));
  fs::permissions(Host("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(errc::kPathFileAccessError,
            RunTimeErrorOf([&] { files().Open(1, "C:\\locked\\a.txt", OpenMode::Output); }));
}

// Drive C: holds the password record and the registry that repeats it: whatever the emulation
// writes is the user's alone. A rewrite or a copy keeps the owner's bits (read-only included) and
// drops what others had; a new file or folder is the owner's whatever the umask.
TEST_F(HostFilesTest, WrittenFilesAndFoldersAreTheUsersAlone) {
  Put("MSDOS.SYS", "[Options]\r\n");
  fs::permissions(Host("MSDOS.SYS"), fs::perms(0644));
  files().Open(1, "C:\\MSDOS.SYS", OpenMode::Output);
  files().PrintLine(1, "BootKeys=0");
  files().Close(1);
  EXPECT_EQ(0600u, Mode("MSDOS.SYS")) << "rewritten";

  const mode_t mask = umask(0);
  files().Open(1, "supermp.dat", OpenMode::Output);
  files().Close(1);
  files().MkDir("C:\\Vellomar");
  umask(mask);
  EXPECT_EQ(0600u, Mode("supermp.dat")) << "created";
  EXPECT_EQ(0700u, Mode("Vellomar")) << "a folder made";

  fs::permissions(Host("MSDOS.SYS"), fs::perms(0444));
  files().FileCopy("C:\\MSDOS.SYS", "C:\\MSDOS.QVR");
  EXPECT_EQ(0400u, Mode("MSDOS.QVR")) << "a copy stays read-only";
  files().SetAttr("C:\\MSDOS.QVR", platform::attr::kNormal);
  EXPECT_EQ(0600u, Mode("MSDOS.QVR")) << "and becomes writable again by its owner only";
}

}  // namespace
}  // namespace vellomar::testing
