// The font control on a scripted console: fitting 80 x 25 to the screen,
// stepping the font, centring the window, and the once-only start.
#include "platform/codepage.h"
#include "platform/console_font.h"
#include "platform/registry.h"
#include "platform/terminal.h"
#include "settings_sandbox.h"

namespace {

using namespace platform::literals;
using platform::ConsoleSize;
using platform::HeadlessFontControl;

class FontControlTest : public SettingsSandbox {
 protected:
  void SetUp() override {
    SettingsSandbox::SetUp();
    console::SetFontControl(&control);
  }
  void TearDown() override {
    console::SetFontControl(nullptr);
    SettingsSandbox::TearDown();
  }

  bool FitsAt(int height) {
    int saved = control.Height;
    control.Height = height;
    ConsoleSize most = control.LargestWindow();
    control.Height = saved;
    return most.Columns >= 80 && most.Rows >= 25;
  }

  std::int64_t StoredHeight() {
    platform::RegistryKey key;
    if (!key.Open(platform::Hive::kCurrentUser, "\\Software\\Tormex\\Console", false)) return -1;
    return key.ReadDword("FontSize21").value_or(0) >> 16;
  }

  const console::FontState& Font() { return console::Settings().Font; }

  HeadlessFontControl control{1920, 1040};
};

TEST_F(FontControlTest, FitEndsOneStepBelowTheLargestHeightThatHoldsEightyByTwentyFive) {
  ASSERT_TRUE(console::LoadFontControl());
  console::FitConsole(0, "");
  EXPECT_EQ(Font().Largest, 41);  // 1920 / 24 = 80 columns, 1040 / 41 = 25 rows
  EXPECT_TRUE(FitsAt(41));
  EXPECT_FALSE(FitsAt(42));
  EXPECT_EQ(Font().Height, 40);
  EXPECT_EQ(control.Height, 40);
  EXPECT_EQ(control.Face, "Lucida Console");
  EXPECT_EQ(control.Buffer, (ConsoleSize{80, 25}));
  EXPECT_EQ(control.Window, (platform::ConsoleRect{0, 0, 79, 24}));
  EXPECT_EQ(control.Title, control.OriginalTitleAnswer + std::string(10, ' ') +
                               std::string("Ablakméret: Alt+Up Alt+Down"_cp));
}

TEST_F(FontControlTest, RequestedHeightIsKeptWhenItFitsElseTheLargest) {
  console::LoadFontControl();
  console::FitConsole(20, "Számlázó"_cp);
  EXPECT_EQ(Font().Height, 20);
  EXPECT_EQ(Font().Largest, 41);
  EXPECT_EQ(control.Title, std::string("Számlázó          Ablakméret: Alt+Up Alt+Down"_cp));

  console::FitConsole(60, "");
  EXPECT_EQ(Font().Height, 41);
  EXPECT_EQ(control.Height, 41);
}

TEST_F(FontControlTest, FaceTheConsoleRefusesIsReplacedByTheOneInUse) {
  console::LoadFontControl();
  console::Settings().Font.Face = "Nincs Ilyen";
  console::FitConsole(0, "");
  EXPECT_EQ(Font().Face, "Consolas");
  EXPECT_EQ(Font().Height, 40);
}

TEST_F(FontControlTest, LargestWindowThatIgnoresTheFontCannotHangTheFit) {
  console::LoadFontControl();
  control.Largest = [](int) { return ConsoleSize{60, 20}; };  // never fits
  console::FitConsole(0, "");
  EXPECT_EQ(Font().Largest, 14);
  EXPECT_EQ(Font().Height, 14);
  EXPECT_LT(control.FontCalls, 20);

  control.Largest = [](int) { return ConsoleSize{300, 100}; };  // always fits
  control.FontCalls = 0;
  console::FitConsole(0, "");
  EXPECT_EQ(Font().Largest, console::kLargestFontHeight);
  EXPECT_EQ(Font().Height, console::kLargestFontHeight - 1);
  EXPECT_LT(control.FontCalls, console::kLargestFontHeight + 10);
}

TEST_F(FontControlTest, StepFontStaysWithinTheUsableHeightsAndSavesEachStep) {
  console::LoadFontControl();
  console::OpenStore(console::kConsoleStore);
  console::FitConsole(0, "");
  console::StepFont(+1);
  EXPECT_EQ(control.Height, 41);
  EXPECT_EQ(StoredHeight(), 41);
  int calls = control.FontCalls;
  console::StepFont(+1);  // at the largest: nothing
  EXPECT_EQ(control.FontCalls, calls);
  EXPECT_EQ(Font().Height, 41);

  for (int i = 0; i < 40; ++i) console::StepFont(-1);
  EXPECT_EQ(Font().Height, 14);
  EXPECT_EQ(control.Height, 14);
  EXPECT_EQ(StoredHeight(), 14);
  std::string size;
  console::ReadSetting(console::kConsoleStore, "cmdwindow", "fontsize", size);
  EXPECT_EQ(size, "14");
}

TEST_F(FontControlTest, WithoutFontControlNothingHappens) {
  control.Loadable = false;
  EXPECT_FALSE(console::LoadFontControl());
  console::FitConsole(20, "");
  console::StepFont(+1);
  console::CentreConsoleWindow();
  EXPECT_EQ(control.FontCalls, 0);
  EXPECT_EQ(control.Title, "");

  console::SetFontControl(nullptr);  // no control at all
  EXPECT_FALSE(console::LoadFontControl());
  console::StepFont(-1);
  console::ConsoleStartup();
  console::ConsoleShutdown();
  EXPECT_FALSE(console::StoreLoaded(console::kConsoleStore));
}

TEST_F(FontControlTest, WindowIsCentredInTheWorkAreaRoundingTowardsZero) {
  console::LoadFontControl();
  control.Height = 16;  // cells 9 x 16: the window is 736 x 439 pixels
  control.Window = {0, 0, 79, 24};
  control.WorkAreaAnswer = {100, 50, 1100, 850};
  console::CentreConsoleWindow();
  EXPECT_EQ(control.WindowX, 100 + (1000 - 736) / 2);
  EXPECT_EQ(control.WindowY, 50 + 180);

  control.WorkAreaAnswer = {0, 0, 700, 400};  // smaller than the window
  console::CentreConsoleWindow();
  EXPECT_EQ(control.WindowX, -18);
  EXPECT_EQ(control.WindowY, -19);
}

class ConsoleStartupTest : public FontControlTest {
 protected:
  void SetUp() override {
    FontControlTest::SetUp();
    console::OpenConsole(term);
  }
  void TearDown() override {
    console::ConsoleShutdown();
    console::CloseConsole();
    FontControlTest::TearDown();
  }
  platform::HeadlessTerminal term{80, 25};
};

TEST_F(ConsoleStartupTest, RunsOnceWithTheStoredFontAndIsUndoneAtTheEnd) {
  console::WriteConsoleFont(20, "Consolas");
  console::SetWindow(1, 1, 10, 10);
  console::ConsoleStartup();
  EXPECT_TRUE(console::FontControlReady());
  EXPECT_EQ(control.Remembers, 1);
  EXPECT_EQ(control.Face, "Consolas");
  EXPECT_EQ(control.Height, 20);
  EXPECT_FALSE(control.QuickEdit);
  EXPECT_EQ(control.Buffer, (ConsoleSize{80, 25}));
  EXPECT_TRUE(console::StoreLoaded(console::kConsoleStore));
  EXPECT_EQ(console::WindMax(), (24 << 8 | 79));  // the text window is the whole screen

  int calls = control.FontCalls;
  console::ConsoleStartup();  // a second start does not fit the font again
  EXPECT_EQ(control.FontCalls, calls);
  EXPECT_EQ(control.Remembers, 1);
  EXPECT_EQ(control.Loads, 1);

  console::ConsoleShutdown();
  EXPECT_EQ(control.Restores, 1);
  EXPECT_EQ(control.Unloads, 1);
  EXPECT_FALSE(console::FontControlReady());
  EXPECT_FALSE(console::StoreLoaded(console::kConsoleStore));
  console::ConsoleShutdown();  // once only
  EXPECT_EQ(control.Restores, 1);
}

TEST_F(ConsoleStartupTest, StoredHeightBelowTheSmallestCountsAsNone) {
  console::WriteConsoleFont(10, "");
  console::ConsoleStartup();
  EXPECT_EQ(control.Face, "Lucida Console");
  EXPECT_EQ(control.Height, 40);
}

TEST_F(ConsoleStartupTest, ConsoleThatCannotLoadTheControlKeepsItsFont) {
  control.Loadable = false;
  console::ConsoleStartup();
  EXPECT_EQ(control.FontCalls, 0);
  EXPECT_EQ(control.Remembers, 0);
  EXPECT_FALSE(console::StoreLoaded(console::kConsoleStore));
  console::ConsoleShutdown();
  EXPECT_EQ(control.Restores, 0);
}

}  // namespace
