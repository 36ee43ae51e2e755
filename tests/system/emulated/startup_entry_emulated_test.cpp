// The start-up entry on a registry only the emulated machine can damage: a registry file without
// the RunServices key, and a disk that refuses the registry file's rewrite.

#include <gtest/gtest.h>

#include <string>

#include "system/startup_entry.h"
#include "system/system_fixture.h"

namespace vellomar::testing {
namespace {

using StartupEntryEmulatedTest = SystemFixture;

TEST_F(StartupEntryEmulatedTest, AMissingKeyIsReportedAndNeverCreated) {
  Put(registry_file(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n");
  EXPECT_EQ(WriteMachineValue(registry(), kRunServicesKey, kStartupValueName, std::string("x"),
                              platform::kRegSz),
            platform::win32::kErrorFileNotFound);
  EXPECT_EQ(Content(registry_file()), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n");

  VariantValue vValue = std::string("kept");
  int failures = 0;
  EXPECT_NE(
      ReadMachineValue(registry(), kRunServicesKey, kStartupValueName, vValue, [&] { ++failures; }),
      0);
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(VariantText(vValue), "kept");
}

TEST_F(StartupEntryEmulatedTest, AWriteTheDiskRefusesIsReported) {
  machine().InjectReplaceFault(platform::ReplaceStep::kRename);
  EXPECT_NE(WriteMachineValue(registry(), kRunServicesKey, kStartupValueName, std::string("x"),
                              platform::kRegSz),
            0);
  VariantValue vValue;
  ReadMachineValue(registry(), kRunServicesKey, kStartupValueName, vValue);
  EXPECT_TRUE(IsEmpty(vValue));
}

}  // namespace
}  // namespace vellomar::testing
