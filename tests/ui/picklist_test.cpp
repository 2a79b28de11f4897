// The pick list over an in-memory source: moving, paging both ways,
// incremental search, the search dialog, the F9 hook, the mouse, inline row
// colours, view modes, and the screen put back when it closes.
#include <cstdio>

#include "platform/codepage.h"
#include "text/text.h"
#include "widget_fixture.h"

namespace {

using namespace platform::literals;
namespace scan = platform::scan;

// A data source over a vector; item handles are 1-based indexes.
class VectorSource {
 public:
  explicit VectorSource(std::vector<std::string> rows) : rows_(std::move(rows)) {}

  ui::PickSource Source() {
    return [this](int op, std::uint32_t& item, bool& atEnd) { return Call(op, item, atEnd); };
  }

 private:
  std::string Call(int op, std::uint32_t& item, bool& atEnd) {
    int n = static_cast<int>(rows_.size());
    switch (op) {
      case 0: pos_ = item == 0 ? 0 : static_cast<int>(item) - 1; return {};
      case 3: pos_ = static_cast<int>(item) - 1; return {};
      case 1:
        pos_ = std::max(pos_, -1) + 1;
        if (pos_ >= n) return End(n, atEnd);
        break;
      case 2:
        pos_ = std::min(pos_, n) - 1;
        if (pos_ < 0) return End(-1, atEnd);
        break;
      case 4: return Search(item);
    }
    item = static_cast<std::uint32_t>(pos_ + 1);
    return rows_[pos_];
  }

  std::string End(int pos, bool& atEnd) {
    pos_ = pos;
    atEnd = true;
    return {};
  }

  // The first row that starts with the search text, compared in upper case.
  std::string Search(std::uint32_t& item) {
    std::string wanted = text::UpperCaseText(ui::SearchText());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (text::UpperCaseText(rows_[i]).rfind(wanted, 0) != 0) continue;
      pos_ = static_cast<int>(i);
      item = static_cast<std::uint32_t>(i + 1);
      return rows_[i];
    }
    return {};
  }

  std::vector<std::string> rows_;
  int pos_ = -1;
};

std::vector<std::string> Numbered(int count) {
  std::vector<std::string> rows;
  for (int i = 1; i <= count; ++i) {
    char row[16];
    std::snprintf(row, sizeof row, "Sor %02d", i);
    rows.emplace_back(row);
  }
  return rows;
}

// The list runs on columns 10..40, rows 5..16: ten rows of 29 cells.
constexpr int kX1 = 10, kY1 = 5, kX2 = 40, kY2 = 16, kWidth = 29, kHeight = 10;
constexpr std::uint8_t kBody = 0x07, kHighlight = 0x70, kOnBorder = 0x70;

class PickListTest : public WidgetTest {
 protected:
  // Runs the list and gives the chosen item.
  std::uint32_t Pick(VectorSource& source, std::uint32_t item = 0,
                     const ui::PickSearch& dialog = nullptr) {
    ui::PickList(kX1, kY1, kX2, kY2, "Lista", source.Source(), dialog, item);
    return item;
  }
  // A page row as shown (1-based), without its trailing blanks.
  std::string ListRow(int r) { return text::TrimRight(Text(kX1 + 1, kY1 + r, kWidth)); }
  std::vector<std::string> Page() {
    std::vector<std::string> page;
    for (int r = 1; r <= kHeight; ++r) page.push_back(ListRow(r));
    return page;
  }
  // The highlighted row, 0 when none; every cell of a row must agree.
  int Highlighted() {
    int found = 0;
    for (int r = 1; r <= kHeight; ++r) {
      bool all = true;
      for (int c = kX1 + 1; c < kX2; ++c) all = all && Attr(c, kY1 + r) == kHighlight;
      if (all) found = found == 0 ? r : -1;
    }
    return found;
  }
  static std::vector<std::string> Rows(int from, int to) {
    std::vector<std::string> rows;
    for (int i = from; i <= to; ++i) rows.push_back(Numbered(to)[i - 1]);
    rows.resize(kHeight);
    return rows;
  }
};

