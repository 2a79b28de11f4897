// The record layer's widgets on the sample table: the menu bar, the list
// (order, scrolling at both ends, exit keys, the filter and the key bounds,
// an empty list, records added and removed under it, reading a page only),
// the form (typing, F10 and Esc, numbers and dates), and the key search.
#include <algorithm>

#include "records_fixture.h"

using namespace platform::literals;
namespace rt = records_test;
namespace key = records::key;

namespace {

std::string S(std::string_view cp852) { return std::string(cp852); }

constexpr int kPageRows = 19;       // data rows 4..22 of the list
constexpr std::uint8_t kBody = 0x07, kHighlight = 0x70;
const std::string kListExits = std::string("JCKRT\r\x1b") + char(key::kIns) + char(key::kDel);
const std::string kListHelp = S("Rögzit Javit Ins-új Töröl Keres Csop.jav Esc-ki"_cp);

class WidgetsTest : public rt::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    ui::InitMouse();
  }

  // Records with these codes (names "name-" + code), in this order.
  std::vector<std::int32_t> AddCodes(const std::vector<std::string>& codes) {
    std::vector<std::int32_t> numbers;
    for (const std::string& code : codes) numbers.push_back(Add(code, "name-" + code));
    return numbers;
  }
  // Codes "A00", "A01"... in order; their record numbers.
  std::vector<std::int32_t> AddNumbered(int count) {
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < count; ++i) numbers.push_back(Add(Numbered(i)));
    return numbers;
  }
  static std::string Numbered(int i) { return std::string("A") + char('0' + i / 10) + char('0' + i % 10); }

  // The codes on the list's data rows, top down.
  std::vector<std::string> Shown() {
    std::vector<std::string> codes;
    for (int row = 4; row < 4 + kPageRows; ++row) {
      std::string code = text::Trim(Row(row).substr(1, 6));
      if (!code.empty()) codes.push_back(code);
    }
    return codes;
  }
  // The code on the highlighted row, "" when no row is.
  std::string Highlighted() {
    for (int row = 4; row < 4 + kPageRows; ++row)
      if (term.At(1, row - 1).Attr == kHighlight) return text::Trim(Row(row).substr(1, 6));
    return "";
  }
  std::vector<std::string> Range(int from, int to) {
    std::vector<std::string> codes;
    for (int i = from; i <= to; ++i) codes.push_back(Numbered(i));
    return codes;
  }

  std::uint8_t List(std::string_view exits = "") {
    return records::ShowList(*table, kListHelp, exits.empty() ? std::string_view(kListExits) : exits);
  }
  // A step that checks the page and the highlight, then presses keys.
  void ExpectPage(const std::vector<std::string>& codes, const std::string& highlighted,
                  std::function<void()> then) {
    Then([=, this] {
      EXPECT_EQ(Shown(), codes);
      EXPECT_EQ(Highlighted(), highlighted);
      then();
    });
  }

  // Two quick clicks; ignored events stand in for the polls between the
  // second press and its release on a console.
  void DoubleClick(int column, int row) {
    Click(column, row);
    term.PushMouse(column - 1, row - 1, 1);
    platform::Event pause;
    pause.Kind = platform::EventKind::kResize;
    term.PushEvent(pause);
    term.PushEvent(pause);
    term.PushMouse(column - 1, row - 1, 0);
  }

  // Takes record n out of every index and frees it (a delete).
  void Remove(std::int32_t n) {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(def.RecLen));
    records::PeekTableRecord(*table, n, record.data());
    for (int i = 1; i <= table->IndexCount(); ++i) {
      std::int32_t ref = n;
      db::RemoveKey(table->Index(i), ref, records::RecordKey(*table, i, record.data()));
    }
    db::FreeRecord(table->Data, n);
  }

  std::vector<std::string> Screen() {
    std::vector<std::string> rows;
    for (int row = 1; row <= 25; ++row) rows.push_back(Row(row));
    return rows;
  }
  void Fill() {
    for (int row = 1; row <= 25; ++row) console::Fill(1, row, 80, '.', 0x1E);
  }
};

// ---- Menu bar ------------------------------------------------------------------------

