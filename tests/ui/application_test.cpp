// Form life cycle, modal nesting, ending and run-time errors, as the Application delivers them.

#include <functional>
#include <stdexcept>

#include "platform/errors.h"
#include "ui_test_forms.h"

namespace vellomar::ui::testing {
namespace {

using Lines_ = std::vector<std::string>;

TEST_F(UiTest, StartupFormGetsInitializeLoadActivateThenShows) {
  HeadlessRuntime& run = Launch(nullptr);
  EXPECT_EQ(Lines(), (Lines_{"Main.Initialize", "Main.Load", "Main.Activate"}));
  EXPECT_TRUE(run.FormVisible("Main"));
  EXPECT_FALSE(run.Ended());
  EXPECT_EQ(run.Transcript(), "{\"ev\":\"show\",\"form\":\"Main\",\"modal\":false}\n");
  EXPECT_EQ(run.Focused(), "Main.Text1") << "the first control in tab order has the focus";
}

TEST_F(UiTest, FormHiddenDuringItsLoadStaysLoadedAndUnloadedEndsTheProgram) {
  for (bool unload : {false, true}) {
    SCOPED_TRACE(unload ? "unloaded" : "hidden");
    HeadlessRuntime& run = Launch([unload](Application& app) {
      auto& main = app.Get<MainForm>();
      main.load = [&main, unload] { unload ? main.Unload() : main.Hide(); };
    });
    EXPECT_EQ(CountEvents("show"), 0);
    EXPECT_FALSE(run.FormVisible("Main"));
    EXPECT_EQ(run.FormLoaded("Main"), !unload);
    EXPECT_FALSE(Noted("Main.Activate"));
    EXPECT_EQ(Noted("Main.QueryUnload 1"), unload);
    EXPECT_EQ(run.Ended(), unload) << "a hidden but loaded form keeps the program running";
    EXPECT_EQ(run.ExitCode(), 0);
  }
}

TEST_F(UiTest, ModalShowReturnsWhenTheChildHidesOrUnloads) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    auto& child = app.Get<ChildForm>();
    main.click1 = [&] {
      child.Show(true);
      main.Note("modal returned");
    };
    child.click1 = [&] { child.Hide(); };
    child.click2 = [&] { child.Unload(); };
  });
  run.Click("Main", "Command1");
  EXPECT_TRUE(run.FormVisible("Child"));
  EXPECT_FALSE(Noted("Main.modal returned")) << "Show vbModal must not return yet";

  run.Click("Child", "Command1");
  EXPECT_TRUE(Noted("Main.modal returned"));
  EXPECT_TRUE(run.FormLoaded("Child"));
  Lines().clear();

  run.Click("Main", "Command1");
  EXPECT_EQ(Lines(), (Lines_{"Main.Command1_Click", "Child.Activate"}))
      << "a loaded child is shown again without a second Load";
  run.PressEscape("Child");
  EXPECT_EQ(Lines(), (Lines_{"Main.Command1_Click", "Child.Activate", "Child.Command2_Click",
                             "Child.QueryUnload 1", "Child.Unload", "Main.modal returned"}));
  EXPECT_FALSE(run.FormLoaded("Child"));
}

TEST_F(UiTest, EndInsideTwoNestedModalLoopsEndsTheRunAndNothingElseRuns) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    auto& child = app.Get<ChildForm>();
    auto& grandchild = app.Get<GrandchildForm>();
    main.timer_interval = 100;
    main.click1 = [&] {
      child.Show(true);
      main.Note("after child");
    };
    child.click1 = [&] {
      grandchild.Show(true);
      child.Note("after grandchild");
    };
    grandchild.click1 = [&] { app.End(); };
    grandchild.query_unload = [&](int&, int) { grandchild.Note("must not run"); };
  });
  run.Click("Main", "Command1");
  run.Click("Child", "Command1");
  Lines().clear();
  run.Click("Grandchild", "Command1");

  EXPECT_TRUE(run.Ended());
  EXPECT_EQ(run.ExitCode(), 0);
  EXPECT_EQ(Lines(), (Lines_{"Grandchild.Command1_Click"}));
  EXPECT_EQ(run.events().back().ev, "end");
  EXPECT_EQ(CountEvents("end"), 1);
  EXPECT_THROW(run.AdvanceTime(1000), std::logic_error) << "an ended program takes no input";
}

