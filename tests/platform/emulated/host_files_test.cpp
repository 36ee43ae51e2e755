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

TEST_F(HostFilesTest, RewrittenFileKeepsItsModeAndANewOneGetsTheUsualMode) {
  Put("MSDOS.SYS", "[Options]\r\n");
  fs::permissions(Host("MSDOS.SYS"), fs::perms(0640));
  files().Open(1, "C:\\MSDOS.SYS", OpenMode::Output);
  files().PrintLine(1, "BootKeys=0");
  files().Close(1);
  EXPECT_EQ(0640u, Mode("MSDOS.SYS"));

  const mode_t mask = umask(022);
  umask(mask);
  files().Open(1, "new.txt", OpenMode::Output);
  files().Close(1);
  EXPECT_EQ(0666u & ~mask, Mode("new.txt"));
}

}  // namespace
}  // namespace vellomar::testing
