// "Finish" as an ordinary user of the NT family meets it: HKEY_LOCAL_MACHINE refuses writes, so
// the start-up entry cannot be written. The page says the run failed; nothing after the entry is
// made.

#include <gtest/gtest.h>

#include <filesystem>

#include "wizard/welcome9.h"
#include "wizard/wizard_fixture.h"

namespace vellomar::testing {
namespace {

TEST_F(FinishTest, AStartupEntryTheUserMayNotWriteIsAFailure) {
  if (!RegistryHandlesKeepTheirAccess()) {
    GTEST_SKIP() << "Windows 95/98 keep no permissions on registry keys";
  }
  {
    RegistryWritesRefused refused(machines().registry_root() + "\\" + kRunServicesKey);
    WalkToFinish(1, false, true);
    ExpectFailure(kMsgFinishFailed);
  }
  EXPECT_TRUE(IsEmpty(StartupEntry()));  // read back with the key's own permissions
  EXPECT_FALSE(std::filesystem::exists(desktop_link()));
  EXPECT_FALSE(std::filesystem::exists(start_menu_folder()));
}

}  // namespace
}  // namespace vellomar::testing