TEST_F(UiTest, RunTimeErrorEscapingAHandlerIsShownReleasesTheLockAndEnds) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.timer_interval = 100;
    main.load = [&] { app.SetScreenSaverRunning(true); };
    main.click1 = [] { throw RuntimeError(errc::kFileNotFound, "File not found"); };
  });
  ASSERT_TRUE(run.KeyboardLocked());
  run.AdvanceTime(150);
  ASSERT_TRUE(Noted("Main.Timer1_Timer"));
  Lines().clear();

  run.Click("Main", "Command1");
  using Box = std::pair<std::string, std::string>;
  EXPECT_EQ(run.MessageBoxes(),
            (std::vector<Box>{Box{"kestrom", "Run-time error '53':\n\nFile not found"}}));
  EXPECT_FALSE(run.Ended());
  run.AdvanceTime(1000);
  EXPECT_EQ(Lines(), (Lines_{"Main.Command1_Click"})) << "no handler runs under the error box";

  run.DismissMessageBox();
  EXPECT_TRUE(run.Ended());
  EXPECT_EQ(run.ExitCode(), 1) << "an ending after an error says so";
  EXPECT_FALSE(run.KeyboardLocked());
  const auto& events = run.events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2].JsonWithoutTime(),
            "{\"ev\":\"keyboard_lock\",\"engaged\":false}");
  EXPECT_EQ(events.back().ev, "end");
}

TEST_F(UiTest, RunTimeErrorInALoadGoesToTheHandlerThatShowedTheForm) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    auto& child = app.Get<ChildForm>();
    child.load = [] { throw RuntimeError(errc::kPathNotFound, "Path not found"); };
    main.click1 = [&] {
      try {
        child.Show();
      } catch (const RuntimeError& error) {
        main.Note("handled " + std::to_string(error.code()));
      }
    };
  });
  run.Click("Main", "Command1");
  EXPECT_TRUE(Noted("Main.handled 76"));
  EXPECT_TRUE(run.MessageBoxes().empty());
  EXPECT_FALSE(run.Ended());
}

TEST_F(UiTest, TimersKeepFiringInsideAMessageBoxAndAModalLoop) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.timer_interval = 100;
    main.click1 = [&] {
      app.MsgBox("Hello", "Error");
      main.Note("box closed");
    };
    main.click2 = [&] { app.Get<ChildForm>().Show(true); };
  });
  auto ticks = [&] {
    int n = 0;
    for (const auto& line : Lines()) n += line == "Main.Timer1_Timer" ? 1 : 0;
    return n;
  };
  run.Click("Main", "Command1");
  EXPECT_THROW(run.Click("Main", "Command2"), std::logic_error) << "the box is modal";
  run.AdvanceTime(1000);
  EXPECT_EQ(ticks(), 10);
  EXPECT_FALSE(Noted("Main.box closed"));
  run.DismissMessageBox();
  EXPECT_TRUE(Noted("Main.box closed"));
  EXPECT_EQ(CountEvents("msgbox_closed"), 1);

  run.Click("Main", "Command2");
  run.AdvanceTime(500);
  EXPECT_EQ(ticks(), 15);
  EXPECT_TRUE(run.FormVisible("Child"));
}

