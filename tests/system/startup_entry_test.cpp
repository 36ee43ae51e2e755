// The start-up entry: the command text for each boot option, the registry routines the Setup form
// and the wizard share, and the table that reads the boot option back (emulated/ holds the
// registry cases only the emulated machine can set up).

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "record/password_record.h"
#include "system/lock_switches.h"
#include "system/startup_entry.h"
#include "system_fixture.h"

namespace vellomar::testing {
namespace {

using platform::DWORD;
using platform::HKEY;
using platform::LONG;

const std::string kRecordTail = std::string("*kvd%3u~") + "E" + "rfp9e>4w";

TEST(LockSwitchesTest, OneTableForTaskbarAndSmiley) {
  EXPECT_EQ(LockSwitches(true, true), "/locknow");
  EXPECT_EQ(LockSwitches(false, true), "/locknowfull");
  EXPECT_EQ(LockSwitches(true, false), "/locknow /nosmile");
  EXPECT_EQ(LockSwitches(false, false), "/locknowfull /nosmile");
}

TEST(StartupCommandTest, ProgramThenSwitchesThenRecord) {
  using enum BootOption;
  const struct {
    const char* dir;
    BootOption option;
    bool taskbar, smiley;
    std::string command;
  } cases[] = {
      {"C:\\APPS\\GUARD", kLockAfterWindows, false, true,
       "C:\\APPS\\GUARD\\kestrom.exe /locknowfull /SU:"},
      {"C:\\APPS\\GUARD", kLockBothSides, true, false,
       "C:\\APPS\\GUARD\\kestrom.exe /locknow /nosmile /SU:"},
      // The prompt ignores the lock choices.
      {"C:\\V", kSixtySeconds, false, false, "C:\\V\\kestrom.exe /SU:"},
      {"C:\\V", kSixtySeconds, true, true, "C:\\V\\kestrom.exe /SU:"},
      // At a drive's root the directory's own backslash stays: two backslashes.
      {"C:\\", kSixtySeconds, true, true, "C:\\\\kestrom.exe /SU:"},
      // Spaces are not quoted; other drives are written as they are.
      {"C:\\Program Files\\Vellomar", kLockAfterWindows, true, true,
       "C:\\Program Files\\Vellomar\\kestrom.exe /locknow /SU:"},
      {"Z:\\home\\u", kSixtySeconds, true, true, "Z:\\home\\u\\kestrom.exe /SU:"},
      // Options without an entry build nothing.
      {"C:\\V", kNothing, true, true, ""},
      {"C:\\V", kLockBeforeWindows, true, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StartupCommand(c.dir, c.option, c.taskbar, c.smiley, "E"),
              c.command.empty() ? "" : c.command + kRecordTail)
        << c.dir << " option " << static_cast<int>(c.option);
  }
}

TEST(SplitStartupCommandTest, ProgramUpToExeAndTheRestVerbatim) {
  auto parts = SplitStartupCommand("C:\\Program Files\\V\\KESTROM.EXE /locknow /SU:*a b%~>c");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->program, "C:\\Program Files\\V\\KESTROM.EXE");
  EXPECT_EQ(parts->arguments, "/locknow /SU:*a b%~>c");

  parts = SplitStartupCommand("C:\\\\kestrom.exe");
  ASSERT_TRUE(parts);
  EXPECT_EQ(parts->program, "C:\\\\kestrom.exe");
  EXPECT_EQ(parts->arguments, "");

