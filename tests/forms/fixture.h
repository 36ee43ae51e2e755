#pragma once
// A fresh installation per test: a temporary drive C: holding C:\WINDOWS and the program folder
// C:\Program Files\Vellomar (the current directory) with supermp.dat, and a headless run of
// kestrom.exe on it, on the emulated machine or the Win32 one (support/test_machine.h). Tests of
// the locking screens and of the wizard share it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#ifndef _WIN32
#include "support/fault_injection.h"
#endif
#include "platform/keyboard_lock.h"
#include "record/password_record.h"
#include "startup/pass_main.h"
#include "support/headless.h"
#include "support/test_machine.h"
#include "system/startup_entry.h"
#include "ui/application.h"

namespace vellomar::testing {

inline constexpr char kPassword[] = "Secret1";

class FormsFixture : public ::testing::Test {
 public:
  // `whole_drive`: the installation sits at a drive's root, for the suites that edit the boot
  // files there (support/test_machine.h).
  explicit FormsFixture(bool whole_drive = false) : drive_(whole_drive) {
    std::filesystem::create_directories(drive_c() / "WINDOWS");
    std::filesystem::create_directories(program_dir());
    machines_ = std::make_unique<DriveMachines>(drive_c());
    WritePassword(kPassword);
  }

  ~FormsFixture() override {
    runtime_.reset();
#ifndef _WIN32
    faulty_.reset();
#endif
    machine_.reset();
    machines_.reset();
  }

  std::filesystem::path drive_c() const {
    return drive_.drive_c();
  }
  std::filesystem::path program_dir() const {
    return drive_c() / "Program Files" / "Vellomar";
  }
  std::filesystem::path record_file() const {
    return program_dir() / "supermp.dat";
  }

  // The record line for a plain password: markers around the encoded password.
  static std::string RecordLine(const std::string& plain, const std::string& digits = "") {
    return std::string(kStartMarker) + EncodePassword(plain) + kEndMarker + digits;
  }
  // "/SU:" and the record, as the start-up commands carry it.
  static std::string SuArgument(const std::string& plain) {
    return BuildRecordArgument(EncodePassword(plain));
  }
  // The logon runner's value under the Run key, beside the start-up entry; "" when there is none.
  std::string LogonRunner() const {
    VariantValue value;
    ReadMachineValue(machines_->Make(program_dir())->registry(), platform::kRunKey,
                     kStartupValueName, value);
    return VariantText(value);
  }
  // What it holds beside an `entry`: the program folder's vellomar-start.exe on the Win32 machine
  // of the NT family, whose registry handles keep their access; elsewhere none is written.
  std::string ExpectedLogonRunner(bool entry) const {
#ifdef _WIN32
    if (entry && RegistryHandlesKeepTheirAccess()) {
      return "\"" + machines_->Dos("Program Files/Vellomar/vellomar-start.exe") + "\"";
    }
#endif
    (void)entry;
    return "";
  }
  static std::string PlaceholderLine() {
    return std::string(kStartMarker) + kNoPasswordPlaceholder + kEndMarker;
  }