TEST_F(UiTest, TicksMissedWhileAHandlerSleepsAreDropped) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.timer_interval = 100;
    main.tick = [&, first = true]() mutable {
      if (first) app.Wait(0.35);  // busy until 450 ms: the ticks of 200, 300 and 400 are missed
      first = false;
    };
  });
  run.AdvanceTime(450);
  EXPECT_EQ(Lines().size(), 4u) << "Initialize, Load, Activate and one tick";
  run.AdvanceTime(40);  // the wait overshoots by a few ms on the float clock; still before 500
  EXPECT_EQ(Lines().size(), 4u);
  run.AdvanceTime(20);
  EXPECT_EQ(Lines().back(), "Main.Timer1_Timer") << "the next tick keeps the 100 ms grid";
  EXPECT_EQ(Lines().size(), 5u);
}

TEST_F(UiTest, DoEventsDeliversTicksThatFellDueDuringAWait) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.timer_interval = 100;
    main.click1 = [&] {
      app.Wait(0.25);
      main.Note("waited");
      app.DoEvents();
      main.Note("events done");
    };
  });
  run.Click("Main", "Command1");
  EXPECT_EQ(Lines(), (Lines_{"Main.Initialize", "Main.Load", "Main.Activate", "Main.Command1_Click",
                             "Main.waited", "Main.Timer1_Timer", "Main.events done"}));
}

TEST_F(UiTest, CloseRequestsCarryTheirReasonAndMayBeRefused) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.query_unload = [](int& cancel, int mode) {
      if (mode == 0 || mode == 3) cancel = 1;
    };
  });
  run.Close("Main", 0);
  run.Close("Main", 3);
  EXPECT_TRUE(run.FormVisible("Main"));
  EXPECT_EQ(CountEvents("unload"), 0);

  run.Close("Main", 2);
  EXPECT_FALSE(run.FormLoaded("Main"));
  EXPECT_EQ(Lines(), (Lines_{"Main.Initialize", "Main.Load", "Main.Activate", "Main.QueryUnload 0",
                             "Main.QueryUnload 3", "Main.QueryUnload 2", "Main.Unload"}));
  EXPECT_TRUE(run.Ended()) << "the last loaded form went";
}

TEST_F(UiTest, PublicVariablesOutliveUnloadAndReloadStartsFromDesignValues) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    auto& child = app.Get<ChildForm>();
    main.click1 = [&] { child.Show(); };
    child.click1 = [&] {
      child.timer_interval = 250;  // a plain member: kept across Unload
      child.Label1.SetCaption("changed");
      child.Unload();
    };
  });
  run.Click("Main", "Command1");
  run.Click("Child", "Command1");
  EXPECT_FALSE(run.FormLoaded("Child"));
  run.Click("Main", "Command1");
  EXPECT_EQ(run.Caption("Child", "Label1"), "") << "controls start again from design values";
  EXPECT_EQ(run.app().Get<ChildForm>().Timer1.Interval(), 250);
}

TEST_F(UiTest, ClicksActOnTheControlsAsTheUserSeesThem) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.load = [&] { main.Command2.SetEnabled(false); };
  });
  auto& main = run.app().Get<MainForm>();
  run.Click("Main", "Check1");
  EXPECT_EQ(main.Check1.Value(), 1);
  run.Click("Main", "Check1");
  EXPECT_EQ(main.Check1.Value(), 0);
  run.Click("Main", "Option2");
  EXPECT_EQ(main.Option1.Value(), 0);
  EXPECT_EQ(main.Option2.Value(), 1);
  run.Click("Main", "Command2");
  run.PressEscape("Main");
  EXPECT_FALSE(Noted("Main.Command2_Click")) << "a disabled button cannot be pressed";
  run.PressEnter("Main");
  EXPECT_TRUE(Noted("Main.Command1_Click"));
  EXPECT_EQ(run.Focused(), "Main.Option2");

  run.Type("Main", "Text1", "abcdefgh");
  EXPECT_EQ(run.Text("Main", "Text1"), "abcde") << "cut to the box's maximum length";
  EXPECT_EQ(run.Focused(), "Main.Text1");
  EXPECT_EQ(CountEvents("set"), 5) << "Command2 disabled, two check values, two option values";
}

