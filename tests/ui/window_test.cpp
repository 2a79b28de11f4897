// The framed window: what it draws, what it puts back, and the keys its
// reader makes of the mouse (close box, move, scroll bars and their repeat).
#include "platform/codepage.h"
#include "screen_pattern.h"
#include "toolkit_fixture.h"

using namespace ui;
using namespace platform::literals;

namespace {

constexpr std::uint8_t kFrame = 0x0F;  // the frame role with base 0x07

class WindowTest : public ToolkitTest {
 protected:
  std::vector<platform::Cell> Screen() { return ShownCells(term); }
  std::uint8_t Ch(int column, int row) { return Cell(column, row).Ch; }
  // The code page 852 byte of one character.
  static std::uint8_t G(std::string_view cp852) { return static_cast<std::uint8_t>(cp852[0]); }
  void Click(int column, int row) {
    clock.Advance(100);  // no double click with the one before
    Mouse(column, row, 1);
    Mouse(column, row, 0);
  }
  // A key typed once the reader waits (a key queued behind mouse events
  // would be read together with the last of them).
  void TypeWhenIdle(char c, int hundredths = 10) {
    SetIdle([this, c, typed = false]() mutable {
      if (!typed) term.PushChar(c);
      typed = true;
    }, hundredths);
  }
  void Moved(int column, int row, std::uint32_t buttons) {
    term.PushMouse(column - 1, row - 1, buttons, true);
  }
};

// A window 10..40 x 5..15 with both scroll bars starting one cell in.
struct ScrolledWindow : Window {
  ScrolledWindow() : Window(10, 5, 40, 15) {
    VScroll = HScroll = true;
    VOffset = HOffset = 1;
    Draw();
  }
};

TEST_F(WindowTest, DrawsFrameTitleCloseBoxAndScrollBars) {
  console::SetTextAttr(0x1E);
  ScrolledWindow w;
  EXPECT_EQ(Row(5).substr(9, 31), std::string("╔[*]"_cp) + std::string(26, "═"_cp[0]) + std::string("╗"_cp));
  EXPECT_EQ(Ch(40, 6), 0x1E);  // ▲
  for (int row = 7; row <= 13; ++row) EXPECT_EQ(Ch(40, row), G("║"_cp)) << row;
  EXPECT_EQ(Ch(40, 14), 0x1F);  // ▼
  EXPECT_EQ(Ch(11, 15), 0x11);  // ◄
  for (int column = 12; column <= 37; ++column) EXPECT_EQ(Ch(column, 15), G("═"_cp)) << column;
  EXPECT_EQ(Ch(38, 15), 0x10);  // ►
  EXPECT_EQ(Ch(39, 15), G("═"_cp));
  EXPECT_EQ(Cell(40, 6).Attr, kFrame);
  EXPECT_EQ(Cell(11, 15).Attr, kFrame);
  EXPECT_EQ(Cell(20, 10), (platform::Cell{' ', 0x1E}));  // body in the text attribute
  // The text window is the inside of the frame.
  EXPECT_EQ(console::WindMin(), (5 << 8) | 10);
  EXPECT_EQ(console::WindMax(), (13 << 8) | 38);
}

TEST_F(WindowTest, TitleIsCentredAndStyleFourHasNoFrame) {
  PaintPattern();
  auto painted = Screen();
  {
    Window w(1, 1, 21, 5);
    w.Title = "Cím"_cp;
    w.FrameStyle = 1;
    w.Draw();
    std::string line(1, G("─"_cp));
    std::string top = std::string("┌[*]"_cp) + std::string(5, line[0]) + std::string("Cím"_cp) +
                      std::string(8, line[0]) + std::string("┐"_cp);
    EXPECT_EQ(Row(1).substr(0, 21), top);
    EXPECT_EQ(Cell(10, 1).Attr, 0x70);  // the title role
  }
  EXPECT_EQ(Screen(), painted);
  Window w(1, 1, 21, 5);
  w.FrameStyle = 4;
  w.Draw();
  EXPECT_EQ(Row(1).substr(0, 21), std::string(21, ' '));  // no frame, no close box
  EXPECT_EQ(WindowWidth(), 21);  // not shrunk either
}

TEST_F(WindowTest, CloseBoxLookChangesOnlyItsCharacters) {
  Window w(10, 5, 40, 15);
  w.Draw();
  console::WriteAttrs(11, 5, std::string(3, static_cast<char>(0x4E)));
  long cells = term.CellsWritten();
  w.DrawCloseBox(1, false);  // unchanged: nothing drawn
  EXPECT_EQ(term.CellsWritten(), cells);
  w.DrawCloseBox(0, false);
  EXPECT_EQ(Row(5).substr(10, 3), std::string("[■]"_cp));
  EXPECT_EQ(Cell(12, 5).Attr, 0x4E);
  w.DrawCloseBox(0, true);
  EXPECT_GT(term.CellsWritten(), cells);
}

TEST_F(WindowTest, ClickOnCloseBoxGivesEscAndLettingGoElsewhereNothing) {
  Window w(10, 5, 40, 15);
  w.Draw();
  Click(12, 5);
  EXPECT_EQ(w.GetKey(), console::key::kEsc);
  clock.Advance(100);
  Mouse(11, 5, 1);
  Moved(20, 10, 1);
  Mouse(20, 10, 0);
  TypeWhenIdle('z');
  EXPECT_EQ(w.GetKey(), 'z');
  EXPECT_EQ(Row(5).substr(10, 3), "[*]");
  clock.Advance(100);
  Click(12, 5);  // keys typed while the press is followed come after its Esc
  term.PushChar('q');
  term.PushChar('r');
  EXPECT_EQ(w.GetKey(), console::key::kEsc);
  EXPECT_EQ(w.GetKey(), 'q');
  EXPECT_EQ(w.GetKey(), 'r');
}

TEST_F(WindowTest, PressInsidePlacesTheCursorAndIsPassedOn) {
  Window w(10, 5, 40, 15);
  w.Draw();
  Click(20, 9);
  EXPECT_EQ(w.GetKey(), code::kLeftPress);
  EXPECT_EQ(console::WhereX(), 10);  // window-relative: the inside starts at 11, 6
  EXPECT_EQ(console::WhereY(), 4);
}

TEST_F(WindowTest, ScrollBarPressesGiveKeys) {
  ScrolledWindow w;
  // Vertical track rows 7..13, middle row 10; horizontal track columns
  // 12..37, middle column 25.
  const struct {
    int Column, Row;
    std::uint8_t Key;
  } cases[] = {
      {40, 6, console::key::kUp},        {40, 14, console::key::kDown},
      {40, 7, console::key::kPgUp},      {40, 9, console::key::kPgUp},
      {40, 10, console::key::kPgDn},     {40, 13, console::key::kPgDn},
      {11, 15, console::key::kLeft},     {38, 15, console::key::kRight},
      {12, 15, console::key::kCtrlLeft}, {24, 15, console::key::kCtrlLeft},
      {25, 15, console::key::kCtrlRight}, {37, 15, console::key::kCtrlRight},
      {10, 8, code::kLeftPress},         // the left border: no bar
      {40, 5, code::kLeftPress},         // the corner above the bar
  };
  for (const auto& c : cases) {
    Click(c.Column, c.Row);
    EXPECT_EQ(w.GetKey(), c.Key) << c.Column << "," << c.Row;
    term.PushChar('z');  // let go at once: no repeat
    EXPECT_EQ(w.GetKey(), 'z') << c.Column << "," << c.Row;
  }
}

TEST_F(WindowTest, HeldScrollBarRepeatsAfter48ThenEvery8Hundredths) {
  ScrolledWindow w;
  clock.Set(5000);
  Mouse(40, 14, 1);
  EXPECT_EQ(w.GetKey(), console::key::kDown);
  std::int64_t pressed = clock.Hundredths();
  for (int due : {48, 56, 64, 72}) {
    EXPECT_EQ(w.GetKey(), console::key::kDown);
    EXPECT_EQ(clock.Hundredths() - pressed, due);
  }
  Moved(40, 13, 1);  // the mouse moves: the repeat ends
  EXPECT_EQ(w.GetKey(), code::kLeftHeld);
  Mouse(40, 13, 0);
  term.PushChar('z');
  EXPECT_EQ(w.GetKey(), 'z');
  // The repeat also ends when the button is let go: a second later the
  // idle procedure types a key, and no repeat came before it.
  clock.Advance(100);
  Mouse(40, 6, 1);
  EXPECT_EQ(w.GetKey(), console::key::kUp);
  Mouse(40, 6, 0);
  TypeWhenIdle('z', 100);
  EXPECT_EQ(w.GetKey(), 'z');
}

TEST_F(WindowTest, WaitKeyReadsThroughTheTopWindow) {
  ScrolledWindow w;
  EXPECT_EQ(TopWindow(), &w);
  Click(40, 6);
  EXPECT_EQ(WaitKey(), console::key::kUp);
}

TEST_F(WindowTest, DraggingTheCornerMovesTheWindow) {
  PaintPattern();
  auto before = Screen();
  {
    Window w(10, 5, 30, 12);
    w.Title = "Mozgó"_cp;
    w.Draw();
    auto drawnAt = [&](int x1, int y1) {
      EXPECT_EQ(Ch(x1, y1), G("╔"_cp));
      EXPECT_EQ(Ch(x1 + 20, y1 + 7), G("╝"_cp));
    };
    clock.Advance(100);
    Mouse(10, 5, 1);
    Moved(15, 8, 1);
    Mouse(15, 8, 0);
    TypeWhenIdle('z');
    EXPECT_EQ(w.GetKey(), 'z');
    EXPECT_EQ(w.X1, 15);
    EXPECT_EQ(w.Y1, 8);
    EXPECT_EQ(w.X2, 35);
    EXPECT_EQ(w.Y2, 15);
    drawnAt(15, 8);
    EXPECT_EQ(Cell(10, 5), before[4 * 80 + 9]);  // the old place shows what it covered
    EXPECT_EQ(Cell(30, 6), before[5 * 80 + 29]);
    EXPECT_EQ(MouseX(), 15);

    w.MoveTo(75, 22);  // kept whole on the screen
    EXPECT_EQ(w.X1, 60);
    EXPECT_EQ(w.Y1, 18);
    drawnAt(60, 18);
    w.Movable = false;
    clock.Advance(100);
    Mouse(60, 18, 1);
    Moved(40, 10, 1);
    Mouse(40, 10, 0);
    EXPECT_EQ(w.GetKey(), code::kLeftPress);
    EXPECT_EQ(w.X1, 60);
  }
  EXPECT_EQ(Screen(), before);
}

TEST_F(WindowTest, NestedWindowsPutBackScreenAndStateByteForByte) {
  PaintPattern();
  console::SetWindow(3, 4, 60, 20);
  console::GotoXY(5, 6);
  console::SetTextAttr(0x2A);
  CursorHalfBlock();
  auto bare = Screen();
  {
    Window a(5, 3, 50, 20);
    a.Title = std::string("Első"_cp) + '\0' + "alul";
    a.Draw();
    auto withA = Screen();
    {
      console::SetTextAttr(0x4F);
      Window b(20, 8, 70, 22);
      b.FrameStyle = 1;
      b.VScroll = true;
      b.Draw();
      auto withB = Screen();
      EXPECT_EQ(b.Previous, &a);
      {
        Window c(1, 1, 80, 25);
        c.FrameStyle = 5;
        c.Draw();
        c.Draw();  // drawn twice: still puts back what lay under the first
        EXPECT_EQ(TopWindow(), &c);
      }
      EXPECT_EQ(Screen(), withB);
      EXPECT_EQ(TopWindow(), &b);
      EXPECT_EQ(console::TextAttr(), 0x4F);
    }
    EXPECT_EQ(Screen(), withA);
    EXPECT_EQ(TopWindow(), &a);
  }
  EXPECT_EQ(Screen(), bare);
  EXPECT_EQ(TopWindow(), nullptr);
  EXPECT_EQ(console::WindMin(), (3 << 8) | 2);
  EXPECT_EQ(console::WindMax(), (19 << 8) | 59);
  EXPECT_EQ(console::WhereX(), 5);
  EXPECT_EQ(console::WhereY(), 6);
  EXPECT_EQ(console::TextAttr(), 0x2A);
  EXPECT_EQ(CursorShape(), 2);
}

}  // namespace
