#include "fixture.h"
#include "platform/codepage.h"

using namespace console;
using namespace platform;

namespace {

std::uint8_t Code(std::uint8_t scanCode, std::uint32_t shift = 0, std::uint8_t ch = 0) {
  return TranslateKey(KeyEvent{scanCode, ch, shift});
}

}  // namespace

TEST(KeyTable, PlainSpecialKeys) {
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Code(0x3B + n), 0xBB + n);
  EXPECT_EQ(Code(scan::kHome), 0xC7);
  EXPECT_EQ(Code(scan::kUp), 0xC8);
  EXPECT_EQ(Code(scan::kPgUp), 0xC9);
  EXPECT_EQ(Code(scan::kLeft), 0xCB);
  EXPECT_EQ(Code(scan::kRight), 0xCD);
  EXPECT_EQ(Code(scan::kEnd), 0xCF);
  EXPECT_EQ(Code(scan::kDown), 0xD0);
  EXPECT_EQ(Code(scan::kPgDn), 0xD1);
  EXPECT_EQ(Code(scan::kIns), 0xD2);
  EXPECT_EQ(Code(scan::kDel), 0xD3);
}

TEST(KeyTable, ShiftedKeysWithEitherShift) {
  EXPECT_EQ(Code(scan::kTab, kShift, 9), 0x8F);  // Shift+Tab even when it carries a Tab
  EXPECT_EQ(Code(scan::kTab, 0, 9), 9);
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Code(0x3B + n, kShift), 0xD4 + n);
  EXPECT_EQ(Code(scan::kIns, kShift), 0xF2);
}

TEST(KeyTable, CtrlKeysEitherSide) {
  for (std::uint32_t ctrl : {kLeftCtrl, kRightCtrl}) {
    for (int n = 0; n < 10; ++n) EXPECT_EQ(Code(0x3B + n, ctrl), 0xDE + n);
    EXPECT_EQ(Code(scan::kHome, ctrl), 0xF7);
    EXPECT_EQ(Code(scan::kLeft, ctrl), 0xF3);
    EXPECT_EQ(Code(scan::kRight, ctrl), 0xF4);
    EXPECT_EQ(Code(scan::kPgDn, ctrl), 0xF6);
    EXPECT_EQ(Code(scan::kIns, ctrl), 0xF1);
  }
}

TEST(KeyTable, AltKeys) {
  EXPECT_EQ(Code(0x10, kLeftAlt, 'q'), 0x90);  // Alt+Q, character or not
  EXPECT_EQ(Code(0x32, kRightAlt), 0xB2);      // Alt+M
  for (int n = 0; n < 5; ++n) {
    EXPECT_EQ(Code(0x78 + n, kLeftAlt), 0xFA + n);
    EXPECT_EQ(Code(0x02 + n, kLeftAlt, '1' + n), 0xFA + n);  // the digit row as a console reports it
  }
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Code(0x3B + n, kLeftAlt), 0x84 + n);
  EXPECT_EQ(Code(scan::kUp, kLeftAlt), 0xF8);
  EXPECT_EQ(Code(scan::kDown, kLeftAlt), 0xF9);
}

TEST(KeyTable, UnlistedCombinationsGiveZero) {
  EXPECT_EQ(Code(scan::kF11), 0);
  EXPECT_EQ(Code(scan::kF12), 0);
  EXPECT_EQ(Code(scan::kF12, kShift), 0);
  EXPECT_EQ(Code(scan::kEnd, kLeftCtrl), 0);
  EXPECT_EQ(Code(scan::kUp, kShift), 0);
  EXPECT_EQ(Code(scan::kLeft, kLeftAlt), 0);
  EXPECT_EQ(Code(0x07, kLeftAlt, '6'), 0);  // Alt+6
  EXPECT_EQ(Code(0x7D), 0);
}

