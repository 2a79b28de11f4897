// The status line and the countdown notice: what they show, how long, and
// that the screen and the output state come back as they were.
#include <string>

#include "updater/updater.h"
#include "updater_fixture.h"

using namespace platform::literals;
using updater::StatusHandle;
using updater::StatusLine;

namespace {

constexpr std::uint8_t kTextAttr = 0x1E;

class NoticeTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    // A bottom row whose every cell differs from its neighbour.
    for (int column = 1; column <= 80; ++column)
      console::Fill(column, 25, 1, static_cast<std::uint8_t>('a' + column % 26),
                    static_cast<std::uint8_t>(column % 7 + 1));
    console::SetWindow(10, 5, 40, 12);
    console::GotoXY(3, 4);
    console::SetTextAttr(kTextAttr);
    bottomChars = console::ReadChars(1, 80, 25);
    bottomAttrs = console::ReadAttrs(1, 80, 25);
  }

  // The output state that every notice must leave as it found it.
  void ExpectStateKept() {
    EXPECT_EQ(console::WindMin(), (4 << 8) | 9);
    EXPECT_EQ(console::WindMax(), (11 << 8) | 39);
    EXPECT_EQ(console::WhereX(), 3);
    EXPECT_EQ(console::WhereY(), 4);
    EXPECT_EQ(console::TextAttr(), kTextAttr);
  }
  void ExpectBottomRowBack() {
    EXPECT_EQ(console::ReadChars(1, 80, 25), bottomChars);
    EXPECT_EQ(console::ReadAttrs(1, 80, 25), bottomAttrs);
  }

  std::string bottomChars, bottomAttrs;
};

// ---- Status line --------------------------------------------------------------

TEST_F(NoticeTest, ShortTextIsCentredWithABlankEachSideInTheTextAttribute) {
  StatusHandle handle;
  StatusLine(true, "Letöltés"_cp, handle);
  ASSERT_TRUE(handle);
  // " Letöltés " is 10 wide: column 1 + (79 - 10) / 2 = 35.
  EXPECT_EQ(console::ReadChars(35, 44, 25), std::string(" Letöltés "_cp));
  EXPECT_EQ(console::ReadAttrs(35, 44, 25), std::string(10, static_cast<char>(kTextAttr)));
  EXPECT_EQ(console::ReadChars(1, 34, 25), bottomChars.substr(0, 34));
  EXPECT_EQ(console::ReadAttrs(45, 80, 25), bottomAttrs.substr(44));
  EXPECT_EQ(handle->Column, 35);
  EXPECT_EQ(handle->Row, 25);
  EXPECT_EQ(handle->Width, 10);
  ExpectStateKept();

  StatusLine(false, "", handle);
  EXPECT_FALSE(handle);
  ExpectBottomRowBack();
  ExpectStateKept();
}

TEST_F(NoticeTest, WidthsAtTheEdgeOfTheRow) {
  struct Case {
    int Length;
    int Column, Width;  // where the text lands
    bool Padded;
  };
  for (Case c : {Case{78, 1, 80, true}, Case{79, 1, 79, false}, Case{80, 1, 80, false},
                 Case{95, 1, 80, false}}) {
    SCOPED_TRACE(c.Length);
    std::string text;
    for (int i = 0; i < c.Length; ++i) text += static_cast<char>('A' + i % 26);
    StatusHandle handle;
    StatusLine(true, text, handle);
    std::string expected = c.Padded ? " " + text + " " : text.substr(0, 80);
    EXPECT_EQ(console::ReadChars(c.Column, c.Column + c.Width - 1, 25), expected);
    if (c.Width < 80) {
      EXPECT_EQ(console::ReadChars(80, 80, 25), bottomChars.substr(79));
    }
    EXPECT_EQ(handle->Width, c.Width);
    StatusLine(false, "", handle);
    ExpectBottomRowBack();
  }
}

TEST_F(NoticeTest, EmptyTextSavesTheRowAndWritesNothing) {
  long before = term.CellsWritten();
  StatusHandle handle;
  StatusLine(true, "", handle);
  ASSERT_TRUE(handle);
  EXPECT_EQ(handle->Width, 0);
  EXPECT_EQ(term.CellsWritten(), before);
  // The bottom row changes meanwhile; removing puts the saved row back.
  console::Fill(1, 25, 80, 'x', 0x70);
  StatusLine(false, "", handle);
  EXPECT_FALSE(handle);
  ExpectBottomRowBack();
  ExpectStateKept();
}

TEST_F(NoticeTest, RemovingWithNothingShownChangesNothing) {
  StatusHandle handle;
  long before = term.CellsWritten();
  StatusLine(false, "", handle);
  EXPECT_FALSE(handle);
  EXPECT_EQ(term.CellsWritten(), before);
  ExpectStateKept();
}

// ---- Countdown notice -------------------------------------------------------------

class CountdownTest : public NoticeTest {
 protected:
  std::string CountRow(int seconds) {
    char count[4];
    std::snprintf(count, sizeof count, "%3d", seconds);
    return count + std::string(" másodperc elteltével, vagy bármely billentyű lenyomására tovább"_cp);
  }
  std::vector<platform::Cell> Cells() {
    std::vector<platform::Cell> cells;
    for (int y = 0; y < 25; ++y)
      for (int x = 0; x < 80; ++x) cells.push_back(term.At(x, y));
    return cells;
  }
};

TEST_F(CountdownTest, ShowsTheTextInADoubleFrameOnTheBottomRows) {
  auto before = Cells();
  std::int64_t start = clock.Hundredths();
  updater::CountdownNotice(0, "Nincs internet-kapcsolat!"_cp);
  // 0 seconds: shown once, for one wait of 100 ms.
  EXPECT_EQ(clock.Hundredths() - start, 10);
  std::string top("╔"_cp);
  for (int i = 0; i < 78; ++i) top += "═"_cp;
  top += "╗"_cp;
  EXPECT_TRUE(term.Showed(top));
  EXPECT_TRUE(term.Showed(std::string("║    Nincs internet-kapcsolat!"_cp)));
  EXPECT_TRUE(term.Showed(std::string("║"_cp).append(CountRow(0))));
  EXPECT_EQ(Cells(), before);
  ExpectStateKept();
}

TEST_F(CountdownTest, CountsDownOncePerSecondAndEnds) {
  std::int64_t start = clock.Hundredths();
  updater::CountdownNotice(3, "Várjon"_cp);
  std::int64_t took = clock.Hundredths() - start;
  EXPECT_GE(took, 300);
  EXPECT_LE(took, 320);
  for (int shown : {3, 2, 1}) EXPECT_TRUE(term.Showed(CountRow(shown))) << shown;
  EXPECT_FALSE(term.Showed(CountRow(0)));
  ExpectBottomRowBack();
  ExpectStateKept();
}

TEST_F(CountdownTest, AKeyEndsItAndIsConsumed) {
  term.PushChar('q');
  std::int64_t start = clock.Hundredths();
  updater::CountdownNotice(30, "Várjon"_cp);
  EXPECT_EQ(clock.Hundredths() - start, 10);
  EXPECT_FALSE(console::KeyPressed());
  ExpectBottomRowBack();
}

}  // namespace