TEST_F(PickListTest, ThreeItemsInATenRowWindowStopAtTheLastRow) {
  VectorSource source({"Alma", "Banan", "Citrom"});
  Then([&] {
    EXPECT_EQ(Page(), (std::vector<std::string>{"Alma", "Banan", "Citrom", "", "", "", "", "", "", ""}));
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(Text(kX1, kY1, 1), "╔"_cp);
    Key(scan::kDown); Key(scan::kDown); Key(scan::kDown);
  });
  Then([&] {
    EXPECT_EQ(Highlighted(), 3);
    Key(scan::kPgDn);
  });
  Then([&] {
    EXPECT_EQ(Page()[0], "Alma");  // nothing new
    EXPECT_EQ(Highlighted(), 3);
    Enter();
  });
  EXPECT_EQ(Pick(source), 3u);
}

TEST_F(PickListTest, EscReturnsNothingEvenAfterMoving) {
  VectorSource source({"Alma", "Banan", "Citrom"});
  Then([&] { Key(scan::kDown); Key(scan::kEnd); Esc(); });
  EXPECT_EQ(Pick(source, 2), 0u);
}

TEST_F(PickListTest, TheScreenUnderTheListComesBackWhenItCloses) {
  for (int row = 1; row <= 25; ++row) console::Fill(1, row, 80, 'a' + row, 0x10 + row % 7);
  auto before = Screen();
  VectorSource source(Numbered(30));
  Then([&] {
    EXPECT_NE(Screen(), before);
    Key(scan::kPgDn); Enter();
  });
  EXPECT_EQ(Pick(source), 11u);
  EXPECT_EQ(Screen(), before);
}

TEST_F(PickListTest, TheListOpensOnTheCallersItem) {
  VectorSource source(Numbered(50));
  Then([&] {
    EXPECT_EQ(Page(), Rows(20, 29));
    EXPECT_EQ(Highlighted(), 1);
    Enter();
  });
  EXPECT_EQ(Pick(source, 20), 20u);
}

TEST_F(PickListTest, PagingDownAndUpKeepsTheHighlightedRow) {
  VectorSource source(Numbered(50));
  Then([&] { Key(scan::kPgDn); Key(scan::kDown); Key(scan::kDown); Key(scan::kDown); });
  Then([&] {
    EXPECT_EQ(Page(), Rows(11, 20));
    EXPECT_EQ(Highlighted(), 4);
    Key(scan::kPgDn);
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(21, 30));
    EXPECT_EQ(Highlighted(), 4);
    Key(scan::kPgUp);
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(11, 20));
    EXPECT_EQ(Highlighted(), 4);
    Enter();
  });
  EXPECT_EQ(Pick(source), 14u);
}

TEST_F(PickListTest, PagingUpNearTheStartShowsTheFirstPage) {
  VectorSource source(Numbered(50));
  Then([&] { Key(scan::kUp); });  // on the first row: scrolls one item back
  Then([&] {
    EXPECT_EQ(Page(), Rows(10, 19));
    EXPECT_EQ(Highlighted(), 1);
    Key(scan::kPgUp);
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(1, 10));
    EXPECT_EQ(Highlighted(), 10);  // still on the item the page started with
    Key(scan::kPgUp);
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(1, 10));  // nothing before the first item
    EXPECT_EQ(Highlighted(), 10);
    Key(scan::kUp);
  });
  Then([&] {
    EXPECT_EQ(Highlighted(), 9);
    Enter();
  });
  EXPECT_EQ(Pick(source, 11), 9u);
}

TEST_F(PickListTest, DownOnTheBottomRowScrollsUntilTheLastItem) {
  VectorSource source(Numbered(12));
  Then([&] { Key(scan::kEnd); Key(scan::kDown); });
  Then([&] {
    EXPECT_EQ(Page(), Rows(2, 11));
    EXPECT_EQ(Highlighted(), 10);
    Key(scan::kDown); Key(scan::kDown); Key(scan::kDown);
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(3, 12));
    EXPECT_EQ(Highlighted(), 10);
    Key(scan::kPgDn);  // nothing after the page
  });
  Then([&] {
    EXPECT_EQ(Page(), Rows(3, 12));
    Key(scan::kHome); Enter();
  });
  EXPECT_EQ(Pick(source), 3u);
}

