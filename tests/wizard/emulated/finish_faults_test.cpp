// "Finish" on a platform that fails on purpose: for each kind of call (open, write, flush,
// rename, set attributes, registry set and delete, link create) and each k, the k-th call of
// that kind fails. Whatever fails, no file is left half written or beside its target, the
// wizard never ends as if it had finished unless everything is in place, and the keyboard lock
// is released exactly when the program ends.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/lnk_links.h"
#include "platform/regedit4.h"
#include "support/fault_injection.h"
#include "wizard/welcome9.h"
#include "wizard/wizard_fixture.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

const char kProgram[] = "C:\\Program Files\\Vellomar\\kestrom.exe";
const char kSwitches[] = "/locknowfull /nosmile";  // neither box ticked

class FinishFaultTest : public WizardFixture, public ::testing::WithParamInterface<int> {
 protected:
  int option() const { return GetParam(); }

  // The machine as installed, with nothing from an earlier run.
  void Reinstall() {
    fs::remove_all(desktop());
    fs::remove_all(start_menu_folder());
    fs::create_directories(desktop());
    fs::remove(registry_file());
    platform::EmulatedMachine installer(drive_c(), program_dir());
    ASSERT_EQ(installer.CreateRegistryKey(kRunServicesKey), platform::KeyCreation::kCreated);
    WritePlaceholder();
  }

  // Walks the wizard to its last page, plans the fault and presses Finish.
  void FinishWith(platform::FaultKind kind, int k) {
    Reinstall();
    UseFaultInjection();
    WalkToFinish(option(), /*taskbar=*/false, /*smiley=*/false);
    locked_before_ = rt().KeyboardLocked();
    faults().FailCall(kind, k);
    rt().Click("Welcome9", "Command1");
  }

  // A link is absent or exactly what fCreateShellLink writes for it.
  ::testing::AssertionResult WholeOrAbsent(const fs::path& link, const std::string& arguments) {
    if (!fs::exists(link)) return ::testing::AssertionSuccess();
    const std::string expected =
        platform::BuildLnkFile({kProgram, arguments, "C:\\Program Files\\Vellomar"});
    if (Content(link) == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << link << " is not a whole link";
  }

  std::string Command() {
    if (option() == 3) return "";
    return ExpectedCommand(option() == 2 ? kSwitches : "");
  }

  void ExpectNothingPartial() {
    // A replacement writes ".<name>.vellomar-XXXXXX" beside its target.
    for (const auto& entry : fs::recursive_directory_iterator(drive_c())) {
      EXPECT_EQ(entry.path().filename().string().find(".vellomar-", 1), std::string::npos)
          << "temporary file left: " << entry.path();
    }
    const std::string record = RecordFileContent();
    EXPECT_TRUE(record == RecordLine(kPassword) + "\r\n" ||
                record == RecordLine(kPassword, "0000") + "\r\n")
        << "supermp.dat: " << record;
    EXPECT_TRUE(platform::ParseRegedit4(Content(registry_file())).has_value())
        << Content(registry_file());
    const VariantValue entry = StartupEntry();
    EXPECT_TRUE(IsEmpty(entry) || VariantText(entry) == Command()) << VariantText(entry);
    EXPECT_TRUE(WholeOrAbsent(desktop_link(), kSwitches));
    EXPECT_TRUE(WholeOrAbsent(lock_link(), kSwitches));
    EXPECT_TRUE(WholeOrAbsent(setup_link(), "/setup"));
  }

  // Ended: everything is in place and the lock is free. Otherwise the page says it failed and
  // the lock is as it was.
  void ExpectFinishedOrFailed() {
    if (rt().Ended()) {
      EXPECT_EQ(RecordFileContent(), RecordLine(kPassword, "0000") + "\r\n");
      EXPECT_EQ(VariantText(StartupEntry()), Command());
      EXPECT_TRUE(fs::exists(desktop_link()));
      EXPECT_TRUE(fs::exists(lock_link()));
      EXPECT_TRUE(fs::exists(setup_link()));
      EXPECT_FALSE(rt().KeyboardLocked());
      return;
    }
    EXPECT_TRUE(rt().FormVisible("Welcome9"));
    EXPECT_EQ(rt().Caption("Welcome9", "Label1"), kMsgFinishFailed) << rt().Transcript();
    EXPECT_FALSE(rt().ControlVisible("Welcome9", "Label3"));
    EXPECT_EQ(rt().KeyboardLocked(), locked_before_);
    rt().Close("Welcome9", 0);
    EXPECT_TRUE(rt().Ended());
    EXPECT_FALSE(rt().KeyboardLocked());
  }

 private:
  bool locked_before_ = false;
};

TEST_P(FinishFaultTest, EveryFailingCallLeavesWholeFilesAndNoFalseSuccess) {
  for (platform::FaultKind kind : platform::kFaultKinds) {
    int failed = 0;
    for (int k = 1;; ++k) {
      SCOPED_TRACE(std::string(platform::FaultKindName(kind)) + " call " + std::to_string(k));
      FinishWith(kind, k);
      const bool fired = faults().Fired();
      ExpectNothingPartial();
      ExpectFinishedOrFailed();
      if (!fired) {
        // Past the last call of this kind: the run was a clean one.
        EXPECT_TRUE(rt().Ended()) << rt().Transcript();
        break;
      }
      ++failed;
      ASSERT_LT(k, 50) << "Finish keeps making calls of this kind";
    }
    RecordProperty(platform::FaultKindName(kind), failed);
  }
}

INSTANTIATE_TEST_SUITE_P(Options, FinishFaultTest, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "Option" + std::to_string(info.param); });

}  // namespace
}  // namespace vellomar::testing