  EXPECT_FALSE(SplitStartupCommand("C:\\tools\\run.bat /x"));
}

TEST(BootOptionFromEntryTest, FirstMatchingRowWins) {
  struct Row {
    VariantValue entry;
    bool autoexec_lock;
    BootOption option;
    int a7;
  };
  const Row rows[] = {
      {std::monostate{}, false, BootOption::kNothing, 1},
      {std::string(""), false, BootOption::kNothing, 1},
      {std::monostate{}, true, BootOption::kLockBeforeWindows, 4},
      {std::string("C:\\V\\kestrom.exe /locknowfull /nosmile /SU:x"), true,
       BootOption::kLockBothSides, 5},
      {std::string("c:\\v\\kestrom.exe /LockNow /SU:x"), false, BootOption::kLockAfterWindows, 2},
      {std::string("X"), false, BootOption::kSixtySeconds, 3},
      {std::string("X"), true, BootOption::kSixtySeconds, 3},
      {std::string("C:\\V\\kestrom.exe /SU:*kvd%3u~Erfp9e>4w"), true, BootOption::kSixtySeconds, 3},
      {std::int32_t{7}, false, BootOption::kSixtySeconds, 3},
  };
  for (const Row& row : rows) {
    const BootOptionInForce found = BootOptionFromEntry(row.entry, row.autoexec_lock);
    EXPECT_EQ(found.option, row.option) << VariantText(row.entry) << " / " << row.autoexec_lock;
    EXPECT_EQ(found.a7, row.a7) << VariantText(row.entry) << " / " << row.autoexec_lock;
  }
}

class StartupEntryRegistryTest : public SystemFixture {
 protected:
  // The raw bytes and type of the entry, read straight from the registry.
  bool RawEntry(DWORD& type, std::string& data) {
    HKEY key = 0;
    if (registry().RegOpenKeyExA(platform::kHkeyLocalMachine, kRunServicesKey, 0, kKeyAccess,
                                 &key) != 0) {
      return false;
    }
    DWORD size = 0;
    LONG result = registry().RegQueryValueExA(key, kStartupValueName, &type, nullptr, &size);
    if (result == 0) {
      data.assign(size, '\0');
      result = registry().RegQueryValueExA(key, kStartupValueName, &type,
                                           reinterpret_cast<std::uint8_t*>(data.data()), &size);
    }
    registry().RegCloseKey(key);
    return result == 0;
  }
};

TEST_F(StartupEntryRegistryTest, WrittenAsTextWithOneNulAndReadBackWithoutIt) {
  const std::string command =
      StartupCommand("C:\\APPS\\GUARD", BootOption::kLockAfterWindows, false, true, "E");
  EXPECT_EQ(
      WriteMachineValue(registry(), kRunServicesKey, kStartupValueName, command, platform::kRegSz),
      0);

  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(RawEntry(type, data));
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(data, command + '\0');

  VariantValue vValue;
  bool failed = false;
  EXPECT_EQ(ReadMachineValue(registry(), kRunServicesKey, kStartupValueName, vValue,
                             [&] { failed = true; }),
            0);
  EXPECT_FALSE(failed);
  EXPECT_EQ(VariantText(vValue), command);
}

TEST_F(StartupEntryRegistryTest, DeletingRemovesTheValueAndAnAbsentOneIsNoError) {
  WriteMachineValue(registry(), kRunServicesKey, kStartupValueName, std::string("x"),
                    platform::kRegSz);
  EXPECT_EQ(DeleteMachineValue(registry(), kRunServicesKey, kStartupValueName), 0);
  DWORD type = 0;
  std::string data;
  EXPECT_FALSE(RawEntry(type, data));
#ifndef _WIN32
  const std::string after = Content(registry_file());
  EXPECT_EQ(after.find("Vellomar"), std::string::npos);
#endif
  EXPECT_NO_THROW(DeleteMachineValue(registry(), kRunServicesKey, kStartupValueName));
#ifndef _WIN32
  EXPECT_EQ(Content(registry_file()), after);
#endif
}

TEST_F(StartupEntryRegistryTest, QueryFailurePathRunsOnlyWhenTheValueCannotBeRead) {
  HKEY key = 0;
  ASSERT_EQ(
      registry().RegOpenKeyExA(platform::kHkeyLocalMachine, kRunServicesKey, 0, kKeyAccess, &key),
      0);
  int failures = 0;
  auto on_failure = [&] { ++failures; };

  VariantValue vValue = std::string("before");
  EXPECT_EQ(QueryValueEx(registry(), key, "Absent", vValue, on_failure), 2);
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(VariantText(vValue), "before");

  // A DWORD reads back as a number; an empty text as "".
  EXPECT_EQ(SetValueEx(registry(), key, "Count", platform::kRegDword, std::string("42")), 0);
  EXPECT_EQ(QueryValueEx(registry(), key, "Count", vValue, on_failure), 0);
  EXPECT_EQ(vValue, VariantValue(std::int32_t{42}));
  EXPECT_EQ(SetValueEx(registry(), key, "Blank", platform::kRegSz, std::monostate{}), 0);
  EXPECT_EQ(QueryValueEx(registry(), key, "Blank", vValue, on_failure), 0);
  EXPECT_EQ(vValue, VariantValue(std::string("")));

  // Any other type reads as -1 and leaves the value alone; SetValueEx will not write one.
  const std::uint8_t bytes[] = {1, 2, 3};
  ASSERT_EQ(registry().RegSetValueExA(key, "Binary", 3, bytes, sizeof bytes), 0);
  vValue = std::monostate{};
  EXPECT_EQ(QueryValueEx(registry(), key, "Binary", vValue, on_failure), -1);
  EXPECT_TRUE(IsEmpty(vValue));
  EXPECT_EQ(SetValueEx(registry(), key, "Other", 3, std::string("x")), 0);
  EXPECT_EQ(QueryValueEx(registry(), key, "Other", vValue, on_failure), 2);

  // A REG_SZ without any data cannot be cut before its NUL: failure path. Windows 95/98 refuse
  // to write one (87): the value is missing then, the failure path again.
  const LONG no_data = registry().RegSetValueExA(key, "NoData", platform::kRegSz, nullptr, 0);
  EXPECT_TRUE(no_data == 0 || (!RegistryHandlesKeepTheirAccess() && no_data == 87)) << no_data;
  vValue = std::string("before");
  QueryValueEx(registry(), key, "NoData", vValue, on_failure);
  EXPECT_EQ(VariantText(vValue), "before");
  EXPECT_EQ(failures, 3);

  try {
    SetValueEx(registry(), key, "Count", platform::kRegDword, std::string("4x"));
    ADD_FAILURE() << "a non-numeric DWORD was written";
  } catch (const RuntimeError& error) {
    EXPECT_EQ(error.code(), 13) << "Type mismatch";
  }
  registry().RegCloseKey(key);
}

}  // namespace
}  // namespace vellomar::testing