TEST_F(WidgetsTest, MenuBarMarksTheHotkeysAndSpreadsTheLabels) {
  Fill();
  int current = 1;
  Then([&] {
    EXPECT_EQ(Row(25).substr(0, 9), S(" Rögzités"_cp));
    EXPECT_EQ(Row(25).substr(75, 5), S(" Vége"_cp));  // the last label ends at the row's end
    EXPECT_EQ(term.At(1, 24).Attr, 0x7F);   // the current label pressed, its R marked
    EXPECT_EQ(term.At(2, 24).Attr, kHighlight);
    EXPECT_EQ(term.At(76, 24).Attr, 0x0F);  // V marked
    EXPECT_EQ(term.At(77, 24).Attr, kBody);
    Keys("v");
  });
  EXPECT_EQ(records::MenuBar("RrRögzités VvVége"_cp, current), 'V');
  EXPECT_EQ(current, 2);
  EXPECT_EQ(Row(25), std::string(80, '.')) << "the row under the bar comes back";

  Then([&] {
    std::string row = Row(25);
    int tetel = ColumnOf(S("Tétel"_cp), 25), aqua = ColumnOf("Aqua", 25);
    int keres = ColumnOf(S("Keresés"_cp), 25);
    EXPECT_EQ(term.At(tetel + 1, 24).Attr, 0x0F) << "the first code t itself, not the T before it";
    EXPECT_EQ(term.At(tetel - 1, 24).Attr, kBody);
    EXPECT_EQ(term.At(aqua, 24).Attr, 0x0F) << "the second code q when Q is not there";
    EXPECT_EQ(term.At(keres - 1, 24).Attr, 0x7F) << "current 5 is out of range: the first";
    Keys("t");
  });
  current = 5;
  EXPECT_EQ(records::MenuBar("KkKeresés tTTétel QqAqua"_cp, current), 'T');
  EXPECT_EQ(current, 2);
}

TEST_F(WidgetsTest, MenuBarAnswersKeysClicksEnterAndOtherKeys) {
  const std::string items = S("RrRögzités VvVége KkKeresés"_cp);
  int current = 0;
  Keys("R");
  EXPECT_EQ(records::MenuBar(items, current), 'R');
  EXPECT_EQ(current, 1);

  Then([&] { Click(ColumnOf(S("Keresés"_cp), 25) + 2, 25); });
  EXPECT_EQ(records::MenuBar(items, current), 'K');
  EXPECT_EQ(current, 3);

  Special(key::kRight);  // from 3 round to 1, then 2
  Special(key::kRight);
  PressEnter();
  EXPECT_EQ(records::MenuBar(items, current), 'V');
  EXPECT_EQ(current, 2);

  Special(key::kLeft);  // 1, then round to 3
  Special(key::kLeft);
  PressEnter();
  EXPECT_EQ(records::MenuBar(items, current), 'K');

  PressEsc();
  EXPECT_EQ(records::MenuBar(items, current), key::kEsc) << "other keys come back as they are";
  Keys("7");
  EXPECT_EQ(records::MenuBar(items, current), '7');
  EXPECT_EQ(current, 3);
}

TEST_F(WidgetsTest, MenuBarGoesBelowTheCurrentWindowAndKeepsSpecialKeyCodes) {
  console::SetWindow(5, 3, 70, 9);
  Then([&] {
    EXPECT_NE(Row(10).find("Fel"), std::string::npos);
    EXPECT_EQ(Row(25).find("Fel"), std::string::npos);
    Special(key::kDown);
  });
  int current = 1;
  // Down's code is also the letter "đ", whose capital would be PgDn's code.
  std::string items = std::string(2, char(key::kUp)) + "Fel " + std::string(2, char(key::kDown)) + "Le";
  EXPECT_EQ(records::MenuBar(items, current), key::kDown);
  EXPECT_EQ(current, 2);
  console::SetWindow(1, 1, 80, 25);
}

// ---- List ----------------------------------------------------------------------------

