// The line editor: typing, insert and overwrite, deleting at both ends,
// sideways scrolling, the length limit, the selected text, number fields,
// Esc, the exit keys, and which codes are typed as characters.
#include "platform/codepage.h"
#include "widget_fixture.h"

using namespace ui;
using namespace platform::literals;

namespace {

namespace key = console::key;

constexpr int kColumn = 11, kRow = 5;  // the field's first cell (whole screen)

class LineEditorTest : public WidgetTest {
 protected:
  // Runs the editor on text over the keys pushed so far.
  std::uint8_t Edit(int width, LineEditOptions options = {}) {
    return EditLine(kColumn, kRow, width, text, options);
  }
  void Special(std::uint8_t scan, std::uint32_t shift = 0) { term.PushKey(scan, 0, shift); }
  void Char(std::uint8_t ch) { term.PushKey(0, ch); }
  void CtrlY() { term.PushKey(0x15, 0x19, platform::kLeftCtrl); }
  std::string Field(int width) { return Text(kColumn, kRow, width); }

  std::string text;
};

TEST_F(LineEditorTest, TypedTextIsShownInTheFieldColourAndKept) {
  Chars("Kovács"_cp);
  Enter();
  EXPECT_EQ(Edit(10), key::kEnter);
  EXPECT_EQ(text, "Kovács"_cp);
  EXPECT_EQ(Field(12), std::string("Kovács"_cp) + "      ");
  EXPECT_EQ(Attr(kColumn, kRow), 0x70);       // the inverse of the text attribute 0x07
  EXPECT_EQ(Attr(kColumn + 9, kRow), 0x70);   // the whole width
  EXPECT_EQ(Attr(kColumn + 10, kRow), 0x07);  // and no further
}

TEST_F(LineEditorTest, InsertAndOverwriteWithTheCursorShapeShowingWhich) {
  text = "abcd";
  Then([&] {
    EXPECT_EQ(term.Shape(), platform::CursorShape::kHalfBlock);  // insert at the start
    EXPECT_EQ(term.CursorX() + 1, kColumn + 4);                  // after the text
    Special(platform::scan::kHome);
    Chars("X");
    Special(platform::scan::kIns);
  });
  Then([&] {
    EXPECT_EQ(term.Shape(), platform::CursorShape::kNormal);  // overwrite
    Chars("YZ");
    Special(platform::scan::kEnd);
    Chars("ef");  // overwriting at the end appends
    Enter();
  });
  CursorHidden();
  EXPECT_EQ(Edit(10), key::kEnter);
  EXPECT_EQ(text, "XYZcdef");
  EXPECT_EQ(term.Shape(), platform::CursorShape::kHidden);  // the caller's shape again
}

TEST_F(LineEditorTest, BackspaceAndDelAtBothEnds) {
  text = "abcde";
  Special(platform::scan::kDel);        // at the end: nothing
  Special(platform::scan::kBackspace);  // removes e
  term.PushKey(platform::scan::kBackspace, 8);
  Special(platform::scan::kHome);
  term.PushKey(platform::scan::kBackspace, 8);  // at the start: nothing
  Special(platform::scan::kDel);                // removes a
  Special(platform::scan::kRight);
  Special(platform::scan::kDel);  // removes c
  Enter();
  Edit(10);
  EXPECT_EQ(text, "bd");
}

TEST_F(LineEditorTest, LongTextScrollsSideways) {
  Then([&] {
    Chars("abcdefgh");
  });
  Then([&] {
    EXPECT_EQ(Field(5), "efgh ");  // the cursor's cell after the text stays in view
    EXPECT_EQ(term.CursorX() + 1, kColumn + 4);
    Special(platform::scan::kHome);
  });
  Then([&] {
    EXPECT_EQ(Field(6), "abcde ");
    EXPECT_EQ(term.CursorX() + 1, kColumn);
    Special(platform::scan::kEnd);
    Special(platform::scan::kLeft);
    Special(platform::scan::kLeft);
    Special(platform::scan::kLeft);
    Special(platform::scan::kLeft);
    Special(platform::scan::kLeft);
  });
  Then([&] {
    EXPECT_EQ(Field(5), "defgh");  // the view keeps still until the cursor leaves it
    EXPECT_EQ(term.CursorX() + 1, kColumn);
    Enter();
  });
  Edit(5);
  EXPECT_EQ(text, "abcdefgh");
  EXPECT_EQ(Field(5), "abcde");  // left shown from its start
}

TEST_F(LineEditorTest, MaxLengthStopsTypingInBothModes) {
  Chars("abcde");
  Special(platform::scan::kIns);
  Chars("x");  // overwrite at the end of a full text: nothing
  Special(platform::scan::kHome);
  Chars("Z");
  Enter();
  LineEditOptions options;
  options.MaxLength = 3;
  Edit(10, options);
  EXPECT_EQ(text, "Zbc");
}

TEST_F(LineEditorTest, SelectedTextIsReplacedByTheFirstKeyTyped) {
  LineEditOptions options;
  options.SelectAll = true;
  text = "régi"_cp;
  Then([&] {
    EXPECT_EQ(Attr(kColumn, kRow), 0x07);      // the selection shown inverted
    EXPECT_EQ(Attr(kColumn + 4, kRow), 0x70);  // the rest of the field is not
    Chars("új"_cp);
    Enter();
  });
  Edit(10, options);
  EXPECT_EQ(text, "új"_cp);

  text = "régi"_cp;
  Special(platform::scan::kEnd);  // a move gives the selection up
  Chars("x");
  Enter();
  Edit(10, options);
  EXPECT_EQ(text, "régix"_cp);

  text = "régi"_cp;
  term.PushKey(platform::scan::kBackspace, 8);  // a delete takes the selection
  Enter();
  Edit(10, options);
  EXPECT_EQ(text, "");
}

TEST_F(LineEditorTest, CtrlYEmptiesTheLine) {
  text = "abc";
  CtrlY();
  Chars("d");
  Enter();
  Edit(10);
  EXPECT_EQ(text, "d");
}

TEST_F(LineEditorTest, DigitsOnlyTakesDigitsBlankPointAndSigns) {
  Chars("1a2.b-+ 3,");
  Char(0xA0);  // á
  Enter();
  LineEditOptions options;
  options.DigitsOnly = true;
  Edit(12, options);
  EXPECT_EQ(text, "12.-+ 3");
}

TEST_F(LineEditorTest, EscPutsTheTextBackAsItCameIn) {
  text = "eredeti";
  Special(platform::scan::kHome);
  Special(platform::scan::kDel);
  Chars("xyz");
  Esc();
  EXPECT_EQ(Edit(10), key::kEsc);
  EXPECT_EQ(text, "eredeti");
  EXPECT_EQ(Field(10), "eredeti   ");
}

TEST_F(LineEditorTest, EveryExitKeyEndsTheEditAndIsReturned) {
  struct Exit {
    std::uint8_t Scan, Ch;
    std::uint32_t Shift;
    std::uint8_t Code;
  };
  const Exit exits[] = {
      {platform::scan::kEnter, 13, 0, key::kEnter},
      {platform::scan::kTab, 9, 0, key::kTab},
      {platform::scan::kTab, 0, platform::kShift, key::kShiftTab},
      {platform::scan::kUp, 0, 0, key::kUp},
      {platform::scan::kDown, 0, 0, key::kDown},
      {platform::scan::kPgUp, 0, 0, key::kPgUp},
      {platform::scan::kPgDn, 0, 0, key::kPgDn},
      {platform::scan::kF10, 0, 0, key::kF10},
      {0x41, 0, 0, 0xC1},  // F7, an exit key of the caller
      {0x1F, 'S', 0, 'S'}, // and a letter of the caller
  };
  LineEditOptions options;
  options.ExitKeys = "\xC1S";
  for (const Exit& exit : exits) {
    text = "a";
    Chars("b");
    term.PushKey(exit.Scan, exit.Ch, exit.Shift);
    EXPECT_EQ(Edit(10, options), exit.Code);
    EXPECT_EQ(text, "ab") << int(exit.Code);  // kept: only Esc restores
  }
  Chars("s");  // the lower-case letter is no exit key
  Enter();
  text.clear();
  EXPECT_EQ(Edit(10, options), key::kEnter);
  EXPECT_EQ(text, "s");
}

TEST_F(LineEditorTest, HungarianLettersAreTypedAndSpecialKeysAreNot) {
  for (std::uint8_t ch : {0xA0, 0x8B, 0xFB, 0x8A, 0xEB, 0xB5, 0xD6, 0xE0}) Char(ch);
  for (std::uint8_t scan = platform::scan::kF1; scan < platform::scan::kF10; ++scan) Special(scan);
  TypeAhead("\xBB\xC3\xC7\xD2\xD3");  // the codes F1, F9, Home, Ins, Del arriving as codes
  Chars("!");
  Enter();
  Edit(20);
  EXPECT_EQ(text, "áőűŐŰÁÍÓ!"_cp);
}

TEST_F(LineEditorTest, PositionsCountFromTheCurrentWindow) {
  console::SetWindow(21, 11, 60, 15);
  text = "ab";
  Chars("c");
  Enter();
  EditLine(3, 2, 4, text);
  console::SetWindow(1, 1, 80, 25);
  EXPECT_EQ(Text(23, 12, 5), "abc  ");
  EXPECT_EQ(Attr(26, 12), 0x70);
  EXPECT_EQ(Attr(27, 12), 0x07);
}

TEST_F(LineEditorTest, ClickPutsTheCursorUnderTheMouse) {
  text = "abcdef";
  Then([&] { Click(kColumn + 2, kRow); });
  Then([&] {
    Chars("X");
    Enter();
  });
  Edit(10);
  EXPECT_EQ(text, "abXcdef");
}

}  // namespace

namespace {

TEST_F(LineEditorTest, AFullFieldThatCannotGrowShowsItsFirstCharacter) {
  text = "02BVP2";
  Then([&] {
    EXPECT_EQ(Field(6), "02BVP2");
    EXPECT_EQ(term.CursorX() + 1, kColumn + 5);  // on the last character
    Chars("X");                                  // full: nothing typed
  });
  Then([&] {
    EXPECT_EQ(Field(6), "02BVP2");
    Enter();
  });
  LineEditOptions options;
  options.MaxLength = 6;
  Edit(6, options);
  EXPECT_EQ(text, "02BVP2");
}

}  // namespace
