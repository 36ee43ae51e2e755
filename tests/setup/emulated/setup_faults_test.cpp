// "Make Changes" on a platform that fails on purpose: for each kind of call (open, write, flush,
// rename, set attributes, registry set and delete, link create) and each k, the k-th call of that
// kind in the apply run fails. Whatever fails, every file on drive C: is whole (as it was, or as
// a clean run leaves it) and no temporary file is left; the stages after the failing one touched
// nothing; the report names the failing stage, never success, and the record's digit is put back
// where the report says so; the keyboard stays free and the program ends as the report says.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "setup/changes_made.h"
#include "setup/setup_fixture.h"
#include "support/fault_injection.h"

namespace vellomar::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kNewPassword[] = "NewOne";

// Every file and folder under a root: upper-cased relative path -> content ("<folder>").
using DriveState = std::map<std::string, std::string>;

// A machine to start from and the choices that make the apply run visit its stages.
struct Scenario {
  const char* name;
  const char* digits_before;
  const char* digits_after;
  std::function<void(SetupFixture&)> install;  // beyond the record and the boot files
  std::vector<const char*> clicks;             // in Setup, before Make Changes
  bool warns;                                  // the boot-keys warning comes up
};

const Scenario kScenarios[] = {
    {"EverythingOn",
     "0000",
     "1111",
     [](SetupFixture& f) {
       SetupFixture::Put(f.msdos(), SetupFixture::Lines({"[Options]", "BootGUI=1"}));
       f.SetAttributes("MSDOS.SYS", 1 | 2 | 4);
     },
     {"Check1", "Check2", "Check3", "Check4", "Check5", "Check6", "Option5"},
     true},
    {"EverythingOff",
     "1111",
     "1100",
     [](SetupFixture& f) {
       SetupFixture::Put(f.autoexec(), SetupFixture::Lines({f.LockLine(), "@ECHO OFF"}));
       SetupFixture::Put(f.dosstart(), SetupFixture::Lines({f.LockLine(), "MOUSE"}));
       SetupFixture::Put(f.msdos(), SetupFixture::Lines({"[Options]", "BootKeys=0", "BootGUI=1"}));
       f.SetAttributes("MSDOS.SYS", 1 | 2 | 4);
       f.SetStartupEntry(f.ExpectedCommand("/locknow"));
       fs::create_directories(f.start_menu_folder());
       SetupFixture::Put(f.desktop_link(), "link");
       SetupFixture::Put(f.lock_link(), "link");
       SetupFixture::Put(f.setup_link(), "link");
     },
     {"Check3", "Check4", "Check5", "Check6", "Option1"},
     false},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << scenario.name;
}

// The stages that may write a path: [first, last]; {0, 0} for a path no stage writes.
std::pair<int, int> StagesWriting(const std::string& path) {
  auto has = [&path](const char* part) { return path.find(part) != std::string::npos; };
  if (has("DESKTOP/VELLOMAR.LNK")) return {3, 4};
  if (has("PROGRAMS/VELLOMAR")) return {5, 6};
  if (has("SYSTEM.REG") || has("AUTOEXEC.")) return {8, 8};
  if (has("DOSSTART.")) return {9, 10};
  if (has("MSDOS.")) return {11, 12};
  return {0, 0};
}

class SetupFaultTest : public SetupFixture, public ::testing::WithParamInterface<Scenario> {
 protected:
  const Scenario& scenario() const { return GetParam(); }

  // The scenario's machine from scratch: nothing of an earlier run is left.
  void Install() {
    fs::remove_all(drive_c());
    fs::create_directories(program_dir());
    fs::create_directories(desktop());
    fs::create_directories(programs());
    platform::EmulatedMachine installer(drive_c(), program_dir());
    ASSERT_EQ(installer.CreateRegistryKey(kRunServicesKey), platform::KeyCreation::kCreated);
    WritePassword(kPassword, scenario().digits_before);
    Put(autoexec(), Lines({"@ECHO OFF", "PROMPT $p$g"}));
    Put(dosstart(), Lines({"MOUSE"}));
    scenario().install(*this);
  }

  DriveState Snapshot() const {
    DriveState state;
    for (const auto& entry : fs::recursive_directory_iterator(drive_c())) {
      const std::string path = UpperCase(fs::relative(entry.path(), drive_c()).generic_string());
      state[path] = entry.is_directory() ? "<folder>" : Content(entry.path());
    }
    return state;
  }

  // Opens Setup on a fresh machine, makes the scenario's choices, plans the fault (none when
  // `kind` is empty) and presses Make Changes, answering the warning with "Yes - Proceed".
  void Apply(std::optional<platform::FaultKind> kind, int k) {
    Install();
    before_ = Snapshot();
    msdos_attributes_ = Attributes("MSDOS.SYS");
    UseFaultInjection();
    OpenSetup();
    rt().Type("Setup", "Text2", kNewPassword);
    rt().Type("Setup", "Text3", kNewPassword);
    for (const char* control : scenario().clicks) rt().Click("Setup", control);
    if (kind) {
      faults().FailCall(*kind, k);
    } else {
      faults().Clear();
    }
    MakeChanges();
    if (scenario().warns) {
      ASSERT_TRUE(rt().FormVisible("WarnMsdosSys")) << ::testing::PrintToString(Steps());
      rt().Click("WarnMsdosSys", "Command1");
    }
  }