TEST_F(WidgetsTest, ListShowsTheRecordsInIndexOrderWithHeadsAndKeyHelp) {
  auto n = AddCodes({"C", "A", "D", "B"});
  Fill();
  auto before = Screen();
  Then([&] {
    EXPECT_EQ(Shown(), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_EQ(Highlighted(), "A");
    EXPECT_NE(Row(2).find(" Tabla "), std::string::npos);
    EXPECT_NE(Row(23).find(" Kod "), std::string::npos) << "the index's label below";
    EXPECT_EQ(Row(3).substr(1, 10), "Kod    Nev");
    EXPECT_EQ(Row(4).substr(1, 18), "A      name-A     ");
    EXPECT_NE(Row(24).find(S(" Rögzit"_cp)), std::string::npos);
    EXPECT_NE(Row(24).find(S(" Ins-új"_cp)), std::string::npos);
    EXPECT_EQ(Row(1), std::string(80, '.'));
    EXPECT_EQ(Row(25), std::string(80, '.'));
    PressEsc();
  });
  EXPECT_EQ(List(), key::kEsc);
  EXPECT_EQ(table->CurrentRecord, n[1]);
  EXPECT_EQ(Code(table->Record), "A     ");
  EXPECT_EQ(Screen(), before) << "Esc closes the list and the screen comes back";

  table->CurrentIndex = 2;  // by name: the same order here, from the current record on
  PositionOn(n[3]);
  ExpectPage({"A", "B", "C", "D"}, "B", [&] { PressEsc(); });
  EXPECT_EQ(List(), key::kEsc);
}

TEST_F(WidgetsTest, ListScrollsAndStopsAtBothEnds) {
  AddNumbered(45);
  ExpectPage(Range(0, 18), "A00", [&] {
    Special(key::kUp);  // at the top: nothing
    for (int i = 0; i < 18; ++i) Special(key::kDown);
  });
  ExpectPage(Range(0, 18), "A18", [&] { Special(key::kDown); });
  ExpectPage(Range(1, 19), "A19", [&] { Special(key::kPgDn); });
  ExpectPage(Range(20, 38), "A38", [&] { Special(key::kPgDn); });
  ExpectPage(Range(26, 44), "A44", [&] { Special(key::kPgDn); }) ;  // the last page is full
  ExpectPage(Range(26, 44), "A44", [&] {
    Special(key::kDown);  // at the end: nothing
    Special(key::kHome);
  });
  ExpectPage(Range(0, 18), "A00", [&] {
    Special(key::kPgUp);
    Special(key::kEnd);
  });
  ExpectPage(Range(26, 44), "A44", [&] { Special(key::kPgUp); });
  ExpectPage(Range(7, 25), "A25", [&] { Special(key::kPgUp); });
  ExpectPage(Range(0, 18), "A18", [&] { Special(key::kPgUp); });
  ExpectPage(Range(0, 18), "A00", [&] {
    Special(key::kEnd);
    Special(key::kUp);
  });
  ExpectPage(Range(26, 44), "A43", [&] { Keys("j"); });
  EXPECT_EQ(List(), 'J');
  EXPECT_EQ(Code(table->Record), "A43   ");
  EXPECT_EQ(table->CurrentKey, "A43   ");
  ExpectPage(Range(26, 44), "A43", [&] { PressEsc(); });  // shown again where it was
  EXPECT_EQ(List(), key::kEsc);
}

TEST_F(WidgetsTest, ListEndsOnExitKeysAndClicks) {
  auto n = AddCodes({"A", "B", "C", "D"});
  Then([&] {
    Keys("xq");         // no exit keys: nothing
    Special(key::kDown);
    Special(key::kDel);
  });
  EXPECT_EQ(List(), key::kDel);
  EXPECT_EQ(table->CurrentRecord, n[1]);

  Then([&] { Click(10, 6); });  // the third data row
  Then([&] {
    EXPECT_EQ(Highlighted(), "C");
    Click(ColumnOf("Javit", 24) + 1, 24);
  });
  EXPECT_EQ(List(), 'J') << "a click on the key help gives its key";
  EXPECT_EQ(table->CurrentRecord, n[2]);

  Then([&] { Click(ColumnOf(S("Ins-új"_cp), 24), 24); });
  EXPECT_EQ(List(), key::kIns);

  Then([&] { DoubleClick(10, 7); });
  EXPECT_EQ(List(), key::kEnter) << "a double click is Enter";
  EXPECT_EQ(table->CurrentRecord, n[3]);

  Then([&] {
    Click(10, 4);
    Keys("t");
  });
  EXPECT_EQ(List(), 'T');
  EXPECT_EQ(table->CurrentRecord, n[0]);
  PressEsc();
  EXPECT_EQ(List(), key::kEsc);
}

TEST_F(WidgetsTest, FilterAndKeyBoundsDecideWhichRecordsAreListed) {
  AddCodes({"AB", "B1", "CB", "C2", "D1", "DB"});
  table->FilterOn = true;
  records::SetFieldText(F(rt::kCode), table->Filter.data(), "b");
  ExpectPage({"AB", "B1", "CB", "DB"}, "AB", [&] {
    EXPECT_NE(Row(23).find(S("Szürö"_cp)), std::string::npos);
    Special(key::kEnd);
  });
  ExpectPage({"AB", "B1", "CB", "DB"}, "DB", [&] { PressEsc(); });
  EXPECT_EQ(List(), key::kEsc);

  table->FilterOn = false;
  table->CurrentRecord = 0;  // no position: from the first record within the bounds
  table->KeyFrom = "b";
  table->KeyTo = "C";
  ExpectPage({"B1", "C2", "CB"}, "B1", [&] {
    Special(key::kEnd);
    Special(key::kPgDn);
  });
  ExpectPage({"B1", "C2", "CB"}, "CB", [&] {
    Special(key::kHome);
    Special(key::kPgUp);
  });
  ExpectPage({"B1", "C2", "CB"}, "B1", [&] { PressEsc(); });
  EXPECT_EQ(List(), key::kEsc);
}

TEST_F(WidgetsTest, EmptyListReturnsZeroAndLeavesTheScreen) {
  Fill();
  auto before = Screen();
  EXPECT_EQ(List(), 0) << "an empty table";
  EXPECT_EQ(Screen(), before);

  AddCodes({"A", "B"});
  table->FilterOn = true;
  records::SetFieldText(F(rt::kCode), table->Filter.data(), "Z");
  EXPECT_EQ(List(), 0) << "no record passes the filter";
  EXPECT_EQ(Screen(), before);
}

TEST_F(WidgetsTest, ListFollowsRecordsAddedAndRemovedUnderIt) {
  auto n = AddCodes({"A", "B", "C", "D", "E"});
  ExpectPage({"A", "B", "C", "D", "E"}, "A", [&] {
    Special(key::kDown);
    Keys("J");
  });
  EXPECT_EQ(List(), 'J');
  EXPECT_NE(Row(2).find(" Tabla "), std::string::npos) << "the list stays on screen";

  Remove(n[0]);
  Add("AA", "name-AA");
  Add("BB", "name-BB");
  records::RedrawList(*table);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"AA", "B", "BB", "C", "D", "E"}));
  EXPECT_EQ(Highlighted(), "B");

  db::FreeRecord(table->Data, n[2]);  // freed, its keys still in the indexes
  records::RedrawList(*table);
  EXPECT_EQ(Shown(), (std::vector<std::string>{"AA", "B", "BB", "D", "E"}));

  Remove(n[1]);  // the current record goes: the next one is highlighted
  ExpectPage({"AA", "BB", "D", "E"}, "BB", [&] { PressEsc(); });
  EXPECT_EQ(List(), key::kEsc);
  records::RedrawList(*table);  // closed: nothing drawn
  EXPECT_EQ(Row(2).find(" Tabla "), std::string::npos);
}

