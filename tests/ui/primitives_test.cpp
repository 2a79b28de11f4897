#include "platform/codepage.h"
#include "toolkit_fixture.h"

using namespace ui;
using namespace platform::literals;

TEST_F(ToolkitTest, RolesDeriveFromBaseAttr) {
  EXPECT_EQ(RoleAttr(kRoleFixed), 0x00);
  EXPECT_EQ(RoleAttr(kRoleFrame), 0x0F);
  EXPECT_EQ(RoleAttr(kRoleTitle), 0x70);
  EXPECT_EQ(RoleAttr(kRoleButton), 0x07);
  EXPECT_EQ(RoleAttr(kRoleButtonShadow), 0x78);
  EXPECT_EQ(RoleAttr(kRoleMessageBox), 0x70);
  EXPECT_EQ(RoleAttr(kRoleFixedBlink), 0x80);
  EXPECT_EQ(RoleAttr(99), 0x07);
  SetBaseAttr(0x1E);  // recolours every role
  EXPECT_EQ(RoleAttr(kRoleFrame), 0x1E);
  EXPECT_EQ(RoleAttr(kRoleTitle), 0x61);
  EXPECT_EQ(RoleAttr(kRoleKeyBar), 0x1E);
  EXPECT_EQ(MakeAttr(15, 15), 0x7F);
}

TEST_F(ToolkitTest, WriteAtCutsAtWindowEdge) {
  console::SetWindow(11, 3, 20, 5);
  WriteAt(10, 1, "ABC", 0x1F);  // column = window width: one character
  EXPECT_EQ(Cell(20, 3).Ch, 'A');
  EXPECT_EQ(Cell(21, 3).Ch, ' ');
  WriteAt(11, 2, "XYZ", 0x1F);  // beyond the width: nothing
  EXPECT_EQ(Row(4), std::string(80, ' '));
  WriteAt(2, 3, "hello", 0x2E);
  EXPECT_EQ(Row(5).substr(11, 5), "hello");
  EXPECT_EQ(Cell(12, 5).Attr, 0x2E);
}

TEST_F(ToolkitTest, WriteCenteredKeepsOutputState) {
  console::SetWindow(5, 5, 30, 10);
  console::GotoXY(3, 4);
  WriteCentered(1, 10, 1, "abcd", 0x07);
  EXPECT_EQ(Row(1).substr(0, 10), "   abcd   ");
  EXPECT_EQ(console::WindMin(), (4 << 8) | 4);
  EXPECT_EQ(console::WhereX(), 3);
  EXPECT_EQ(console::WhereY(), 4);
}

TEST_F(ToolkitTest, FrameSets) {
  EXPECT_EQ(FrameStyleOf(FrameChars(2)), 2);  // the double set always reports 2
  EXPECT_EQ(FrameStyleOf(FrameChars(3)), 2);
  EXPECT_EQ(FrameStyleOf("abcdefgh"), 1);
  EXPECT_EQ(FrameChars(0), FrameChars(1));
  EXPECT_EQ(FrameChars(7), FrameChars(1));
  EXPECT_EQ(FrameChars(1), "┌└┐┘──││"_cp);
  EXPECT_EQ(FrameStyleOf(FrameChars(5)), 5);
}

TEST_F(ToolkitTest, DrawFrameDrawsBordersTitlesAndShrinks) {
  console::SetWindow(1, 1, 10, 4);
  DrawFrame(std::string("Top") + '\0' + "Bot", FrameChars(2), 0x70, 0x0F);
  EXPECT_EQ(Row(1).substr(0, 10), std::string("╔══Top═══╗"_cp));
  EXPECT_EQ(Row(2).substr(0, 10), std::string("║        ║"_cp));
  EXPECT_EQ(Row(4).substr(0, 10), std::string("╚══Bot═══╝"_cp));
  EXPECT_EQ(Cell(5, 1).Attr, 0x70);
  EXPECT_EQ(Cell(1, 1).Attr, 0x0F);
  EXPECT_EQ(console::WindMin(), (1 << 8) | 1);
  EXPECT_EQ(console::WindMax(), (2 << 8) | 8);
  EXPECT_EQ(CurrentFrame(), FrameChars(2));
  GrowWindow();
  EXPECT_EQ(console::WindMin(), 0);  // at the screen's edge: no more growing
  GrowWindow();
  EXPECT_EQ(console::WindMax(), (3 << 8) | 9);
}

