#pragma once
// Small forms for the UI tests: every event is noted in a journal, and each handler can be given
// extra steps by the test before the run starts.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/form.h"

namespace vellomar::ui::testing {

// What the forms' handlers did, in order ("Main.Load", "Child.Command1_Click", ...).
struct Journal {
  explicit Journal(Application&) {}
  std::vector<std::string> lines;
  // Extra steps of Form_Initialize by form name: set before the form is first used.
  std::map<std::string, std::function<void()>> on_initialize;
};

class Probe : public Form {
 public:
  Probe(Application& app, const std::string& name) : Form(app, name) {
    Command1.on_click = [this] { Handle("Command1_Click", click1); };
    Command2.on_click = [this] { Handle("Command2_Click", click2); };
    Text1.on_click = [this] { Note("Text1_Click"); };
    Check1.on_click = [this] { Note("Check1_Click"); };
    Option1.on_click = [this] { Note("Option1_Click"); };
    Option2.on_click = [this] { Note("Option2_Click"); };
    Timer1.on_timer = [this] { Handle("Timer1_Timer", tick); };
  }

  Label Label1{*this, "Label1"};
  TextBox Text1{*this, "Text1"};
  CommandButton Command1{*this, "Command1"};
  CommandButton Command2{*this, "Command2"};
  CheckBox Check1{*this, "Check1"};
  OptionButton Option1{*this, "Option1"};
  OptionButton Option2{*this, "Option2"};
  Timer Timer1{*this, "Timer1"};

  // Design-time interval of Timer1 (0: no timer).
  int timer_interval = 0;
  std::function<void()> load, activate, click1, click2, tick;
  std::function<void(int&, int)> query_unload;

  void Form_Initialize() override {
    Handle("Initialize", app().Get<Journal>().on_initialize[name()]);
  }
  void Form_Load() override { Handle("Load", load); }
  void Form_Activate() override { Handle("Activate", activate); }
  void Form_QueryUnload(int& cancel, int unload_mode) override {
    Note("QueryUnload " + std::to_string(unload_mode));
    if (query_unload) query_unload(cancel, unload_mode);
  }
  void Form_Unload() override { Note("Unload"); }

  void Note(const std::string& what) { app().Get<Journal>().lines.push_back(name() + "." + what); }

 protected:
  void InitializeComponent() override {
    InitCaption(name());
    Text1.max_length = 5;
    Text1.tab_index = 0;
    Command1.InitCaption("OK");
    Command1.is_default = true;
    Command1.tab_index = 1;
    Command2.InitCaption("Cancel");
    Command2.is_cancel = true;
    Command2.tab_index = 2;
    Option1.InitValue(1);
    Timer1.InitInterval(timer_interval);
    Timer1.InitEnabled(timer_interval > 0);
  }

 private:
  void Handle(const std::string& what, const std::function<void()>& hook) {
    Note(what);
    if (hook) hook();
  }
};

class MainForm : public Probe {
 public:
  explicit MainForm(Application& app) : Probe(app, "Main") {}
};
class ChildForm : public Probe {
 public:
  explicit ChildForm(Application& app) : Probe(app, "Child") {}
};
class GrandchildForm : public Probe {
 public:
  explicit GrandchildForm(Application& app) : Probe(app, "Grandchild") {}
};

}  // namespace vellomar::ui::testing

#include <gtest/gtest.h>

#include <memory>

#include "support/headless.h"
#include "support/test_machine.h"

namespace vellomar::ui::testing {

// A throw-away machine and a headless run of MainForm, set up by `setup` on the program thread
// before Run (the place to give handlers their extra steps).
class UiTest : public ::testing::Test {
 protected:
  ~UiTest() override { runtime_.reset(); }

  HeadlessRuntime& Launch(std::function<void(Application&)> setup,
                          HeadlessRuntime::Options options = {}) {
    runtime_ =
        std::make_unique<HeadlessRuntime>(machine_.services(), options, [setup](Application& app) {
          if (setup) setup(app);
          return app.Run<MainForm>();
        });
    runtime_->Start();
    return *runtime_;
  }

  std::vector<std::string>& Lines() { return runtime_->app().Get<Journal>().lines; }
  bool Noted(const std::string& line) {
    for (const std::string& l : Lines()) {
      if (l == line) return true;
    }
    return false;
  }
  int CountEvents(const std::string& ev) {
    int count = 0;
    for (const TraceEvent& event : runtime_->events()) count += event.ev == ev ? 1 : 0;
    return count;
  }

  vellomar::testing::TestMachine machine_;
  std::unique_ptr<HeadlessRuntime> runtime_;
};

}  // namespace vellomar::ui::testing
