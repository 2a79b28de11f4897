// The one-record view with scripted keys: the search that starts it, the
// steps with their end messages, edit, delete and new records from its menu
// bar, and the screen put back at the end.
#include "records_fixture.h"

using namespace platform::literals;
using records_test::TableTest;
namespace key = records::key;

namespace {

class ViewLoopTest : public TableTest {
 protected:
  // The form's row of a field's label ("" when the form is not on screen).
  std::string FormRow(std::string_view label) {
    for (int row = 1; row <= 25; ++row)
      if (Row(row).find(label) != std::string::npos) return Row(row);
    return "";
  }
  // A step for the next wait: the keys (or a special key), after the
  // screen and the table's current record were noted.
  void Step(std::string_view keys) {
    Then([this, keys = std::string(keys)] {
      NoteShown();
      Keys(keys);
    });
  }
  void StepSpecial(std::uint8_t code) {
    Then([this, code] {
      NoteShown();
      Special(code);
    });
  }
  void NoteShown() {
    NoteScreen();
    shown.push_back(table->CurrentRecord);
  }
  std::vector<std::int32_t> shown;  // the current record at each step
};

TEST_F(ViewLoopTest, AnEmptyTableHasNothingToView) {
  Answer("\r");
  records::ViewRecords();
  EXPECT_TRUE(Seen("Nincs tárolt rekord"_cp));
}

TEST_F(ViewLoopTest, DownOnTheLastRecordSaysSoAndKeepsTheLastRecordShown) {
  Seed();
  Step("c3\r");  // the key search
  StepSpecial(key::kDown);
  Answer("\r");
  Then([this] {
    EXPECT_NE(FormRow("Kod").find("C3"), std::string::npos) << FormRow("Kod");
    EXPECT_NE(FormRow("Nev").find("Szilva"), std::string::npos) << FormRow("Nev");
    // The menu bar offers the commands in their order.
    EXPECT_TRUE(ShowsInOrder(25, {"Keresés"_cp, "\x18", "\x19", "Home", "End", "Javitás"_cp, "Törlés"_cp, "Uj",
                                  "Vissza"}))
        << Row(25);
    Keys("V");
  });
  records::ViewRecords();
  EXPECT_TRUE(Seen("Nincs következö !"_cp));
  EXPECT_EQ(table->CurrentRecord, c);
}

TEST_F(ViewLoopTest, ArrowsHomeEndAndTheNumericPadDigitsStepThroughTheIndex) {
  Seed();
  Step("b2\r");
  Step("8");  // Up: A1
  Step("8");  // nothing before A1
  Answer("\r");
  StepSpecial(key::kEnd);
  StepSpecial(key::kHome);
  Step("2");  // Down: B2
  Step("1");  // End: C3
  Step("7");  // Home: A1
  StepSpecial(key::kUp);
  Answer("\r");
  Step("v");
  records::ViewRecords();
  EXPECT_TRUE(Seen("Nincs elözö"_cp));
  EXPECT_EQ(shown, (std::vector<std::int32_t>{0, b, a, a, c, a, b, c, a, a}));
}

TEST_F(ViewLoopTest, DeletingTheOnlyRecordEndsTheViewAndTheScreenComesBack) {
  Add("A1", "Alma");
  ui::WriteAt(1, 12, "under the view", 0x07);
  Step("\r");  // the search from the first key
  Step("T");
  Answer("I");  // "Igen"
  records::ViewRecords();
  EXPECT_TRUE(Seen("Biztosan törölni akar ? "_cp));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 0);
  EXPECT_TRUE(IndexKeys(1).empty());
  EXPECT_TRUE(IndexKeys(2).empty());
  EXPECT_EQ(Row(12).substr(0, 14), "under the view");
  EXPECT_EQ(Row(25), std::string(80, ' '));
}

TEST_F(ViewLoopTest, DeleteAnsweredNoKeepsTheRecordAndYesShowsTheNextOne) {
  Seed();
  Step("b\r");
  Step("t");
  Answer("N");
  Step("T");
  Answer("\r");  // Enter is "Igen"
  Step("V");
  records::ViewRecords();
  EXPECT_EQ(shown, (std::vector<std::int32_t>{0, b, b, c}));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 2);
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"A1    =" + std::to_string(a),
                                                    "C3    =" + std::to_string(c)}));
}

TEST_F(ViewLoopTest, EditAndNewRecordFromTheMenuAreStoredAndShown) {
  Seed();
  Step("a1\r");
  Step("J");
  Then([this] {
    NoteScreen();
    Keys("\rBirs");
    Special(key::kF10);
  });
  Step("U");
  Then([this] {
    Keys("B5\rBanan");
    Special(key::kF10);
  });
  Then([this] {
    EXPECT_NE(FormRow("Nev").find("Banan"), std::string::npos) << FormRow("Nev");
    Keys("V");
  });
  records::ViewRecords();
  EXPECT_EQ(Name(a), "Birs");
  EXPECT_TRUE(table->Data.Held.empty());
  EXPECT_EQ(db::LiveRecordCount(table->Data), 4);
  EXPECT_EQ(Code(table->CurrentRecord), "B5    ");
}

TEST_F(ViewLoopTest, TheSearchStartsAgainFromTheMenuAndEndsTheViewWhenLeftOrFruitless) {
  Seed();
  Step("c3\r");
  Step("K");
  Step("b\r");
  Step("k");
  Step("\x1b");  // Esc in the search box ends the view
  records::ViewRecords();
  EXPECT_EQ(shown, (std::vector<std::int32_t>{0, c, c, b, b}));

  Step("Z\r");  // no key at least "Z"
  records::ViewRecords();
}

}  // namespace
