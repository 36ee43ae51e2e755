// What fCreateShellLink writes on Windows, read back through the shell's own link object: the
// target, the arguments and the target's folder as the working directory.

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "../platform_fixture.h"
#include "platform/dos_names.h"

namespace vellomar::testing {
namespace {

struct LinkFields {
  std::string path, arguments, working_directory;
};

// Loads `file` with IShellLinkA; empty fields when it cannot be read.
LinkFields ReadLink(const std::string& file) {
  LinkFields fields;
  const bool com = SUCCEEDED(::CoInitialize(nullptr));
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    const std::wstring wide(file.begin(), file.end());
    if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ))) {
      char text[MAX_PATH] = "";
      if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) fields.path = text;
      if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) fields.arguments = text;
      if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) fields.working_directory = text;
    }
  }
  if (persist) persist->Release();
  if (link) link->Release();
  if (com) ::CoUninitialize();
  return fields;
}

class LinkReadbackTest : public PlatformTest {};

TEST_F(LinkReadbackTest, LinkStartsTheTargetWithItsArgumentsInTheTargetsFolder) {
  fs::create_directories(Host(kDesktopRelative));
  Put("Program Files/Vellomar/kestrom.exe", "MZ");
  const std::string target = Dos("Program Files\\Vellomar\\kestrom.exe");
  ASSERT_EQ(1, links().fCreateShellLink(kDesktopFromPrograms, "Vellomar", target, "/locknow"));
  const LinkFields fields = ReadLink(links().DesktopFolder() + "\\Vellomar.lnk");
  EXPECT_TRUE(platform::SameDosName(target, fields.path)) << fields.path;
  EXPECT_EQ("/locknow", fields.arguments);
  EXPECT_TRUE(platform::SameDosName(Dos("Program Files\\Vellomar"), fields.working_directory))
      << fields.working_directory;
}

// Without moved places the machine asks the shell: on Wine and on Windows from Vista on both
// folders lie in the user's profile, not in the Windows directory as on Windows 95/98.
TEST(ShellFoldersTest, TheRealShellNamesFoldersThatExist) {
  platform::Win32Machine machine;
  for (const std::string& folder :
       {machine.links().ProgramsFolder(), machine.links().DesktopFolder()}) {
    EXPECT_FALSE(folder.empty());
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    EXPECT_NE('\\', folder.back()) << folder;
  }
}

}  // namespace
}  // namespace vellomar::testing
