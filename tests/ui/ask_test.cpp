// The message and question box: what it shows, which key or click chooses
// which button, the countdown, and that the screen comes back unchanged.
#include "platform/codepage.h"
#include "screen_pattern.h"
#include "widget_fixture.h"

using namespace ui;
using namespace platform::literals;

namespace {

// Colours with the base attribute 0x07.
constexpr std::uint8_t kBody = 0x70, kLabel = 0x07, kHotkey = 0x0F, kShadow = 0x78;

std::string S(std::string_view cp852) { return std::string(cp852); }

// Parts joined by character 0.
std::string Zero(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (auto p : parts) s.append(p).push_back('\0');
  s.pop_back();
  return s;
}

std::string Repeat(std::string_view piece, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += piece;
  return s;
}

class AskTest : public WidgetTest {
 protected:
  // The first row that shows a character, 0 when none does.
  int FindRow(std::string_view cp852) {
    for (int row = 1; row <= 25; ++row)
      if (Row(row).find(cp852) != std::string::npos) return row;
    return 0;
  }
  // The row of the buttons: two above the bottom frame line.
  std::string ButtonRow() { return Row(FindRow("╚"_cp) - 2); }
  // A pause between two clicks, so that they are no double click.
  void Pause() { clock.Advance(100); }
};

// "Biztos?" with "IN": a box 20 wide and 7 high, centred: columns 31..50,
// rows 10..16; buttons on row 14 at columns 33 and 42, 6 wide.
TEST_F(AskTest, YesNoBoxLayoutAndLook) {
  Then([&] {
    EXPECT_EQ(Text(31, 10, 20), S("╔[*]"_cp) + Repeat("═"_cp, 15) + S("╗"_cp));
    EXPECT_EQ(Text(31, 16, 20), S("╚"_cp) + Repeat("═"_cp, 18) + S("╝"_cp));
    EXPECT_EQ(Text(31, 12, 20), S("║     Biztos?      ║"_cp));
    EXPECT_EQ(Text(31, 14, 20), S("║ Igen  ▄  Nem   ▄ ║"_cp));
    EXPECT_EQ(Text(31, 15, 20), S("║  ▀▀▀▀▀▀   ▀▀▀▀▀▀ ║"_cp));
    EXPECT_EQ(Attr(31, 10), kBody);  // the frame in the box's colour
    EXPECT_EQ(Attr(32, 11), kBody);
    EXPECT_EQ(Attr(37, 12), kBody);
    EXPECT_EQ(Attr(33, 14), kHotkey);  // I
    EXPECT_EQ(Attr(34, 14), kLabel);
    EXPECT_EQ(Attr(38, 14), kLabel);   // padding of the label
    EXPECT_EQ(Attr(39, 14), kShadow);  // ▄
    EXPECT_EQ(Attr(34, 15), kShadow);  // ▀
    EXPECT_EQ(Attr(42, 14), kHotkey);  // N
    Esc();
  });
  EXPECT_EQ(Ask("Biztos?", "IN"), 0);
}

TEST_F(AskTest, YesNoAnswersByKeyEnterEscAndClick) {
  const struct {
    const char* Name;
    std::function<void()> Input;
    int Result;
  } cases[] = {
      {"I", [this] { Chars("I"); }, 1},
      {"lower-case i", [this] { Chars("i"); }, 1},
      {"Enter", [this] { Enter(); }, 1},
      {"click on Igen", [this] { Click(35, 14); }, 1},
      {"N", [this] { Chars("n"); }, 2},
      {"click on Nem", [this] { Click(42, 14); }, 2},
      {"Esc", [this] { Esc(); }, 0},
      {"other keys wait", [this] { Chars("xy"); Key(platform::scan::kF1); Chars("N"); }, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Pause();
    Then(c.Input);
    EXPECT_EQ(Ask("Biztos?", "IN"), c.Result);
  }
}

TEST_F(AskTest, NoYesSwapsTheButtons) {
  Then([&] {
    EXPECT_EQ(Text(33, 14, 14), S("Nem   ▄  Igen "_cp));
    Chars("i");
  });
  EXPECT_EQ(Ask("Biztos?", "NI"), 2);
  Then([&] { Enter(); });  // Enter is always the first button
  EXPECT_EQ(Ask("Biztos?", "NI"), 1);
}

TEST_F(AskTest, PressOnAButtonChoosesOnlyWhenLetGoOnIt) {
  Then([&] {
    term.PushMouse(34, 13, 1);            // press on Igen (35, 14)
    term.PushMouse(60, 20, 1, true);      // dragged off
    term.PushMouse(60, 20, 0);            // let go elsewhere
  });
  Then([&] {
    EXPECT_EQ(Text(33, 14, 6), "Igen  ");  // drawn up again
    EXPECT_EQ(Attr(39, 14), kShadow);
    term.PushMouse(2, 2, 1);  // a press outside the box chooses nothing
    term.PushMouse(2, 2, 0);
  });
  Then([&] { Chars("N"); });
  EXPECT_EQ(Ask("Biztos?", "IN"), 2);
}

// Keys typed while a press is followed reach the box after it: a press let
// go off its button and "N" typed at once choose "Nem".
TEST_F(AskTest, AKeyTypedWhileAPressIsFollowedIsKept) {
  Then([&] {
    term.PushMouse(34, 13, 1);
    term.PushMouse(60, 20, 1, true);
    term.PushMouse(60, 20, 0);
    Chars("N");
  });
  EXPECT_EQ(Ask("Biztos?", "IN"), 2);
}

TEST_F(AskTest, YesNoEscButtons) {
  // "Biztos?" with "INS": three buttons 6 wide from column 28, on row 14.
  Then([&] {
    EXPECT_EQ(Text(28, 14, 25), S("Igen  ▄  Nem   ▄  ESC   ▄"_cp));
    EXPECT_EQ(Attr(46, 14), kLabel);  // "ESC" has no marked letter
    Esc();
  });
  EXPECT_EQ(Ask("Biztos?", "INS"), 3);
  Pause();
  Then([&] { Click(47, 14); });
  EXPECT_EQ(Ask("Biztos?", "INS"), 3);
  Then([&] { Chars("E"); Chars("n"); });  // E is no hotkey
  EXPECT_EQ(Ask("Biztos?", "INS"), 2);
}

TEST_F(AskTest, NoButtonsGivesTovabbThatAnyKeyCloses) {
  // "Hiba" with the automatic button: 9 wide inside, 7 high: columns 35..45.
  Then([&] {
    EXPECT_EQ(Text(36, 14, 9), S(" Tovább▄ "_cp));
    EXPECT_EQ(Attr(37, 14), kLabel);  // no marked letter
    Chars("x");
  });
  EXPECT_EQ(Ask("Hiba", ""), 1);
  Then([&] { Key(platform::scan::kF1); });
  EXPECT_EQ(Ask("Hiba", ""), 1);
  Then([&] { Enter(); });
  EXPECT_EQ(Ask("Hiba", ""), 1);
  Then([&] { Esc(); });
  EXPECT_EQ(Ask("Hiba", ""), 0);
  Then([&] {
    term.PushMouse(5, 5, 1);  // mouse codes do not close it
    term.PushMouse(5, 5, 0);
    term.PushMouse(5, 5, 2);
    term.PushMouse(5, 5, 0);
  });
  Then([&] { Click(40, 14); });  // a click on the button does
  EXPECT_EQ(Ask("Hiba", ""), 1);
  Then([&] { Chars("q"); });
  EXPECT_EQ(Ask("Hiba", std::string(1, '\0')), 1);  // only empty labels: automatic too
}

TEST_F(AskTest, LinesSplitAtZeroElseAtLineFeed) {
  struct Case {
    std::string Text;
    int Lines;
  };
  const Case cases[] = {
      {Zero({"a", "b"}), 2}, {"a\nb", 2},  {Zero({"a\nb", "c"}), 2},
      {"", 1},               {Zero({"a", ""}), 1}, {"a\n", 1}, {Zero({"a", "", "b"}), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    Then([&] {
      int top = FindRow("╔"_cp), bottom = FindRow("╚"_cp);
      EXPECT_EQ(bottom - top + 1, c.Lines + 6);
      Esc();
    });
    Ask(c.Text, "IN");
  }
  Then([&] {
    EXPECT_EQ(Text(40, 11, 1), "a");
    EXPECT_EQ(Text(40, 12, 1), "b");
    Esc();
  });
  Ask("a\nb", "IN");
  Then([&] {
    EXPECT_NE(Row(11).find("a\nb"), std::string::npos);  // the line feed is a character here
    EXPECT_NE(Row(12).find('c'), std::string::npos);
    Esc();
  });
  Ask(Zero({"a\nb", "c"}), "IN");
}

TEST_F(AskTest, HotkeysFromTildesAndFirstLetters) {
  // "Ment~é~s" has hotkey É; plain "nem" is shown with its n marked and
  // matched by N; a first character that is no letter is the hotkey itself.
  Then([&] { Chars("mn"); });
  EXPECT_EQ(Ask("x", Zero({"Igen", "Me~n~tés"_cp})), 2);  // N, not the first letter
  std::string buttons = Zero({"Ment~é~s"_cp, "nem", "?Súgó"_cp, "1. lap"});
  auto box = [&](std::string_view keys) {
    Then([&, keys] {
      for (char c : keys) term.PushKey(0, static_cast<std::uint8_t>(c));
    });
    return Ask("Mit tegyek?", buttons);
  };
  EXPECT_EQ(box("n"), 2);
  EXPECT_EQ(box("N"), 2);
  EXPECT_EQ(box("é"_cp), 1);  // upper-cased to É
  EXPECT_EQ(box("É"_cp), 1);
  EXPECT_EQ(box("?"), 3);
  EXPECT_EQ(box("S1"), 4);    // S is no hotkey; digits are marked like letters
  Then([&] {
    int row = FindRow("╚"_cp) - 2;
    std::string r = Row(row);
    std::size_t mentes = r.find(S("Mentés"_cp));
    std::size_t nem = r.find("nem");
    std::size_t sugo = r.find(S("Súgó"_cp));
    ASSERT_NE(mentes, std::string::npos);
    ASSERT_NE(nem, std::string::npos);
    ASSERT_NE(sugo, std::string::npos);
    EXPECT_EQ(Attr(static_cast<int>(mentes) + 5, row), kHotkey);  // é (columns are 1-based)
    EXPECT_EQ(Attr(static_cast<int>(mentes) + 2, row), kLabel);
    EXPECT_EQ(Attr(static_cast<int>(nem) + 1, row), kHotkey);     // n
    EXPECT_EQ(Attr(static_cast<int>(nem) + 2, row), kLabel);
    EXPECT_EQ(Attr(static_cast<int>(sugo) + 1, row), kLabel);    // no marked letter
    EXPECT_EQ(r.find('?'), std::string::npos);
    EXPECT_EQ(r.find('~'), std::string::npos);
    Esc();
  });
  EXPECT_EQ(Ask("Mit tegyek?", buttons), 0);
}

TEST_F(AskTest, WhatDoesNotFitIsDropped) {
  // Twelve labels of 10 letters: 12 columns each with the marks, 15 per
  // button: only 5 fit in 78 columns.
  std::string buttons;
  for (char c = 'A'; c < 'A' + 12; ++c) buttons += std::string(1, c) + "bcdefghij" + '\n';
  Then([&] {
    EXPECT_NE(ButtonRow().find("Ebcdefghij"), std::string::npos);
    EXPECT_EQ(ButtonRow().find("Fbcdefghij"), std::string::npos);
    Chars("F");
  });
  Then([&] { Chars("e"); });
  EXPECT_EQ(Ask("x", buttons), 5);

  std::string lines;
  for (int i = 1; i <= 30; ++i) lines += "sor " + std::to_string(i) + '\n';
  Then([&] {
    EXPECT_EQ(FindRow("╔"_cp), 1);
    EXPECT_EQ(FindRow("╚"_cp), 25);
    EXPECT_NE(Row(21).find("sor 19"), std::string::npos);  // 25 - 6 lines shown
    for (int row = 1; row <= 25; ++row) EXPECT_EQ(Row(row).find("sor 20"), std::string::npos);
    Esc();
  });
  Ask(lines, std::string(40, 'x'));
  Then([&] {  // cut to 30 with its marks: 28 shown
    EXPECT_NE(ButtonRow().find(std::string(28, 'x')), std::string::npos);
    EXPECT_EQ(ButtonRow().find(std::string(29, 'x')), std::string::npos);
    Esc();
  });
  Ask("x", std::string(40, 'x'));
}

TEST_F(AskTest, ScreenAndOutputStateComeBackExactly) {
  PaintPattern();
  console::SetWindow(5, 3, 70, 20);
  console::GotoXY(7, 4);
  console::SetTextAttr(0x1E);
  CursorHalfBlock();
  auto before = Screen();
  long cells = term.CellsWritten();
  long opened = 0;
  Then([&] {
    opened = term.CellsWritten() - cells;
    cells = term.CellsWritten();
    Chars("N");
  });
  EXPECT_EQ(Ask("Biztos?", "IN"), 2);
  EXPECT_EQ(Screen(), before);
  // Only the box's cells travel to the terminal, both ways.
  EXPECT_GT(opened, 0);
  EXPECT_LE(opened, 20 * 7);
  EXPECT_LE(term.CellsWritten() - cells, 20 * 7);
  EXPECT_EQ(console::WindMin(), (2 << 8) | 4);
  EXPECT_EQ(console::WindMax(), (19 << 8) | 69);
  EXPECT_EQ(console::WhereX(), 7);
  EXPECT_EQ(console::WhereY(), 4);
  EXPECT_EQ(console::TextAttr(), 0x1E);
  EXPECT_EQ(CursorShape(), 2);
  EXPECT_EQ(term.Shape(), platform::CursorShape::kHalfBlock);
  EXPECT_EQ(TopWindow(), nullptr);
}

TEST_F(AskTest, DefaultButtonIsDrawnPressedAndTheModeIsPutBack) {
  Then([&] {
    EXPECT_EQ(Text(33, 14, 7), " Igen  ");  // one column right, left cell freed
    EXPECT_EQ(Attr(33, 14), kBody);
    EXPECT_EQ(Attr(34, 14), kHotkey);
    EXPECT_EQ(Text(34, 15, 6), "      ");  // no shadow under it
    EXPECT_EQ(Attr(34, 15), kShadow);
    EXPECT_EQ(Text(42, 14, 7), S("Nem   ▄"_cp));  // the other one up
    Enter();
  });
  EXPECT_EQ(AskDefault("Biztos?", "IN"), 1);
  EXPECT_FALSE(DefaultButtonMode());
  SetDefaultButtonMode(true);
  Then([&] { Esc(); });
  EXPECT_EQ(AskDefault("Biztos?", "IN"), 0);
  EXPECT_TRUE(DefaultButtonMode());
}

TEST_F(AskTest, NestedInsideAWindowRestoresEachLevel) {
  PaintPattern();
  auto bare = Screen();
  std::vector<platform::Cell> withWindow;
  {
    Window outer(20, 5, 60, 20);
    outer.Title = "Kint";
    outer.Draw();
    withWindow = Screen();
    EXPECT_EQ(TopWindow(), &outer);
    Then([&] {
      EXPECT_NE(Screen(), withWindow);
      Chars("i");
    });
    EXPECT_EQ(Ask("Benne?", "IN"), 1);
    EXPECT_EQ(Screen(), withWindow);
    EXPECT_EQ(TopWindow(), &outer);
  }
  EXPECT_EQ(Screen(), bare);
  EXPECT_EQ(TopWindow(), nullptr);
}

// A clock whose sleeps also let a test look at the screen and type.
class CountdownTest : public AskTest {
 protected:
  void SetUp() override {
    AskTest::SetUp();
    platform::SetClock(&ticking);
  }
  void TearDown() override {
    AskTest::TearDown();
    platform::SetClock(nullptr);
  }
  struct TickingClock : platform::ManualClock {
    std::function<void(std::int64_t)> OnTick;  // after each 100 ms sleep, with the time
    void SleepMs(int ms) override {
      ManualClock::SleepMs(ms);
      if (ms == 100 && OnTick) OnTick(Hundredths());
    }
  } ticking;
  // The countdown row of a box of seven rows, from a column.
  std::string Notice(int column) { return Text(column, 15, 35); }
};

TEST_F(CountdownTest, CountsDownFromTenAndEndsInEnter) {
  std::vector<std::string> seen;
  ticking.OnTick = [&](std::int64_t) {  // the "Hiba" box starts at column 35
    if (seen.empty() || seen.back() != Notice(36)) seen.push_back(Notice(36));
  };
  ticking.Set(1000);
  EXPECT_EQ(AskTimed("Hiba", ""), 1);  // Tovább chosen by the Enter
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen[0], S(" 10 másodperc van még/Esc-megszakít"_cp));
  EXPECT_EQ(seen[1], S("  9 másodperc van még/Esc-megszakít"_cp));
  EXPECT_EQ(seen[9], S("  1 másodperc van még/Esc-megszakít"_cp));
  std::int64_t took = ticking.Hundredths() - 1000;
  EXPECT_GE(took, 1000);
  EXPECT_LE(took, 1020);
}

TEST_F(CountdownTest, CountdownAcrossMidnightStillEnds) {
  constexpr std::int64_t kDay = 24LL * 60 * 60 * 100;
  ticking.Set(kDay - 300);
  EXPECT_EQ(AskTimed("Hiba", ""), 1);
  std::int64_t took = ticking.Hundredths() - (kDay - 300);
  EXPECT_GE(took, 1000);
  EXPECT_LE(took, 1020);
}

TEST_F(CountdownTest, RowUnderTheButtonsIsPutBack) {
  PaintPattern();
  auto before = Screen();
  std::string painted = Row(15).substr(50);  // right of the box
  ticking.OnTick = [&](std::int64_t t) {
    EXPECT_EQ(Text(51, 15, 16), S("ég/Esc-megszakít"_cp));  // beyond the box's edge
    if (t < 350) return;
    ticking.OnTick = nullptr;
    term.PushChar('x');  // no hotkey: the countdown stops, the box stays
  };
  Then([&] {
    EXPECT_EQ(Text(31, 15, 20), S("║  ▀▀▀▀▀▀   ▀▀▀▀▀▀ ║"_cp));
    EXPECT_EQ(Row(15).substr(50), painted);
    Chars("N");
  });
  EXPECT_EQ(AskTimed("Biztos?", "IN"), 2);
  EXPECT_EQ(Screen(), before);
}

TEST_F(CountdownTest, KeyDuringTheCountdownIsTheFirstKey) {
  std::string shown;
  ticking.OnTick = [&](std::int64_t t) {
    if (t < 300) return;
    ticking.OnTick = nullptr;
    shown = Notice(32);
    term.PushChar('n');
  };
  EXPECT_EQ(AskTimed("Biztos?", "IN"), 2);
  EXPECT_EQ(shown, S("  8 másodperc van még/Esc-megszakít"_cp));
}

TEST_F(CountdownTest, EnterAndEscEndTheBoxOnlyInDefaultButtonMode) {
  // Without it, a typed Esc and the Enter at the end choose nothing.
  auto escAt = [&](std::int64_t when) {
    ticking.OnTick = [&, when](std::int64_t t) {
      if (t < when) return;
      ticking.OnTick = nullptr;
      term.PushKey(platform::scan::kEsc, 27);
    };
  };
  escAt(200);
  Then([&] { Enter(); });
  Then([&] { Chars("I"); });
  EXPECT_EQ(AskTimed("Biztos?", "IN"), 1);

  SetDefaultButtonMode(true);
  EXPECT_EQ(AskTimed("Biztos?", "IN"), 1);  // the Enter of the time-out
  escAt(ticking.Hundredths() + 500);
  EXPECT_EQ(AskTimed("Biztos?", "IN"), 0);
}

TEST_F(AskTest, BeepPlayNoteAndFlushKeys) {
  clock.Set(0);
  Beep();
  EXPECT_EQ(term.Beeps(), 1);
  EXPECT_EQ(clock.Hundredths(), 10);  // 100 ms
  PlayNote(4, 10, 250);
  EXPECT_EQ(term.Beeps(), 2);
  EXPECT_EQ(clock.Hundredths(), 35);
  PlayNote(4, 10, 0);  // only started
  EXPECT_EQ(term.Beeps(), 3);
  EXPECT_EQ(clock.Hundredths(), 35);

  Chars("abc");
  term.PushMouse(3, 3, 1);
  Enter();
  FlushKeys();
  EXPECT_FALSE(term.EventWaiting());
  term.PushChar('z');
  EXPECT_EQ(ReadEvent(), 'z');
}

}  // namespace
