// The trace lines and the headless runtime's virtual clock.

#include <fstream>

#include "platform/clock.h"
#include "ui_test_forms.h"

namespace vellomar::ui::testing {
namespace {

TEST(TraceEventTest, JsonEscapesQuotesBackslashesControlsAndHighBytes) {
  TraceEvent event;
  event.t = 42;
  event.ev = "msgbox";
  event.fields = {{"title", std::string("Error")},
                  {"text", std::string("a \"b\" c\\d\n\te\x01 caf\xe9")},
                  {"n", -7L},
                  {"ok", true}};
  EXPECT_EQ(event.Json(),
            "{\"t\":42,\"ev\":\"msgbox\",\"title\":\"Error\","
            "\"text\":\"a \\\"b\\\" c\\\\d\\n\\te\\u0001 caf\\u00e9\",\"n\":-7,\"ok\":true}");
  EXPECT_EQ(event.Get("text"), "a \"b\" c\\d\n\te\x01 caf\xe9");
  EXPECT_EQ(event.Get("ok"), "true");
  EXPECT_EQ(event.Get("missing"), "");

  const TraceEvent back = ParseTraceLine(event.Json());
  EXPECT_EQ(back.t, 42);
  EXPECT_EQ(back.Json(), event.Json());
  EXPECT_THROW(ParseTraceLine("{\"ev\":\"show\""), std::invalid_argument);
}

// Found by the trace line fuzzer: a number too large for a long escaped as std::out_of_range,
// and a \u escape took whatever prefix of its four characters parsed as hex.
TEST(TraceEventTest, MalformedLinesAreRefusedAsInvalid) {
  for (const char* line : {R"({"t":99999999999999999999,"ev":"end"})", R"({"t":-,"ev":"end"})",
                           R"({"ev":"x","v":"\u12zz"})", R"({"ev":"x","v":"\u 123"})",
                           R"({"ev":"x","v":"\u-123"})", R"({"ev":"x","v":"\u+0ff"})"}) {
    EXPECT_THROW(ParseTraceLine(line), std::invalid_argument) << line;
  }
  EXPECT_EQ(ParseTraceLine(R"({"ev":"x","v":"\u00E9\u20ac"})").Get("v"), "\xe9\xe2\x82\xac");
}

// A password box's text is traced masked.
TEST_F(UiTest, SetIsTracedOnlyForRealChangesOfALoadedForm) {
  HeadlessRuntime& run = Launch([](Application& app) {
    app.Get<Journal>().on_initialize["Main"] = [&] {
      app.Get<MainForm>().Label1.SetCaption("before load");
    };
    auto& main = app.Get<MainForm>();
    main.click1 = [&] {
      main.Label1.SetCaption("one");
      main.Label1.SetCaption("one");
      main.Text1.SetText("typed");
      main.Text1.password_char = '*';
      main.Text1.SetText("secret");
      main.Command2.SetVisible(false);
      main.Command2.SetVisible(false);
      main.Check1.SetValue(1);
      main.SetCaption("New title");
    };
  });
  run.Click("Main", "Command1");
  EXPECT_EQ(run.Transcript(),
            "{\"ev\":\"show\",\"form\":\"Main\",\"modal\":false}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"control\":\"Label1\",\"prop\":\"caption\","
            "\"value\":\"one\"}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"control\":\"Text1\",\"prop\":\"text\","
            "\"value\":\"typed\"}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"control\":\"Text1\",\"prop\":\"text\","
            "\"value\":\"******\"}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"control\":\"Command2\",\"prop\":\"visible\","
            "\"value\":false}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"control\":\"Check1\",\"prop\":\"value\","
            "\"value\":1}\n"
            "{\"ev\":\"set\",\"form\":\"Main\",\"prop\":\"caption\",\"value\":\"New title\"}\n");
}

TEST_F(UiTest, KeyboardLockIsTracedOnlyWhenItsStateChanges) {
  HeadlessRuntime& run = Launch([](Application& app) {
    app.Get<Journal>().on_initialize["Main"] = [&] { app.SetScreenSaverRunning(true); };
    auto& main = app.Get<MainForm>();
    main.load = [&] {
      EXPECT_EQ(app.SetScreenSaverRunning(true), 1);
      app.SetScreenSaverRunning(true);
    };
    main.click1 = [&] {
      app.SetScreenSaverRunning(false);
      app.SetScreenSaverRunning(false);
    };
  });
  EXPECT_EQ(run.keyboard_lock().engage_calls(), 3);
  run.Click("Main", "Command1");
  EXPECT_EQ(run.Transcript(),
            "{\"ev\":\"keyboard_lock\",\"engaged\":true}\n"
            "{\"ev\":\"show\",\"form\":\"Main\",\"modal\":false}\n"
            "{\"ev\":\"keyboard_lock\",\"engaged\":false}\n");
}

TEST_F(UiTest, TopmostPlacementShowsAHiddenFormWithoutActivatingIt) {
  HeadlessRuntime& run = Launch([](Application& app) {
    auto& main = app.Get<MainForm>();
    main.click1 = [&] {
      auto& child = app.Get<ChildForm>();
      child.load = [&] {
        const ScreenMetrics screen = app.Screen();
        app.SetWindowPosTopmost(child, 0, 0, screen.width_twips / screen.twips_per_pixel_x,
                                screen.height_twips / screen.twips_per_pixel_y - 100);
      };
      child.Show();
    };
  });
  run.SetScreenSize(1400, 1050);
  run.Click("Main", "Command1");
  const auto placed = run.PlacementOf("Child");
  EXPECT_EQ(placed.width, 1400);
  EXPECT_EQ(placed.height, 950);
  EXPECT_TRUE(placed.topmost);
  EXPECT_EQ(CountEvents("show"), 2) << "the placement showed Child, Show did not repeat it";
  EXPECT_EQ(run.events().back().JsonWithoutTime(),
            "{\"ev\":\"place\",\"form\":\"Child\",\"x\":0,"
            "\"y\":0,\"w\":1400,\"h\":950,\"topmost\":true}")
      << "Show after the placement only brings Child to the front";
}

TEST_F(UiTest, TraceFileGetsOneTimedLinePerEvent) {
  const std::string path = (machine_.host_root() / "trace.jsonl").string();
  HeadlessRuntime::Options options;
  options.trace_path = path;
  HeadlessRuntime& run = Launch(
      [](Application& app) {
        auto& main = app.Get<MainForm>();
        main.timer_interval = 1000;
        main.tick = [&] { main.Label1.SetCaption(std::to_string(app.Timer())); };
      },
      options);
  run.AdvanceTime(2500);
  std::ifstream file(path);
  std::string line;
  std::vector<TraceEvent> read;
  while (std::getline(file, line)) read.push_back(ParseTraceLine(line));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].t, 0);
  EXPECT_EQ(read[1].t, 1000);
  EXPECT_EQ(read[2].t, 2000);
  EXPECT_EQ(read[2].Get("control"), "Label1");
}