TEST_F(WidgetsTest, ListPositionedNearTheEndShowsAFullPage) {
  auto n = AddNumbered(30);
  PositionOn(n[27]);
  ExpectPage(Range(11, 29), "A27", [&] { PressEsc(); });
  EXPECT_EQ(List(), key::kEsc);
}

TEST_F(WidgetsTest, ListReadsOnlyThePagesItShows) {
  AddNumbered(99);
  for (int i = 0; i < 200; ++i) Add("B" + std::to_string(1000 + i));
  int rows = 0;
  auto row = def.Row;
  def.Row = [&rows, row](const std::uint8_t* record) {
    ++rows;
    return row(record);
  };
  Then([&] {
    EXPECT_EQ(rows, kPageRows) << "the first page";
    Special(key::kPgDn);
  });
  Then([&] {
    EXPECT_EQ(rows, 2 * kPageRows) << "one more page";
    Special(key::kEnd);
  });
  Then([&] {
    EXPECT_EQ(rows, 3 * kPageRows) << "the last page, read backwards from the end";
    EXPECT_EQ(Highlighted(), "B1199");
    PressEsc();
  });
  EXPECT_EQ(List(), key::kEsc);
  def.Row = row;
}

// ---- Form ----------------------------------------------------------------------------

// The sample's form: labels of up to 6, values up to 20 wide: a window on
// columns 25..56 and rows 10..15, the values from column 35, field i on
// row 11 + i.
constexpr int kValueColumn = 35, kFirstFieldRow = 11;

