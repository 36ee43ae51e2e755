// Attributes on the emulated machine: read-only is the host write permission; hidden, system and
// archive live in user.DOSATTRIB as Wine writes it, and Samba's forms are read too.

#include <sys/xattr.h>

#include "emulated_fixture.h"
#include "platform/dos_attributes.h"

namespace vellomar::testing {
namespace {

namespace attr = platform::attr;

class DosAttribTest : public EmulatedPlatformTest {
 protected:
  std::string Xattr(const std::string& relative) {
    char value[256];
    const ssize_t size =
        getxattr(Host(relative).c_str(), platform::kDosAttribXattr, value, sizeof value);
    return size < 0 ? "(none)" : std::string(value, size);
  }
  void SetXattr(const std::string& relative, const std::string& value) {
    ASSERT_EQ(0, setxattr(Host(relative).c_str(), platform::kDosAttribXattr, value.data(),
                          value.size(), 0));
  }
};

TEST_F(DosAttribTest, BootFileAttributesRoundTrip) {
  Put("MSDOS.SYS", "[Options]\r\n");
  const int all = attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;
  files().SetAttr("C:\\msdos.sys", all);
  EXPECT_EQ(all, files().GetAttr("C:\\MSDOS.SYS"));
  EXPECT_EQ(0u, Mode("MSDOS.SYS") & 0222) << "read-only takes the write permission away";
  EXPECT_EQ("0x26", Xattr("MSDOS.SYS"))
      << "Wine's text form, read-only not included (or the folder refused user.DOSATTRIB)";

  files().SetAttr("C:\\MSDOS.SYS", attr::kNormal);
  EXPECT_EQ(attr::kNormal, files().GetAttr("C:\\MSDOS.SYS"))
      << "normal clears archive too: it is stored as 0x0";
  EXPECT_NE(0u, Mode("MSDOS.SYS") & 0200) << "write permission is back";
  EXPECT_EQ("0x0", Xattr("MSDOS.SYS"));

  fs::permissions(Host("MSDOS.SYS"), fs::perms(0444));
  EXPECT_EQ(attr::kReadOnly, files().GetAttr("C:\\MSDOS.SYS")) << "read-only from permissions";
}

TEST_F(DosAttribTest, HiddenFolderStaysWritable) {
  files().SetAttr("C:\\WINDOWS", attr::kHidden | attr::kReadOnly);
  EXPECT_EQ(attr::kDirectory | attr::kHidden, files().GetAttr("C:\\WINDOWS"));
  EXPECT_NE(0u, Mode("WINDOWS") & 0200) << "files can still be made in it";
}

TEST_F(DosAttribTest, SambaFormsAreRead) {
  Put("samba3.txt", "");
  SetXattr("samba3.txt", std::string("0x22\0", 5));
  EXPECT_EQ(attr::kHidden | attr::kArchive, files().GetAttr("samba3.txt"))
      << "Samba 3 writes the text with its NUL";

  // Samba 4: empty hex text, version 4, level 4, then valid_flags, attrib, two times.
  std::string blob("\0\0\x04\0\x04\0\0\0\x01\0\0\0\x06\0\0\0", 16);
  blob += std::string(16, '\0');
  Put("samba4.txt", "");
  SetXattr("samba4.txt", blob);
  EXPECT_EQ(attr::kHidden | attr::kSystem, files().GetAttr("samba4.txt"));
}

TEST(DosAttribFormatTest, ParsesTextAndNdrBlobs) {
  // Samba 4 version 3 keeps the hex text in front: "0x22" NUL, pad, version 3, level 3.
  const std::string v3 =
      std::string("0x22\0\0\x03\0\x03\0\0\0\x01\0\0\0\x22\0\0\0", 20) + std::string(28, '\0');
  const std::pair<std::string, std::optional<int>> cases[] = {
      {"0x22", 0x22},       {std::string("0x20\0", 5), 0x20},
      {"0x", std::nullopt}, {"0xzz", std::nullopt},
      {v3, 0x22},           {std::string("\0\0\x09\0", 4), std::nullopt},  // unknown version
  };
  for (const auto& [stored, bits] : cases) EXPECT_EQ(bits, platform::ParseDosAttrib(stored));
  EXPECT_EQ("0x6", platform::FormatDosAttrib(6));
}

TEST(DosAttributeStoreTest, WithoutExtendedAttributesFallsBackToMemory) {
  platform::DosAttributeStore store(/*use_xattrs=*/false);
  EXPECT_EQ(std::nullopt, store.Read("/nonexistent/a"));
  EXPECT_EQ(0, store.Write("/nonexistent/a", attr::kHidden | attr::kSystem | attr::kReadOnly));
  EXPECT_EQ(attr::kHidden | attr::kSystem, store.Read("/nonexistent/a"));
  EXPECT_TRUE(store.fell_back());
}

}  // namespace
}  // namespace vellomar::testing
