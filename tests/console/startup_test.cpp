#include <gtest/gtest.h>

#include <stdexcept>

#include "console/console.h"
#include "platform/console_font.h"
#include "platform/sysinfo.h"
#include "settings_sandbox.h"
#include "startup/startup.h"
#include "ui/ui.h"

using startup::Sequence;

TEST(StartupSequence, StartsInOrderOnceAndStopsInReverse) {
  std::string log;
  Sequence s;
  s.Add({"a", [&] { log += "+a"; }, [&] { log += "-a"; }});
  s.Add({"b", [&] { log += "+b"; }, {}});
  s.Add({"c", [&] { log += "+c"; }, [&] { log += "-c"; }});
  s.Start();
  s.Start();  // already started: nothing runs twice
  EXPECT_EQ(log, "+a+b+c");
  s.Stop();
  s.Stop();
  EXPECT_EQ(log, "+a+b+c-c-a");
}

TEST(StartupSequence, FailedStepUndoesOnlyWhatStarted) {
  std::string log;
  Sequence s;
  s.Add({"a", [&] { log += "+a"; }, [&] { log += "-a"; }});
  s.Add({"b", [&] { throw std::runtime_error("b"); }, [&] { log += "-b"; }});
  s.Add({"c", [&] { log += "+c"; }, [&] { log += "-c"; }});
  EXPECT_THROW(s.Start(), std::runtime_error);
  EXPECT_EQ(s.Started(), std::vector<std::string>{"a"});
  s.Stop();
  EXPECT_EQ(log, "+a-a");
}

TEST(RunMainFlow, OpensConsoleSetsModeAndRestoresAtEnd) {
  platform::HeadlessTerminal term;
  int code = startup::RunMainFlow(term, [&] {
    EXPECT_TRUE(term.IsOpen());
    EXPECT_TRUE(console::ConsoleOpen());
    EXPECT_EQ(console::CodePageMode(), 50);
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(term.IsOpen());
  EXPECT_FALSE(console::ConsoleOpen());
  EXPECT_EQ(console::CodePageMode(), 0);
}

TEST(RunMainFlow, EndProgramReturnsItsCodeAfterShutDown) {
  platform::HeadlessTerminal term;
  int code = startup::RunMainFlow(term, [] { console::EndProgram(7); });
  EXPECT_EQ(code, 7);
  EXPECT_FALSE(term.IsOpen());
}

namespace {
class NoConsole : public platform::HeadlessTerminal {
 public:
  bool Open(std::string& reason) override {
    reason = "no console";
    return false;
  }
};
}  // namespace

TEST(RunMainFlow, WithoutConsoleEndsWithCodeOneBeforeTheMainFlow) {
  NoConsole term;
  bool ran = false;
  testing::internal::CaptureStderr();
  int code = startup::RunMainFlow(term, [&] { ran = true; });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, 1);
  EXPECT_FALSE(ran);
  EXPECT_EQ(err, "no console\n");
}

TEST(RunMainFlow, OtherFailuresStillShutDown) {
  platform::HeadlessTerminal term;
  EXPECT_THROW(startup::RunMainFlow(term, [] { throw std::logic_error("x"); }), std::logic_error);
  EXPECT_FALSE(term.IsOpen());
  EXPECT_EQ(console::CodePageMode(), 0);
}

class RunProgramSettings : public SettingsSandbox {};

TEST_F(RunProgramSettings, StartsTheFontControlOnceHandsItTheFontKeysAndUndoesIt) {
  platform::HeadlessTerminal term;
  platform::HeadlessFontControl control;
  int code = startup::RunMainFlow(
      term,
      [&] {
        EXPECT_TRUE(console::FontControlReady());
        EXPECT_EQ(control.Remembers, 1);
        EXPECT_EQ(console::ComputerName(), platform::ComputerName());
        EXPECT_EQ(console::UserName(), "");
        int height = control.Height;
        console::ConsoleStartup();  // the utility start-up's second call
        EXPECT_EQ(control.Height, height);
        EXPECT_EQ(control.Remembers, 1);
        term.PushKey(platform::scan::kUp, 0, platform::kLeftAlt);
        EXPECT_EQ(ui::ReadEvent(), 0);  // consumed by the font step
        EXPECT_EQ(control.Height, height + 1);
      },
      &control);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(control.Restores, 1);
  EXPECT_EQ(control.Unloads, 1);
  EXPECT_FALSE(console::FontControlReady());
}
