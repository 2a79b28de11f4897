// The key label bar: labels with highlighted hotkeys, clicks that become
// keys, showing, hiding and stacking, and label procedures as hotkeys.
#include "platform/codepage.h"
#include "widget_fixture.h"

namespace {

using namespace platform::literals;
namespace key = console::key;

constexpr int kRow = 25;
constexpr std::uint8_t kUp = 0x07, kHot = 0x0F, kPressed = 0x70, kPressedHot = 0x7F;

class KeyBarTest : public WidgetTest {
 protected:
  // The codes ReadEvent gives for everything pushed so far.
  std::vector<std::uint8_t> Codes() {
    std::vector<std::uint8_t> codes;
    while (term.EventWaiting())
      if (std::uint8_t c = ui::ReadEvent()) codes.push_back(c);
    return codes;
  }
  void Press(int column) { Mouse(column, kRow, 1); }
  void Release(int column) { Mouse(column, kRow, 0); }
  // The attributes of a run of cells on the bar's row.
  std::string Attrs(int column, int length) {
    std::string attrs;
    for (int i = 0; i < length; ++i) attrs += static_cast<char>(Attr(column + i, kRow));
    return attrs;
  }
  static std::string Run(std::string_view pattern) {  // "u" up, "h" hotkey
    std::string attrs;
    for (char c : pattern) attrs += static_cast<char>(c == 'h' ? kHot : kUp);
    return attrs;
  }
  // Row 25 shaded, as an application screen would be under a bar.
  void ShadeRow() { console::Fill(1, kRow, 80, 0xB0, 0x1E); }
};

TEST_F(KeyBarTest, LettersOfTheKeysAreHighlighted) {
  ui::KeyBar bar(kRow);
  bar.AddLabel("Keres", 'K');
  bar.AddLabel("Töröl"_cp, key::kDel);
  bar.AddLabel("nem", 'N');
  bar.AddLabel("Csop.~j~av", 'C');
  bar.AddLabel("Árak"_cp, 0xA0);  // á: found as Á by the folded comparison
  ui::ShowKeyBar(&bar, true);

  EXPECT_EQ(Text(1, kRow, 35), std::string(" Keres Töröl nem Csop.jav Árak"_cp) + "     ");
  EXPECT_EQ(Attrs(1, 6), Run("uhuuuu"));
  EXPECT_EQ(Attrs(7, 6), Run("uuuuuu"));      // Del has no letter in the text
  EXPECT_EQ(Attrs(13, 4), Run("uhuu"));       // the n of "nem"
  EXPECT_EQ(Attrs(17, 9), Run("uuuuuuhuu"));  // the marked j, not the C
  EXPECT_EQ(Attrs(26, 5), Run("uhuuu"));
  EXPECT_EQ(Attrs(31, 50), std::string(50, static_cast<char>(kUp)));  // the rest cleared
  EXPECT_EQ(ui::ActiveKeyBar(), &bar);
}

TEST_F(KeyBarTest, LongLabelsAreCutAndTrimmedBeforeTheyArePlaced) {
  ui::KeyBar bar(kRow);
  bar.AddLabel("  Hosszu" + std::string(40, 'a'), 'Q');  // cut to 30, then trimmed: 28
  bar.AddLabel("Esc-ki", key::kEsc);
  ui::ShowKeyBar(&bar, true);
  EXPECT_EQ(bar.Labels[0]->Width, 29);
  EXPECT_EQ(Text(1, kRow, 36), " Hosszu" + std::string(22, 'a') + " Esc-ki");
}

TEST_F(KeyBarTest, AClickGivesTheLabelsKeyEvenWithoutAHighlightedLetter) {
  ui::KeyBar bar(kRow);
  bar.AddLabel("Keres", 'K');
  bar.AddLabel("Töröl"_cp, key::kDel);
  ui::ShowKeyBar(&bar, true);
  Click(3, kRow);
  Click(9, kRow);
  EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{'K', key::kDel}));
  Click(40, kRow);  // beside the labels: the plain press, no key
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{ui::code::kLeftPress});
}

TEST_F(KeyBarTest, APressedLabelIsDrawnInverseUntilReleased) {
  ui::KeyBar bar(kRow);
  bar.AddLabel("Keres", 'K');
  bar.AddLabel("Töröl"_cp, key::kDel);
  ui::ShowKeyBar(&bar, true);

  Press(3);
  EXPECT_TRUE(Codes().empty());  // the press itself is swallowed
  std::string pressed(6, static_cast<char>(kPressed));
  pressed[1] = static_cast<char>(kPressedHot);
  EXPECT_EQ(Attrs(1, 6), pressed);
  EXPECT_EQ(Text(1, kRow, 6), " Keres");

  Release(9);  // released on the other label: nothing
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(Attrs(1, 12), Run("uhuuuuuuuuuu"));
  EXPECT_EQ(bar.Pressed, nullptr);
}