// The start-up prompt's minute across midnight is tested on the form itself (tests/forms).
TEST_F(UiTest, VirtualClockWrapsAtMidnightAndTimersRunBehindAHiddenForm) {
  HeadlessRuntime::Options options;
  options.start_time_of_day = 86370;
  float start = 0;
  std::vector<float> readings;
  HeadlessRuntime& run = Launch(
      [&](Application& app) {
        auto& main = app.Get<MainForm>();
        main.timer_interval = 20000;
        main.load = [&] {
          start = app.Timer();
          main.Hide();
        };
        main.tick = [&] { readings.push_back(app.Timer()); };
      },
      options);
  run.AdvanceTime(60000);
  EXPECT_FLOAT_EQ(start, 86370.0f);
  ASSERT_EQ(readings.size(), 3u) << "a hidden form's timer still fires";
  EXPECT_FLOAT_EQ(readings[0], 86390.0f);
  EXPECT_FLOAT_EQ(readings[1], 10.0f);
  EXPECT_FLOAT_EQ(readings[2], 30.0f);
  EXPECT_NEAR(platform::ElapsedSeconds(start, readings[2]), 60.0, 0.01);
  EXPECT_DOUBLE_EQ(run.VirtualSeconds(), 60.0);
}

}  // namespace
}  // namespace vellomar::ui::testing
