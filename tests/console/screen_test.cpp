#include <string>

#include "fixture.h"

using namespace console;

TEST_F(ConsoleTest, StartsWithWholeScreenWindowAndConsoleAttr) {
  EXPECT_EQ(ScreenWidth(), 80);
  EXPECT_EQ(ScreenHeight(), 25);
  EXPECT_EQ(WindMin(), 0);
  EXPECT_EQ(WindMax(), (24 << 8) | 79);
  EXPECT_EQ(TextAttr(), 0x07);
}

TEST(ConsoleWindow, ScreenTallerThan256RowsGivesRow255) {
  platform::HeadlessTerminal tall(80, 300);
  OpenConsole(tall);
  EXPECT_EQ(WindMax() >> 8, 255);
  CloseConsole();
}

TEST_F(ConsoleTest, SetWindowIgnoresImpossibleCorners) {
  SetWindow(10, 5, 20, 8);
  EXPECT_EQ(WindMin(), (4 << 8) | 9);
  EXPECT_EQ(WindMax(), (7 << 8) | 19);
  SetWindow(20, 5, 10, 8);   // x2 < x1
  SetWindow(10, 8, 20, 5);   // y2 < y1
  SetWindow(10, 5, 81, 8);   // past the right edge
  SetWindow(10, 5, 20, 26);  // past the bottom
  EXPECT_EQ(WindMin(), (4 << 8) | 9);
  EXPECT_EQ(WindMax(), (7 << 8) | 19);
  SetWindow(1, 1, 80, 25);
  EXPECT_EQ(WindMax(), (24 << 8) | 79);
}

TEST_F(ConsoleTest, CursorStaysInsideWindowAndIsShownAbsolute) {
  SetWindow(10, 5, 20, 8);
  GotoXY(3, 2);
  EXPECT_EQ(WhereX(), 3);
  EXPECT_EQ(WhereY(), 2);
  EXPECT_EQ(term.CursorX(), 11);
  EXPECT_EQ(term.CursorY(), 5);
  GotoXY(12, 1);  // beyond the window: ignored
  EXPECT_EQ(WhereX(), 3);
}

TEST_F(ConsoleTest, StringAtLastColumnWritesOneCellAndNeverWraps) {
  WriteString(80, 3, "XYZ", 0x1E);
  EXPECT_EQ(Shown(80, 3).Ch, 'X');
  EXPECT_EQ(Shown(80, 3).Attr, 0x1E);
  EXPECT_EQ(Shown(1, 4).Ch, ' ');
  WriteString(81, 3, "Q", 0x1E);  // off the screen: nothing
  WriteString(1, 26, "Q", 0x1E);
  EXPECT_EQ(Row(3).find('Q'), std::string::npos);
}

TEST_F(ConsoleTest, WriteCharsKeepsAttributesAndContinuesToScreenEnd) {
  Fill(1, 1, 80 * 25, ' ', 0x4F);
  WriteChars(79, 1, "abcd");
  EXPECT_EQ(Row(1).substr(78), "ab");
  EXPECT_EQ(Row(2).substr(0, 2), "cd");
  EXPECT_EQ(Shown(1, 2).Attr, 0x4F);
  WriteChars(79, 25, "wxyz");  // the screen ends after two characters
  EXPECT_EQ(Row(25).substr(78), "wx");
  EXPECT_EQ(Row(1).substr(0, 2), "  ");
}

TEST_F(ConsoleTest, WriteStringDownStopsAtLastRow) {
  WriteStringDown(5, 23, "ABCDE", 0x70);
  EXPECT_EQ(Shown(5, 23).Ch, 'A');
  EXPECT_EQ(Shown(5, 25).Ch, 'C');
  EXPECT_EQ(Shown(5, 25).Attr, 0x70);
  EXPECT_EQ(Shown(6, 25).Ch, ' ');
}

TEST_F(ConsoleTest, FillStopsAtLastCellOfScreen) {
  Fill(75, 25, 100, '#', 0x2A);
  EXPECT_EQ(Row(25).substr(74), "######");
  EXPECT_EQ(Shown(80, 25).Attr, 0x2A);
  EXPECT_EQ(Row(1).substr(0, 5), "     ");  // nothing wrapped to the top
  Fill(1, 2, 81, '=', 0x07);                  // a fill may continue on the next row
  EXPECT_EQ(Shown(1, 3).Ch, '=');
  EXPECT_EQ(Shown(2, 3).Ch, ' ');
}

