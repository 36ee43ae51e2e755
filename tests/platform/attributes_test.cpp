// Attributes through GetAttr and SetAttr: the bits Windows keeps for files and folders.

#include "platform_fixture.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

class AttributesTest : public PlatformTest {};

TEST_F(AttributesTest, FilesAreArchiveAndFoldersDirectory) {
  Put("AUTOEXEC.BAT", "");
  EXPECT_EQ(attr::kArchive, files().GetAttr(Dos("AUTOEXEC.BAT"))) << "a freshly written file";
  EXPECT_EQ(attr::kDirectory, files().GetAttr(Dos("WINDOWS")));
  EXPECT_EQ(attr::kDirectory, files().GetAttr(Dos("")));
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().GetAttr(Dos("MSDOS.SYS")); }));
  EXPECT_EQ(errc::kFileNotFound, RunTimeErrorOf([&] { files().SetAttr(Dos("MSDOS.SYS"), 0); }));
  for (int bit : {attr::kDirectory, 8}) {
    EXPECT_EQ(errc::kInvalidProcedureCall,
              RunTimeErrorOf([&] { files().SetAttr(Dos("AUTOEXEC.BAT"), bit); }))
        << "the directory and volume bits cannot be set: " << bit;
  }
}

TEST_F(AttributesTest, BootFileAttributesRoundTrip) {
  Put("MSDOS.SYS", "[Options]\r\n");
  const int all = attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;
  files().SetAttr(Dos("msdos.sys"), all);
  EXPECT_EQ(all, files().GetAttr(Dos("MSDOS.SYS")));
  files().SetAttr(Dos("MSDOS.SYS"), attr::kNormal);
  EXPECT_EQ(attr::kNormal, WithoutArchive(files().GetAttr(Dos("MSDOS.SYS"))))
      << "normal clears every bit (archive too, except under Wine)";
  files().Open(1, Dos("MSDOS.SYS"), platform::OpenMode::Output);
  files().Close(1);
  EXPECT_EQ("", Get("MSDOS.SYS")) << "and the file can be written again";
}

// Windows keeps the read-only bit of a folder as a mark for the shell (Wine drops it, the
// emulation never sets it): either way files can still be made in it, which is what counts.
TEST_F(AttributesTest, ReadOnlyFolderStaysWritable) {
  files().SetAttr(Dos("WINDOWS"), attr::kHidden | attr::kReadOnly);
  EXPECT_EQ(attr::kDirectory | attr::kHidden, files().GetAttr(Dos("WINDOWS")) & ~attr::kReadOnly);
  files().Open(1, Dos("WINDOWS\\new.ini"), platform::OpenMode::Output);
  files().PrintLine(1, "[x]");
  files().Close(1);
  EXPECT_EQ("[x]\r\n", Get("WINDOWS/new.ini"));
  files().SetAttr(Dos("WINDOWS"), attr::kNormal);
}

}  // namespace
}  // namespace vellomar::testing