TEST_F(WidgetsTest, FormTypingAndF10StoreTheRecord) {
  Fill();
  auto before = Screen();
  auto record = records::BlankRecord(def);
  Then([&] {
    EXPECT_NE(Row(10).find(" Adat "), std::string::npos);
    EXPECT_EQ(Row(kFirstFieldRow).substr(26, 3), "Kod");
    EXPECT_EQ(Row(kFirstFieldRow + 2).substr(26, 6), "Osszeg");
    EXPECT_NE(Row(25).find(S("F10-tárolás"_cp)), std::string::npos);
    EXPECT_EQ(term.At(kValueColumn - 1, kFirstFieldRow - 1).Attr, kHighlight);
    Keys("k01\r");
    Keys(S("Kovács"_cp));
    Keys("\r12.5\r2024.03.15");
    Special(key::kF10);
  });
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", "F10-tárolás Esc-kilépés"_cp), key::kF10);
  EXPECT_EQ(records::FieldText(F(rt::kCode), record.data()), "k01   ");
  EXPECT_EQ(records::FieldText(F(rt::kName), record.data()), S("Kovács"_cp) + std::string(14, ' '));
  EXPECT_EQ(records::FieldText(F(rt::kAmount), record.data()), "   12.50");
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "20240315");
  EXPECT_EQ(Screen(), before) << "the form's window and key help are gone";
}

TEST_F(WidgetsTest, FormEscLeavesTheRecordAsItCame) {
  auto record = Make("K1", "Név"_cp, 3, "20200202");
  auto original = record;
  Fill();
  Then([&] {
    EXPECT_EQ(Row(25), std::string(80, '.')) << "no key help, no bar";
    Keys("X\rY\r99\r");
    Special(key::kUp);
    PressEsc();
  });
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kEsc);
  EXPECT_EQ(record, original);
}

TEST_F(WidgetsTest, FormKeyHelpLabelsAreClickable) {
  auto record = Make("K1");
  const std::string help = S("F10-tárolás Esc-kilépés"_cp);
  Then([&] {
    Keys("Q");
    Click(ColumnOf(S("Esc-kilépés"_cp), 25), 25);
  });
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", help), key::kEsc);
  EXPECT_EQ(Code(record), "K1    ");

  Then([&] {
    Keys("Q");
    Click(ColumnOf("F10", 25) + 1, 25);
  });
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", help), key::kF10);
  EXPECT_EQ(Code(record), "Q     ");
}

TEST_F(WidgetsTest, FormShowsNumbersAndDatesAndStoresThemBackUnchanged) {
  auto record = Make("K1", "Alma", 1234.5, "20231231");
  auto original = record;
  Then([&] {
    EXPECT_EQ(Row(kFirstFieldRow + 2).substr(kValueColumn - 1, 20), " 1234.50            ");
    EXPECT_EQ(Row(kFirstFieldRow + 3).substr(kValueColumn - 1, 12), "2023.12.31  ");
    Keys("\r\r\r");
    Special(key::kF10);
  });
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(record, original);

  Keys("\r\r");
  Keys("-7\r");
  Keys("19991231");  // the points may be left out
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(records::FieldValue(F(rt::kAmount), record.data()), -7);
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "19991231");

  Keys("\r\r\r");
  term.PushKey(0x0E, 8);  // the selected date deleted: blanks stored
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "        ");
}

TEST_F(WidgetsTest, FormKeepsTheCursorInAFieldThatDoesNotRead) {
  auto record = Make("K1");
  Keys("\r\r1-2\r");  // not a number: the amount again
  Keys("5\r");
  Keys("2024.1");     // not a date
  Special(key::kF10);
  Keys("20240102");
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(term.Beeps(), 2);
  EXPECT_EQ(records::FieldValue(F(rt::kAmount), record.data()), 5);
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "20240102");
}