  // Replaces supermp.dat with exactly `content`.
  void WriteRecordFile(const std::string& content) {
    std::ofstream(record_file(), std::ios::binary | std::ios::trunc) << content;
  }
  void WritePassword(const std::string& plain, const std::string& digits = "1100") {
    WriteRecordFile(RecordLine(plain, digits) + "\r\n");
  }
  void WritePlaceholder() {
    WriteRecordFile(PlaceholderLine() + "\r\n");
  }
  void RemoveRecordFile() {
    std::filesystem::remove(record_file());
  }
  std::string RecordFileContent() const {
    std::ifstream in(record_file(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Builds the machine and the headless runtime without starting the program, so a test can
  // prepare the runtime first. `start` runs the program; PassMain by default.
  ui::HeadlessRuntime& Create(ui::HeadlessRuntime::Options options,
                              std::function<int(ui::Application&)> start = nullptr) {
    if (!start) start = [](ui::Application& app) { return app.Run<PassMain>(); };
    runtime_.reset();
#ifndef _WIN32
    faulty_.reset();
    machine_ = machines_->Make(program_dir());
    if (inject_faults_) faulty_ = std::make_unique<platform::FaultInjectingPlatform>(*machine_);
    const platform::Services services = faulty_ ? faulty_->services() : machine_->services();
#else
    machine_ = machines_->Make(program_dir());
    const platform::Services services = machine_->services();
#endif
    runtime_ =
        std::make_unique<ui::HeadlessRuntime>(services, std::move(options), std::move(start));
    return *runtime_;
  }

#ifndef _WIN32
  // Runs the next program on the fault-injecting platform (emulated machine only); faults()
  // plans which call fails.
  void UseFaultInjection() {
    inject_faults_ = true;
  }
  platform::FaultPlan& faults() {
    return faulty_->plan();
  }
#endif

  // Starts kestrom.exe with `command_line` and returns when it waits for input or has ended.
  ui::HeadlessRuntime& Start(const std::string& command_line) {
    ui::HeadlessRuntime::Options options;
    options.command_line = command_line;
    return Start(std::move(options));
  }
  ui::HeadlessRuntime& Start(ui::HeadlessRuntime::Options options) {
    ui::HeadlessRuntime& runtime = Create(std::move(options));
    runtime.Start();
    return runtime;
  }

  // Makes engaging the keyboard lock fail from its `from_call`-th call on (1 = the first), with
  // a RuntimeError of `code`, as when another client holds the keyboard grab. Call between
  // Create() and Start(). (The runtime's lock is a plain member; the accessor is only const.)
  void FailKeyboardLock(int from_call, int code = errc::kKeyboardLockUnavailable) {
    auto& lock = runtime_->keyboard_lock();
    auto calls = std::make_shared<int>(0);
    lock.before_engage = [calls, from_call, code] {
      if (++*calls >= from_call) throw RuntimeError(code, "The keyboard is held by another client");
    };
  }

  // Types `text` into the form's password box and presses Enter.
  void TypeAndEnter(const std::string& form, const std::string& text) {
    runtime_->Type(form, "Text1", text);
    runtime_->PressEnter(form);
  }

  ui::HeadlessRuntime& rt() {
    return *runtime_;
  }
  DriveMachines::Machine& machine() {
    return *machine_;
  }
  const DriveMachines& machines() const {
    return *machines_;
  }

  // The run so far as short lines, one per trace event: "show Kestrom", "hide PassMain",
  // "unload Kestrom", "set Kestrom.Label3.caption=...", "msgbox Error: text", "msgbox_closed",
  // "place Kestrom 0,0 1024x700", "lock on", "lock off", "end". PassMain's countdown refreshes
  // are left out: they happen ten times a second and say nothing about the steps.
  std::vector<std::string> Steps() const {
    std::vector<std::string> steps;
    for (const auto& [t, step] : TimedSteps()) steps.push_back(step);
    return steps;
  }

  // Steps() with the time of each, in ms since the start of the run.
  std::vector<std::pair<long, std::string>> TimedSteps() const {
    std::vector<std::pair<long, std::string>> steps;
    for (const ui::TraceEvent& e : runtime_->events()) {
      const std::string step = StepOf(e);
      if (!step.empty()) steps.emplace_back(e.t, step);
    }
    return steps;
  }

  // The time of the first step equal to `step`, -1 when there is none.
  long TimeOf(const std::string& step) const {
    for (const auto& [t, s] : TimedSteps()) {
      if (s == step) return t;
    }
    return -1;
  }

  static std::string StepOf(const ui::TraceEvent& e) {
    const std::string form = e.Get("form");
    if (e.ev == "set") {
      if (form == "PassMain" && e.Get("control") == "Label2" && e.Get("prop") == "caption") {
        return "";
      }
      return "set " + form + "." + e.Get("control") + "." + e.Get("prop") + "=" + e.Get("value");
    }
    if (e.ev == "show" || e.ev == "hide" || e.ev == "unload") return e.ev + " " + form;
    if (e.ev == "msgbox") return "msgbox " + e.Get("title") + ": " + e.Get("text");
    if (e.ev == "place") {
      return "place " + form + " " + e.Get("x") + "," + e.Get("y") + " " + e.Get("w") + "x" +
             e.Get("h");
    }
    if (e.ev == "keyboard_lock") return e.Get("engaged") == "true" ? "lock on" : "lock off";
    return e.ev;
  }

  // The messages shown so far, open or closed: "title: text".
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    for (const ui::TraceEvent& e : runtime_->events()) {
      if (e.ev == "msgbox") messages.push_back(e.Get("title") + ": " + e.Get("text"));
    }
    return messages;
  }

  // True when `expected` occur in Steps() in this order (other steps may come between).
  ::testing::AssertionResult StepsInOrder(const std::vector<std::string>& expected) const {
    const std::vector<std::string> steps = Steps();
    std::size_t at = 0;
    for (const std::string& want : expected) {
      while (at < steps.size() && steps[at] != want) ++at;
      if (at == steps.size()) {
        std::ostringstream out;
        out << "missing or out of order: \"" << want << "\"\nsteps were:\n";
        for (const std::string& step : steps) out << "  " << step << "\n";
        return ::testing::AssertionFailure() << out.str();
      }
      ++at;
    }
    return ::testing::AssertionSuccess();
  }

 private:
  TestDrive drive_;
  std::unique_ptr<DriveMachines> machines_;
  std::unique_ptr<DriveMachines::Machine> machine_;
#ifndef _WIN32
  bool inject_faults_ = false;
  std::unique_ptr<platform::FaultInjectingPlatform> faulty_;
#endif
  std::unique_ptr<ui::HeadlessRuntime> runtime_;
};

inline std::string ErrorBox(const std::string& text) {
  return "Error: " + text;
}

}  // namespace vellomar::testing