TEST_F(KeyBarTest, PushThenPopLeavesTheSameBarActiveAndFullyDrawn) {
  ShadeRow();
  ui::KeyBar bar(kRow);
  bar.AddLabel("Keres", 'K');
  bar.AddLabel("Esc-ki", key::kEsc);
  ui::ShowKeyBar(&bar, true);
  std::string shownRow = Row(kRow), shownAttrs = Attrs(1, 80);

  ui::KeyBar* saved = nullptr;
  ui::PushKeyBar(saved);
  EXPECT_EQ(saved, &bar);
  EXPECT_EQ(ui::ActiveKeyBar(), nullptr);
  EXPECT_EQ(Row(kRow), std::string(80, '\xB0'));  // the row under it is back
  Click(3, kRow);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{ui::code::kLeftPress});  // no bar, no key

  ui::PopKeyBar(saved);
  EXPECT_EQ(ui::ActiveKeyBar(), &bar);
  EXPECT_EQ(Row(kRow), shownRow);
  EXPECT_EQ(Attrs(1, 80), shownAttrs);
  Click(3, kRow);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{'K'});
}

TEST_F(KeyBarTest, HidingWithoutRestoreKeepsTheBarForAShowAgain) {
  ShadeRow();
  ui::KeyBar bar(kRow);
  bar.AddLabel("Keres", 'K');
  ui::ShowKeyBar(&bar, true);
  std::string shownRow = Row(kRow);

  ui::HideKeyBar(false);
  EXPECT_EQ(Row(kRow), std::string(80, '\xB0'));
  EXPECT_EQ(ui::ActiveKeyBar(), nullptr);
  ui::ShowKeyBar(&bar, false);
  EXPECT_EQ(Row(kRow), shownRow);
  EXPECT_EQ(ui::ActiveKeyBar(), &bar);
}

TEST_F(KeyBarTest, DestroyingTheActiveBarPutsTheRowBackAndLeavesNoBar) {
  ShadeRow();
  {
    ui::KeyBar bar(kRow);
    bar.AddLabel("Keres", 'K');
    ui::ShowKeyBar(&bar, true);
    EXPECT_EQ(Text(1, kRow, 6), " Keres");
  }
  EXPECT_EQ(Row(kRow), std::string(80, '\xB0'));
  EXPECT_EQ(Attr(1, kRow), 0x1E);
  EXPECT_EQ(ui::ActiveKeyBar(), nullptr);
  Click(3, kRow);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{ui::code::kLeftPress});
}

TEST_F(KeyBarTest, ABarDestroyedWhileHiddenLeavesTheActiveBarAlone) {
  ShadeRow();
  auto first = std::make_unique<ui::KeyBar>(kRow);
  first->AddLabel("Egy", 'E');
  ui::ShowKeyBar(first.get(), true);
  ui::KeyBar* saved = nullptr;
  ui::PushKeyBar(saved);

  ui::KeyBar second(kRow);
  second.AddLabel("Masik", 'M');
  ui::ShowKeyBar(&second, true);
  first.reset();
  EXPECT_EQ(ui::ActiveKeyBar(), &second);
  EXPECT_EQ(Text(1, kRow, 6), " Masik");
}

TEST_F(KeyBarTest, LabelProceduresServeTheirSpecialKeysUntilTheNextBar) {
  int runs = 0;
  auto bar = std::make_unique<ui::KeyBar>(kRow);
  bar->AddLabel("F7-nyomtat", 0xC1, [&runs] { ++runs; });
  bar->AddLabel("Keres", 'K', [&runs] { runs += 100; });  // below 0x81: not a hotkey
  ui::ShowKeyBar(bar.get(), true);
  term.PushKey(0x41, 0);  // F7
  Chars("K");
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{'K'});
  EXPECT_EQ(runs, 1);

  bar.reset();
  ui::KeyBar next(kRow);  // clears the labels' procedures
  term.PushKey(0x41, 0);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{0xC1});
  EXPECT_EQ(runs, 1);
}

TEST_F(KeyBarTest, SpreadSharesTheFreeColumnsBetweenTheLabels) {
  ui::KeyBar bar(kRow);
  bar.AddLabel("Egy", 'E');    // 4 wide
  bar.AddLabel("Ketto", 'K');  // 6
  bar.AddLabel("Har", 'H');    // 4
  ui::ShowKeyBar(&bar, true);
  bar.Spread(1, 79);  // 65 free columns: 33 in the first gap, 32 in the second
  EXPECT_EQ(Text(1, kRow, 4), " Egy");
  EXPECT_EQ(Text(38, kRow, 6), " Ketto");
  EXPECT_EQ(Text(76, kRow, 5), " Har ");
  EXPECT_EQ(Text(5, kRow, 33), std::string(33, ' '));  // the old places are cleared
  Click(78, kRow);
  EXPECT_EQ(Codes(), std::vector<std::uint8_t>{'H'});

  bar.Spread(10, 15);  // too narrow: packed from the first column
  EXPECT_EQ(Text(10, kRow, 14), " Egy Ketto Har");
}

}  // namespace