TEST_F(ConsoleTest, RowSegmentsReadBackAndAttributesWriteBack) {
  WriteString(1, 7, "Hello", 0x1F);
  EXPECT_EQ(ReadChars(2, 4, 7), "ell");
  EXPECT_EQ(ReadAttrs(1, 2, 7), "\x1F\x1F");
  WriteAttrs(2, 7, "\x70\x71");
  EXPECT_EQ(ReadChars(1, 5, 7), "Hello");
  EXPECT_EQ(ReadAttrs(1, 4, 7), std::string("\x1F\x70\x71\x1F"));
  WriteAttrs(80, 7, "\x4E\x4E");  // stops at the end of the row
  EXPECT_EQ(ReadAttrs(1, 1, 8), "\x07");
}

TEST_F(ConsoleTest, SavedRectangleRestoresByteForByte) {
  for (int r = 1; r <= 25; ++r) Fill(1, r, 80, static_cast<std::uint8_t>('A' + r), static_cast<std::uint8_t>(r));
  std::vector<std::uint8_t> saved(11 * 4 * 2);
  SaveRect(5, 3, 15, 6, saved.data());
  EXPECT_EQ(saved[0], 'A' + 3);
  EXPECT_EQ(saved[1], 3);
  Fill(1, 4, 80 * 3, ' ', 0x70);
  RestoreRect(5, 3, 15, 6, saved.data());
  EXPECT_EQ(ReadChars(5, 15, 4), std::string(11, 'A' + 4));
  EXPECT_EQ(ReadAttrs(5, 15, 6), std::string(11, '\x06'));
  EXPECT_EQ(ReadChars(16, 16, 4), " ");
  EXPECT_EQ(Shown(15, 6).Ch, 'A' + 6);
}

TEST_F(ConsoleTest, ClearWindowAndClearEolUseTextAttrInsideWindow) {
  Fill(1, 1, 80 * 25, '.', 0x07);
  SetWindow(3, 2, 6, 3);
  SetTextAttr(0x1F);
  ClearWindow();
  EXPECT_EQ(Row(2).substr(0, 8), "..    ..");
  EXPECT_EQ(Shown(3, 3).Attr, 0x1F);
  SetWindow(1, 5, 80, 5);
  GotoXY(78, 1);
  ClearEol();
  EXPECT_EQ(Row(5).substr(75), "..   ");
}

TEST(AttributeTransforms, MatchTheirDefinitions) {
  EXPECT_EQ(ClearBrightBlink(0xFF), 0x77);
  EXPECT_EQ(SetBright(0x07), 0x0F);
  EXPECT_EQ(SetBlink(0x07), 0x87);
  EXPECT_EQ(Inverse(0x07), 0x70);
  EXPECT_EQ(Inverse(0x1E), 0x61);  // bright yellow on blue -> blue on brown
  EXPECT_EQ(Inverse(0x9F), 0x71);  // blink and bright background dropped
  for (int a = 0; a < 256; ++a) {
    auto b = static_cast<std::uint8_t>(a);
    EXPECT_EQ(Inverse(b), (((b << 4) & 0x7F) | ((b >> 4) & 7)));
  }
}

TEST_F(ConsoleTest, HeldDrawingSendsOnlyChangedCellsAtRelease) {
  Fill(1, 1, 80 * 25, ' ', 0x07);  // the screen as painted
  long before = term.CellsWritten();
  HoldUpdates();
  WriteString(1, 1, "abc", 0x07);
  Fill(1, 10, 80, 'x', 0x07);
  EXPECT_EQ(term.CellsWritten(), before);  // nothing pushed while held
  WriteString(1, 10, "xxxx", 0x07);         // same cells again
  ReleaseUpdates();
  EXPECT_EQ(term.CellsWritten(), before + 3 + 80);
  EXPECT_EQ(Row(10), std::string(80, 'x'));
  long after = term.CellsWritten();
  WriteString(1, 10, "xxx", 0x07);  // unchanged cells are not sent again
  EXPECT_EQ(term.CellsWritten(), after);
}

TEST_F(ConsoleTest, HoldsNestAndRepaintSendsEverything) {
  HoldUpdates();
  HoldUpdates();
  WriteString(1, 1, "a", 0x07);
  ReleaseUpdates();
  EXPECT_NE(Row(1)[0], 'a');
  ReleaseUpdates();
  EXPECT_EQ(Row(1)[0], 'a');
  long before = term.CellsWritten();
  Repaint();
  EXPECT_EQ(term.CellsWritten(), before + 80 * 25);
}