TEST_F(ToolkitTest, LongTitleShowsInnerWidthFromOneRightOfCorner) {
  console::SetWindow(1, 1, 8, 3);
  DrawFrame("ABCDEFGHIJ", FrameChars(1), 0x70, 0x07);
  EXPECT_EQ(Row(1).substr(0, 8), std::string("┌ABCDEF┐"_cp));
}

TEST_F(ToolkitTest, BlankFrameDrawsNothingButShrinks) {
  console::Fill(1, 1, 80, '.', 0x07);
  console::SetWindow(1, 1, 10, 4);
  DrawFrame("T", FrameChars(4), 0x70, 0x07);
  EXPECT_EQ(Row(1).substr(0, 10), "..........");
  EXPECT_EQ(console::WindMin(), (1 << 8) | 1);
}

TEST_F(ToolkitTest, ShadowDarkensRightAndBelowOnly) {
  console::Fill(1, 1, 80 * 25, 'x', 0x1F);
  DrawShadow(10, 5, 20, 8);
  EXPECT_EQ(Cell(21, 6).Attr, 0x17);
  EXPECT_EQ(Cell(22, 9).Attr, 0x17);
  EXPECT_EQ(Cell(21, 5).Attr, 0x1F);  // the top row gets none
  EXPECT_EQ(Cell(12, 9).Attr, 0x17);
  EXPECT_EQ(Cell(11, 9).Attr, 0x1F);
  EXPECT_EQ(Cell(21, 6).Ch, 'x');
  console::Fill(1, 1, 80 * 25, 'x', 0x1F);
  DrawShadow(60, 5, 79, 8);  // touching the right edge: no shadow at all
  DrawShadow(10, 20, 20, 24);
  for (int r = 1; r <= 25; ++r) EXPECT_EQ(ReadRowAttrs(1, 80, r), std::string(80, '\x1F'));
}

TEST_F(ToolkitTest, JoinLineMeetsLinesAboveAndBelow) {
  WriteAt(6, 4, "│"_cp, 0x07);
  EXPECT_EQ(JoinLine(5, 5, "────"_cp), std::string("─┴──"_cp));
  WriteAt(6, 6, "│"_cp, 0x07);
  EXPECT_EQ(JoinLine(5, 5, "────"_cp), std::string("─┼──"_cp));
  EXPECT_EQ(JoinLine(20, 5, "─"_cp), std::string("─"_cp));
  WriteAt(30, 6, "│"_cp, 0x07);
  EXPECT_EQ(JoinLine(30, 5, "──"_cp), std::string("┌─"_cp));
}

TEST_F(ToolkitTest, StateRoundTripsWindowCursorAttrAndShape) {
  ScreenState saved;
  console::SetWindow(3, 3, 40, 10);
  console::GotoXY(5, 2);
  console::SetTextAttr(0x4E);
  CursorHalfBlock();
  SaveState(saved);
  console::SetWindow(1, 1, 80, 25);
  console::SetTextAttr(0x07);
  CursorHidden();
  HideMouse();
  RestoreState(saved);
  EXPECT_EQ(console::WindMin(), (2 << 8) | 2);
  EXPECT_EQ(console::WhereX(), 5);
  EXPECT_EQ(console::TextAttr(), 0x4E);
  EXPECT_EQ(CursorShape(), 2);
  EXPECT_EQ(term.Shape(), platform::CursorShape::kHalfBlock);
  EXPECT_TRUE(MouseShown());
}

TEST_F(ToolkitTest, RegionTests) {
  Region r;
  r.X1 = 10, r.Y1 = 5, r.X2 = 20, r.Y2 = 8;
  SetMousePos(10, 5);
  EXPECT_FALSE(MouseIn(r));
  EXPECT_TRUE(MouseAtCorner(r));
  r.Inclusive = true;
  EXPECT_TRUE(MouseIn(r));
  SetMousePos(21, 6);
  EXPECT_TRUE(MouseOutside(r));
  HideMouse();  // every test is false while the mouse is hidden
  EXPECT_FALSE(MouseOutside(r));
}