TEST_F(PickListTest, PagingDownToAShortLastPageMovesTheHighlightOntoIt) {
  VectorSource source(Numbered(25));
  Then([&] { Key(scan::kEnd); Key(scan::kPgDn); Key(scan::kPgDn); });
  Then([&] {
    EXPECT_EQ(Page(), Rows(21, 25));
    EXPECT_EQ(Highlighted(), 5);
    Enter();
  });
  EXPECT_EQ(Pick(source), 25u);
}

class SearchTest : public PickListTest {
 protected:
  VectorSource fruit{{"Alma", "Barack", "Birs", "Cseresznye", "Dinnye", "Eper",
                      std::string("Körte"_cp), "Meggy", "Szilva", std::string("Szőlő"_cp)}};
};

TEST_F(SearchTest, TypedLettersFindTheFirstMatchingItem) {
  Then([&] { Chars("sz"); });
  Then([&] {
    EXPECT_EQ(ListRow(1), "Szilva");
    EXPECT_EQ(ListRow(2), "Szőlő"_cp);
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(Text(kX1 + 2, kY2, 3), "sz═"_cp);  // the search text on the border
    EXPECT_EQ(Attr(kX1 + 2, kY2), kOnBorder);
    Chars("ő"_cp);
  });
  Then([&] {
    EXPECT_EQ(ListRow(1), "Szőlő"_cp);
    EXPECT_EQ(ui::SearchText(), "sző"_cp);
    term.PushKey(scan::kBackspace, 8);
  });
  Then([&] {
    EXPECT_EQ(ListRow(1), "Szilva");
    EXPECT_EQ(Text(kX1 + 2, kY2, 3), "sz═"_cp);
    Key(scan::kDown);  // moving ends the search
  });
  Then([&] {
    EXPECT_EQ(ui::SearchText(), "");
    EXPECT_EQ(Text(kX1 + 1, kY2, 4), "════"_cp);
    EXPECT_NE(Attr(kX1 + 2, kY2), kOnBorder);
    Enter();
  });
  EXPECT_EQ(Pick(fruit), 10u);
}

TEST_F(SearchTest, TypingWithoutAMatchLeavesPageAndHighlight) {
  VectorSource source({"Banan", "Citrom", "Dinnye"});
  Then([&] { Key(scan::kDown); Chars("ab"); });
  Then([&] {
    EXPECT_EQ(ListRow(1), "Banan");
    EXPECT_EQ(Highlighted(), 2);
    EXPECT_EQ(ui::SearchText(), "ab");
    Esc();
  });
  EXPECT_EQ(Pick(source), 0u);
  EXPECT_EQ(ui::SearchText(), "ab");  // kept until the next list opens
}

TEST_F(SearchTest, KStartsTheSearchDialogAndOtherLettersAreIgnored) {
  int asked = 0;
  bool found = false;
  ui::PickSearch dialog = [&](std::uint32_t& item) {
    ++asked;
    item = 9;
    return found;
  };
  Then([&] {
    EXPECT_EQ(Text(kX1 + 2, kY2, 9), "K-keresés"_cp);
    EXPECT_EQ(Attr(kX1 + 2, kY2), kOnBorder);
    EXPECT_EQ(Attr(kX1 + 10, kY2), kOnBorder);
    Key(scan::kDown); Chars("sk");  // s does nothing; the dialog finds nothing
  });
  Then([&] {
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ListRow(1), "Alma");
    EXPECT_EQ(Highlighted(), 2);
    found = true;
    Chars("K");
  });
  Then([&] {
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ListRow(1), "Szilva");
    EXPECT_EQ(Highlighted(), 1);
    EXPECT_EQ(Text(kX1 + 2, kY2, 9), "K-keresés"_cp);
    Enter();
  });
  EXPECT_EQ(Pick(fruit, 0, dialog), 9u);
}