  // The record a run that stopped in `section` leaves: the new password once stage 2 is done,
  // the new digits once stage 7 is, with the failed boot-file stage's digit put back.
  std::string RecordAfter(int section) const {
    std::string digits = section >= 8 ? scenario().digits_after : scenario().digits_before;
    if (section == 9 || section == 10) digits[2] = scenario().digits_before[2];
    if (section >= 11 && section <= kSectionBootKeysUnavailable) {
      digits[3] = scenario().digits_before[3];
    }
    return RecordLine(kNewPassword, digits) + "\r\n";
  }

  // Each path as it was or as the clean run left it: as it was for the stages after the failing
  // one, as the clean run left it for the stages before.
  void ExpectWholeFiles(int section, const DriveState& now) {
    const std::pair<int, int> failing =
        section == kSectionBootKeysUnavailable ? std::pair{11, 12} : std::pair{section, section};
    std::set<std::string> paths;
    const DriveState* states[] = {&before_, &after_, &now};
    for (const DriveState* state : states) {
      for (const auto& [path, content] : *state) paths.insert(path);
    }
    for (const std::string& path : paths) {
      // A replacement writes ".NAME.vellomar-XXXXXX" beside its target (the registry's own
      // ".vellomar-registry.lock" stays).
      const std::string name = path.substr(path.rfind('/') + 1);
      if (name.find(".VELLOMAR-", 1) != std::string::npos) {
        ADD_FAILURE() << "temporary file left: " << path;
        continue;
      }
      if (path.ends_with("SUPERMP.DAT")) continue;  // checked against RecordAfter
      auto content = [path = path](const DriveState& state) -> std::string {
        const auto it = state.find(path);
        return it == state.end() ? "<none>" : it->second;
      };
      const auto [first, last] = StagesWriting(path);
      const bool done = first != 0 && last < failing.first;
      const bool untouched = first == 0 || first > failing.second;
      const std::string& got = content(now);
      if (done) {
        EXPECT_EQ(got, content(after_)) << path << " should hold what the stage wrote";
      } else if (untouched) {
        EXPECT_EQ(got, content(before_)) << path << " should not have been touched";
      } else {
        EXPECT_TRUE(got == content(before_) || got == content(after_))
            << path << " is neither as it was nor as a clean run leaves it: " << got;
      }
    }
  }

  // After a fault, the run either ended at the password change with its message, or reported
  // the failing stage (never success); after no fault, it reported success with every file as
  // the clean run left it. Either way OK (or the message) ends the program with the keyboard
  // free, and an error ending's code.
  void ExpectOutcome(bool fired) {
    EXPECT_FALSE(rt().KeyboardLocked());
    if (rt().Ended() || !rt().FormVisible("ChangesMade")) {
      // Only the password change ends without the report: its own message, nothing written.
      ASSERT_TRUE(fired) << ::testing::PrintToString(Steps());
      ASSERT_FALSE(Messages().empty()) << ::testing::PrintToString(Steps());
      EXPECT_EQ(Messages().back(), ErrorBox(kMsgRecordMissing));
      EXPECT_EQ(setup().section, 2);
      rt().DismissMessageBox();
      EXPECT_TRUE(rt().Ended());
      EXPECT_EQ(rt().ExitCode(), 1);
      EXPECT_EQ(Snapshot(), before_);
      return;
    }
    const int section = setup().section;
    EXPECT_EQ(Report(), ChangesMadeText(section, setup().passchanged));
    if (fired) {
      EXPECT_NE(section, kSectionDone) << "a failed call was reported as success";
    } else {
      EXPECT_EQ(section, kSectionDone) << Report();
    }
    const DriveState now = Snapshot();
    if (section == kSectionDone) {
      EXPECT_EQ(now, after_);
      EXPECT_EQ(Attributes("MSDOS.SYS"), msdos_attributes_);
    } else {
      ExpectWholeFiles(section, now);
    }
    EXPECT_EQ(RecordFileContent(), RecordAfter(section));
    rt().Click("ChangesMade", "Command1");
    EXPECT_TRUE(rt().Ended());
    EXPECT_EQ(rt().ExitCode(), section == kSectionDone ? 0 : 1);
    EXPECT_FALSE(rt().KeyboardLocked());
  }

  DriveState before_;
  DriveState after_;
  int msdos_attributes_ = 0;
};

TEST_P(SetupFaultTest, EveryFailingCallLeavesWholeFilesAndAnHonestReport) {
  // The clean run: what every stage leaves, and proof that each stage has something to do.
  Apply(std::nullopt, 0);
  ASSERT_TRUE(rt().FormVisible("ChangesMade")) << ::testing::PrintToString(Steps());
  ASSERT_EQ(setup().section, kSectionDone) << Report();
  after_ = Snapshot();
  for (const char* path : {"PROGRAM FILES/VELLOMAR/SUPERMP.DAT", "WINDOWS/SYSTEM.REG",
                           "AUTOEXEC.BAT", "WINDOWS/DOSSTART.BAT", "MSDOS.SYS"}) {
    EXPECT_NE(before_[path], after_[path]) << path << " is not changed by the clean run";
  }
  ExpectOutcome(false);

  for (platform::FaultKind kind : platform::kFaultKinds) {
    int failed = 0;
    for (int k = 1;; ++k) {
      SCOPED_TRACE(std::string(platform::FaultKindName(kind)) + " call " + std::to_string(k));
      Apply(kind, k);
      const bool fired = faults().Fired();
      ExpectOutcome(fired);
      if (!fired) break;  // past the last call of this kind
      ++failed;
      ASSERT_LT(k, 100) << "the apply run keeps making calls of this kind";
    }
    RecordProperty(platform::FaultKindName(kind), failed);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SetupFaultTest, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vellomar::testing