TEST_F(WidgetsTest, TheFilterFormTakesDatePatternsAndTheRecordFormDoesNot) {
  Keys("\r\r\r");
  Keys("2024.??.??");
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, table->Filter, " Szürö "_cp, ""), key::kF10);
  EXPECT_EQ(records::FieldText(F(rt::kDate), table->Filter.data()), "2024????");
  EXPECT_EQ(term.Beeps(), 0);

  auto record = Make("K1");
  Keys("\r\r\r");
  Keys("2024.??.??");  // "?" is not typed into a record's date: "2024.." does not read
  Special(key::kF10);
  Keys("\x1b");
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kEsc);
  EXPECT_EQ(term.Beeps(), 1);
}

TEST_F(WidgetsTest, FormRefusesANumberTooWideAndADayThatDoesNotExist) {
  auto record = Make("K1", "Alma", 5);
  auto wide = std::string(static_cast<std::size_t>(F(rt::kAmount).Length), '9');
  Keys("\r\r" + wide + "\r");  // with its decimals it would not fit: refused
  Keys("7\r");
  Keys("20230229");  // no 29 February in 2023
  Special(key::kF10);
  Keys("20240229");
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(term.Beeps(), 2);
  EXPECT_EQ(records::FieldValue(F(rt::kAmount), record.data()), 7);
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "20240229");
}

TEST_F(WidgetsTest, FormMovesBetweenFieldsBothWaysAndRound) {
  auto record = Make("K1");
  Special(key::kUp);  // from the first to the last field
  Keys("20200101");
  PressEnter();       // from the last round to the first
  Keys("X");
  term.PushKey(0x0F, 0, platform::kShift);  // Shift+Tab: back to the date
  Special(key::kUp);                         // and the amount
  Keys("8");
  Special(key::kF10);
  EXPECT_EQ(records::EditForm(*table, record, " Adat ", ""), key::kF10);
  EXPECT_EQ(Code(record), "X     ");
  EXPECT_EQ(records::FieldText(F(rt::kDate), record.data()), "20200101");
  EXPECT_EQ(records::FieldValue(F(rt::kAmount), record.data()), 8);
}

TEST_F(WidgetsTest, ShowFormDrawsTheRecordAndWaitsForNothing) {
  auto record = Make("K7", "Alma", 2.5, "20240229");
  records::ShowForm(*table, record.data(), " Adat ");
  EXPECT_EQ(Row(kFirstFieldRow).substr(kValueColumn - 1, 6), "K7    ");
  EXPECT_EQ(Row(kFirstFieldRow + 2).substr(kValueColumn - 1, 8), "    2.50");
  EXPECT_EQ(Row(kFirstFieldRow + 3).substr(kValueColumn - 1, 10), "2024.02.29");
  EXPECT_EQ(console::WindMin(), 0) << "the text window as it was";
}

// ---- Key search ------------------------------------------------------------------------

TEST_F(WidgetsTest, KeySearchFindsTheFirstKeyAtLeastTheTypedOne) {
  auto n = AddCodes({"AB", "CD", "EF"});
  Answer("c\r");
  EXPECT_TRUE(records::KeySearch(*table));
  EXPECT_TRUE(Seen(S("Keresés: Kod"_cp)));
  EXPECT_EQ(table->CurrentRecord, n[1]);
  EXPECT_EQ(table->CurrentKey, "CD    ");
  EXPECT_EQ(Code(table->Record), "CD    ");

  Keys("CD\r");  // an exact key
  EXPECT_TRUE(records::KeySearch(*table));
  EXPECT_EQ(table->CurrentRecord, n[1]);

  db::FreeRecord(table->Data, n[1]);  // freed, its key left: skipped
  Keys("B\r");
  EXPECT_TRUE(records::KeySearch(*table));
  EXPECT_EQ(table->CurrentRecord, n[2]);

  Keys("ZZ\r");
  EXPECT_FALSE(records::KeySearch(*table)) << "nothing follows";
  Keys("A");
  PressEsc();
  EXPECT_FALSE(records::KeySearch(*table));
  EXPECT_EQ(table->CurrentRecord, n[2]) << "the position stays";
}

TEST_F(WidgetsTest, KeySearchUsesTheCurrentIndex) {
  Add("Z1", "Barack");
  auto alma = Add("Z2", "Alma");
  table->CurrentIndex = 2;
  Answer("alm\r");
  EXPECT_TRUE(records::KeySearch(*table));
  EXPECT_TRUE(Seen(S("Keresés: Nev"_cp)));
  EXPECT_EQ(table->CurrentRecord, alma);
}

}  // namespace