TEST_F(PickListTest, F9CallsTheHookWithTheCurrentItemWhileEnabled) {
  std::vector<std::uint32_t> calls;
  ui::SetF9Hook([&](std::uint32_t item) { calls.push_back(item); }, true);
  VectorSource source(Numbered(5));
  Then([&] { Key(scan::kDown); Key(0x43); Key(scan::kDown); });
  Then([&] {
    EXPECT_EQ(calls, std::vector<std::uint32_t>{2});
    EXPECT_EQ(Highlighted(), 3);  // still open
    ui::SetF9Hook([&](std::uint32_t item) { calls.push_back(item); }, false);
    Key(0x43); Enter();
  });
  EXPECT_EQ(Pick(source), 3u);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(PickListTest, AClickSelectsARowAndADoubleClickChoosesIt) {
  VectorSource source(Numbered(5));
  Then([&] {
    Click(20, kY1 + 3);
    Click(20, kY1 + 8);  // below the last item
    Click(kX1, kY1 + 2);  // on the frame
  });
  Then([&] {
    EXPECT_EQ(Highlighted(), 3);
    clock.Advance(100);  // the next clicks are not part of a double click
    Click(25, kY1 + 4);
  });
  Then([&] {
    EXPECT_EQ(Highlighted(), 4);
    clock.Advance(100);
    DoubleClick(25, kY1 + 5);
  });
  EXPECT_EQ(Pick(source), 5u);
}

TEST_F(PickListTest, ARowWithAColourByteIsShownInThatColour) {
  std::string coloured = std::string("Piros") + '\x4E' + '\x01' + "sor";
  VectorSource source({"Alma", coloured, "Citrom"});
  Then([&] {
    EXPECT_EQ(ListRow(2), "Piros sor");
    for (int c = kX1 + 1; c < kX2; ++c) EXPECT_EQ(Attr(c, kY1 + 2), 0x4E) << c;
    EXPECT_EQ(Attr(kX1 + 1, kY1 + 3), kBody);
    Key(scan::kDown);
  });
  Then([&] {
    EXPECT_EQ(Attr(kX1 + 1, kY1 + 2), 0x64);  // inverted while highlighted
    Key(scan::kDown);
  });
  Then([&] {
    // The bright foreground survives the highlight passing over the row.
    EXPECT_EQ(Attr(kX1 + 1, kY1 + 2), 0x4E);
    EXPECT_EQ(Attr(kX2 - 1, kY1 + 2), 0x4E);
    Esc();
  });
  EXPECT_EQ(Pick(source), 0u);
}

TEST_F(PickListTest, ViewModesShowEitherEndOfLongRows) {
  std::string wide = "Eleje" + std::string(146, '.') + "Vege!" + std::string(50, 'x');
  VectorSource source({wide, "Rovid"});
  Then([&] {
    EXPECT_EQ(ListRow(1), wide.substr(0, kWidth));
    Key(scan::kRight);
  });
  Then([&] {
    EXPECT_EQ(ListRow(1), wide.substr(156 - kWidth, kWidth));  // cut at 156 first
    EXPECT_EQ(ListRow(2), "Rovid");
    Esc();
  });
  Pick(source);
  EXPECT_EQ(ui::ViewMode(), '2');

  Then([&] {  // the next list keeps the mode
    EXPECT_EQ(ListRow(1).substr(kWidth - 5), "Vege!");
    Key(scan::kLeft);
  });
  Then([&] {
    EXPECT_EQ(ListRow(1).substr(0, 5), "Eleje");
    Esc();
  });
  Pick(source);
  EXPECT_EQ(ui::ViewMode(), '1');
}

TEST_F(PickListTest, AnEmptySourceSaysSoAndGivesNothing) {
  auto before = Screen();
  VectorSource source({});
  bool shown = false;
  Then([&] {
    for (int row = 1; row <= 25; ++row) shown = shown || Row(row).find("Nincs!") != std::string::npos;
    Enter();
  });
  EXPECT_EQ(Pick(source, 7), 0u);
  EXPECT_TRUE(shown);
  EXPECT_EQ(Screen(), before);
}

}  // namespace
