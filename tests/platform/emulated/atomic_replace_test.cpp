// Atomic replacement: whatever step of a rewrite fails, the old content stays whole and no
// temporary file is left behind. Every writer goes through it: output files, FileCopy and the
// registry.

#include "emulated_fixture.h"
#include "platform/registry.h"

namespace vellomar::testing {
namespace {

using platform::OpenMode;
using platform::ReplaceStep;

class AtomicReplaceTest : public EmulatedPlatformTest,
                          public ::testing::WithParamInterface<ReplaceStep> {};

TEST_P(AtomicReplaceTest, FailedRewriteKeepsTheOldContent) {
  Put("supermp.dat", "old record\r\n");
  machine_->InjectReplaceFault(GetParam());
  const int code = RunTimeErrorOf([&] {
    files().Open(1, "supermp.dat", OpenMode::Output);
    files().PrintLine(1, "new record");
    files().Close(1);
  });
  EXPECT_EQ(errc::kDeviceIoError, code) << "the failure reaches the caller";
  EXPECT_EQ("old record\r\n", Get("supermp.dat")) << "never empty, never half written";
  EXPECT_EQ((std::vector<std::string>{"WINDOWS", "supermp.dat"}), Entries(""))
      << "the temporary file is removed";
  files().Close(1);

  files().Open(1, "supermp.dat", OpenMode::Output);
  files().PrintLine(1, "next");
  files().Close(1);
  EXPECT_EQ("next\r\n", Get("supermp.dat")) << "the fault hits one replacement only";
}

TEST_P(AtomicReplaceTest, FailedCopyKeepsTheOldTarget) {
  Put("AUTOEXEC.BAT", "new\r\n");
  Put("AUTOEXEC.QVR", "old backup\r\n");
  machine_->InjectReplaceFault(GetParam());
  EXPECT_NE(0, RunTimeErrorOf([&] { files().FileCopy("C:\\AUTOEXEC.BAT", "C:\\AUTOEXEC.QVR"); }));
  EXPECT_EQ("old backup\r\n", Get("AUTOEXEC.QVR"));
  EXPECT_EQ((std::vector<std::string>{"AUTOEXEC.BAT", "AUTOEXEC.QVR", "WINDOWS"}), Entries(""));
}

TEST_P(AtomicReplaceTest, FailedRegistryWriteKeepsTheOldFile) {
  const std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\"A\"=\"1\"\r\n\r\n";
  Put("WINDOWS/SYSTEM.REG", text);
  platform::HKEY key = 0;
  ASSERT_EQ(0, registry().RegOpenKeyExA(platform::kHkeyLocalMachine, "SOFTWARE", 0, 63, &key));
  machine_->InjectReplaceFault(GetParam());
  const std::uint8_t data[] = "2";
  EXPECT_EQ(platform::win32::kErrorRegistryIoFailed,
            registry().RegSetValueExA(key, "A", platform::kRegSz, data, 2));
  EXPECT_EQ(text, Get("WINDOWS/SYSTEM.REG"));
  registry().RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, AtomicReplaceTest,
                         ::testing::Values(ReplaceStep::kCreateTemp, ReplaceStep::kWrite,
                                           ReplaceStep::kSync, ReplaceStep::kCopyAttributes,
                                           ReplaceStep::kRename));

TEST_F(EmulatedPlatformTest, WriteFailureWhilePrintingIsReportedOnceAndDiscardsTheNewContent) {
  Put("supermp.dat", "old\r\n");
  machine_->InjectReplaceFault(ReplaceStep::kWrite);
  files().Open(1, "supermp.dat", OpenMode::Output);
  EXPECT_EQ(errc::kDeviceIoError,
            RunTimeErrorOf([&] { files().PrintLine(1, std::string(100000, 'x')); }))
      << "a line too big for the buffer goes to disk at once";
  EXPECT_EQ(0, RunTimeErrorOf([&] { files().Close(1); }))
      << "the error handler's Close does not fail again";
  EXPECT_EQ("old\r\n", Get("supermp.dat")) << "and does not commit the partial file";
  EXPECT_EQ((std::vector<std::string>{"WINDOWS", "supermp.dat"}), Entries(""));
}

}  // namespace
}  // namespace vellomar::testing