TEST(KeyTable, CharactersArriveAsCodePage852) {
  EXPECT_EQ(Code(0x1E, 0, 'a'), 'a');
  EXPECT_EQ(Code(0x1C, 0, 13), 13);
  EXPECT_EQ(Code(0x01, 0, 27), 27);
  EXPECT_EQ(Code(0x28, 0, 0xA0), 0xA0);                        // á
  EXPECT_EQ(Code(0x2F, kRightAlt | kLeftCtrl, '@'), '@');      // AltGr types characters
  EXPECT_EQ(Code(0x2F, kLeftCtrl, 0x16), 0x16);                // Ctrl+V stays a character here
}

TEST_F(ConsoleTest, CtrlCOnlyRaisesTheBreakFlag) {
  EXPECT_FALSE(BreakFlag());
  EXPECT_TRUE(term.RaiseControl(ControlEvent::kCtrlC));  // handled: the program goes on
  EXPECT_TRUE(BreakFlag());
  EXPECT_FALSE(term.RaiseControl(ControlEvent::kClose));  // left to the platform
  EXPECT_FALSE(BreakFlag());
  EXPECT_FALSE(term.RaiseControl(ControlEvent::kBreak));
}

TEST_F(ConsoleTest, CtrlCTypedAsKeyIsNotDelivered) {
  term.PushKey(0x2E, 3, kLeftCtrl);
  term.PushChar('x');
  Event e;
  ASSERT_TRUE(ReadKeyEvent(e));
  EXPECT_EQ(e.Key.Ch, 'x');
  EXPECT_TRUE(BreakFlag());
  EXPECT_FALSE(ReadKeyEvent(e));
  SetBreakFlag(false);
}

TEST_F(ConsoleTest, KeyEventsAreReadInOrderWithoutBlocking) {
  Event e;
  EXPECT_FALSE(KeyPressed());
  EXPECT_FALSE(ReadKeyEvent(e));
  term.PushKey(scan::kF1, 0);
  term.PushMouse(9, 4, 1);
  EXPECT_TRUE(KeyPressed());
  ASSERT_TRUE(ReadKeyEvent(e));
  EXPECT_EQ(TranslateKey(e.Key), 0xBB);
  ASSERT_TRUE(ReadKeyEvent(e));
  EXPECT_EQ(e.Kind, EventKind::kMouse);
  EXPECT_EQ(e.Mouse.X, 9);
}

TEST_F(ConsoleTest, AConsoleThatWentAwayEndsTheProgramOnceTheKeysAreRead) {
  term.PushChar('x');
  term.Lose();
  Event e;
  ASSERT_TRUE(ReadKeyEvent(e));  // what arrived before is still delivered
  for (int call = 0; call < 2; ++call) {
    try {
      call == 0 ? (void)KeyPressed() : (void)ReadKeyEvent(e);
      ADD_FAILURE() << "the program went on, call " << call;
    } catch (const ProgramEnd& end) {
      EXPECT_EQ(end.Code, kConsoleLostCode);
      EXPECT_NE(end.Code, 0);
    }
  }
}

TEST(KeyNames, NameSpecialKeysAndLetters) {
  EXPECT_EQ(KeyName(0xBB), "F1");
  EXPECT_EQ(KeyName(0x8F), "\x8F / Shift+Tab");  // also the letter \u0106
  EXPECT_EQ(KeyName(0xF3), "Ctrl+Left");
  EXPECT_EQ(KeyName(0xF8), "Alt+Up");
  EXPECT_EQ(KeyName(0xC4), "F10");  // a box character, not a letter
  EXPECT_EQ(KeyName('a'), "a");
  EXPECT_EQ(KeyName(13), "Enter");
  EXPECT_EQ(KeyName(0x90), std::string(1, '\x90') + " / Alt+Q");
  EXPECT_EQ(KeyName(0xA0), std::string("á"_cp) + " / Alt+D");
  EXPECT_EQ(KeyName(0x95), std::string(1, '\x95') + " / Alt+Z");  // QWERTZ
}