TEST_F(UiTest, KeyboardRulesEnterEscAndAccessKeys) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.load = [&] {
      main.Label1.SetCaption("&Name:");  // tab index 0, as Text1: it names Text1
      main.Check1.SetCaption("&Tick");
      main.Command2.SetCaption("&Quit");
      main.Check1.tab_index = 3;
      main.Option1.tab_index = 4;
      main.Option2.tab_index = 5;
    };
  });
  auto& main = run.app().Get<MainForm>();
  EXPECT_EQ(run.Focused(), "Main.Text1") << "the first control in tab order has the focus";

  struct Step {
    const char* what;
    std::function<void()> act;
    const char* focused;
    const char* noted;  // the handler it ran, nullptr: none
  };
  const Step steps[] = {
      {"Enter on a focused button presses it, not the default",
       [&] {
         run.Focus("Main", "Command2");
         run.PressEnter("Main");
       },
       "Main.Command2", "Main.Command2_Click"},
      {"Enter on a check box presses the default button",
       [&] {
         run.Focus("Main", "Check1");
         run.PressEnter("Main");
       },
       "Main.Check1", "Main.Command1_Click"},
      {"Esc presses the cancel button", [&] { run.PressEscape("Main"); }, "Main.Check1",
       "Main.Command2_Click"},
      {"a label's key moves to the control it names, clicking nothing",
       [&] { run.PressAccessKey("Main", 'n'); }, "Main.Text1", nullptr},
      {"a check box's key (any case) focuses and ticks it",
       [&] { run.PressAccessKey("Main", 'T'); }, "Main.Check1", "Main.Check1_Click"},
      {"a button's key presses it", [&] { run.PressAccessKey("Main", 'q'); }, "Main.Command2",
       "Main.Command2_Click"},
      {"a key nobody has does nothing", [&] { run.PressAccessKey("Main", 'z'); }, "Main.Command2",
       nullptr},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    Lines().clear();
    step.act();
    EXPECT_EQ(run.Focused(), step.focused);
    EXPECT_EQ(Lines(), step.noted ? Lines_{step.noted} : Lines_{});
  }
  EXPECT_EQ(main.Check1.Value(), 1);

  // A label whose control cannot take the focus passes it on in tab order, wrapping round.
  main.Label1.tab_index = 9;
  run.PressAccessKey("Main", 'n');
  EXPECT_EQ(run.Focused(), "Main.Text1");
  main.Text1.SetEnabled(false);
  main.Label1.tab_index = 0;
  run.PressAccessKey("Main", 'n');
  EXPECT_EQ(run.Focused(), "Main.Command1");
}

TEST_F(UiTest, ScriptedActionsRefuseTargetsTheUserCannotReach) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.click1 = [&] { main.Hide(); };
    main.load = [&] { main.Label1.SetVisible(false); };
  });
  EXPECT_THROW(run.Click("Main", "Nothing"), std::logic_error);
  EXPECT_THROW(run.Click("Main", "Label1"), std::logic_error);
  EXPECT_THROW(run.Click("Nobody", "Command1"), std::logic_error);
  EXPECT_THROW(run.DismissMessageBox(), std::logic_error);
  run.Click("Main", "Command1");
  EXPECT_THROW(run.Type("Main", "Text1", "x"), std::logic_error);
  EXPECT_THROW(run.Close("Main", 0), std::logic_error);
  run.Close("Main", 2);  // shutdown reaches hidden windows too
  EXPECT_TRUE(run.Ended());
}

TEST_F(UiTest, DestroyingTheRuntimeUnwindsAProgramWaitingInAModalLoop) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.click1 = [&] {
      app.Get<ChildForm>().Show(true);
      main.Note("must not run");
    };
  });
  run.Click("Main", "Command1");
  ASSERT_FALSE(run.Ended());
  runtime_.reset();  // joins the program thread; a hang here is the failure
  SUCCEED();
}

}  // namespace
}  // namespace vellomar::ui::testing
