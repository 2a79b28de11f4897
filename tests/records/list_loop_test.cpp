// The list loop with scripted keys: editing under the lock, deleting with
// the confirmation, new records, the filter entry and its empty result, the
// empty table's menu, and the group edit that never offers a record twice.
#include "records_fixture.h"

using namespace platform::literals;
using records_test::TableTest;
namespace key = records::key;

namespace {

class ListLoopTest : public TableTest {
 protected:
  // The list's exit by Esc as the last step.
  void ThenLeave() {
    Then([this] {
      NoteScreen();
      PressEsc();
    });
  }
};

TEST_F(ListLoopTest, EditStoresTheFormUnderTheLockAndEscPutsTheRecordBack) {
  Seed();
  Then([this] { Special(key::kDown); });
  Then([this] {
    Keys("J");  // the form on B2: Code, then Name
    Keys("\r");
    Keys("Barack");
    Special(key::kF10);
  });
  Then([this] {
    EXPECT_EQ(table->ListMode, 1);
    Keys("\r");  // Enter edits too; Esc leaves the edit
    Keys("\r");
    Keys("Dinnye");
    PressEsc();
  });
  ThenLeave();
  records::BrowseTable();
  EXPECT_EQ(Name(b), "Barack");
  EXPECT_TRUE(table->Data.Held.empty()) << "no lock outlives the edit";
  std::string barack = "BARACK" + std::string(14, ' ') + "=" + std::to_string(b);
  EXPECT_EQ(IndexKeys(2)[1], barack) << "the name's index follows the edit";
  EXPECT_EQ(table->CurrentRecord, b);
}

TEST_F(ListLoopTest, DeleteAsksFirstThenRemovesTheKeysFromEveryIndexAndFreesTheRecord) {
  Seed();
  std::vector<int> afterDelete;
  def.AfterDelete = [&](int code, records::TableView& t) {
    afterDelete.push_back(code);
    EXPECT_EQ(&t, table.get());
  };
  Then([this] {
    Special(key::kDown);
    Keys("T");
  });
  Answer("N");  // kept
  Then([this] { Special(key::kDel); });
  Answer("I");
  ThenLeave();
  records::BrowseTable();
  EXPECT_TRUE(Seen("Biztosan törölni akart? I/N : "_cp));
  EXPECT_FALSE(InUse(b));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 2);
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"A1    =" + std::to_string(a),
                                                    "C3    =" + std::to_string(c)}));
  EXPECT_EQ(IndexKeys(2).size(), 2u);
  for (const auto& k : IndexKeys(2)) EXPECT_EQ(k.find("KORTE"), std::string::npos);
  EXPECT_EQ(afterDelete, std::vector<int>{100});
  EXPECT_EQ(table->CurrentRecord, c) << "the list goes on at the following record";
}

TEST_F(ListLoopTest, DeleteOfAnEntryNoLongerInTheIndexFails) {
  Seed();
  PositionOn(b);
  std::int32_t ref = b;
  db::RemoveKey(table->Index(1), ref, "B2    ");
  ASSERT_TRUE(db::DbOk());
  Answer("\r");
  EXPECT_FALSE(records::DeleteCurrentRecord(*table));
  EXPECT_TRUE(Seen("A törlés nem sikerült!"_cp));
  EXPECT_TRUE(InUse(b));
}

TEST_F(ListLoopTest, NewRecordWithATakenCodeStoresNothingAndTheFormComesBack) {
  Seed();
  Then([this] {
    Special(key::kIns);
    Keys("a1\r");
    Keys("Masik");
    Special(key::kF10);
  });
  Answer("\r");  // "Ilyen kulcs már van!"
  Then([this] {
    NoteScreen();  // the form again, as typed
    PressEsc();
  });
  ThenLeave();
  records::BrowseTable();
  EXPECT_TRUE(Seen("Ilyen kulcs már van!"_cp));
  EXPECT_TRUE(Seen("Masik"));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 3);
  EXPECT_EQ(db::RecordCount(table->Data), 4) << "nothing appended";
  EXPECT_EQ(IndexKeys(2).size(), 3u);
}

// The key-help line offers the list's commands, and each word runs what its
// key runs, by a click or by the key in either case.
TEST_F(ListLoopTest, TheKeyHelpLineOffersTheCommandsAndEachWordRunsItsCommand) {
  Seed();
  ui::InitMouse();
  Then([this] {
    EXPECT_TRUE(ShowsInOrder(24, {"Rögzit"_cp, "Javit", "Ins-új"_cp, "Töröl"_cp, "Keres", "Csop.jav", "Esc-ki"}))
        << Row(24);
    Click(ColumnOf("Keres ", 24) + 1, 24);
  });
  Then([this] {
    NoteScreen();
    Keys("c3\r");  // the key search, opened by the click
  });
  Then([this] {
    EXPECT_EQ(table->CurrentRecord, c);
    Keys("k");  // and by its key
  });
  Then([this] {
    Keys("b2\r");
  });
  Then([this] { Click(ColumnOf("Esc-ki", 24) + 1, 24); });
  records::BrowseTable();
  EXPECT_TRUE(Seen("Keresés: "_cp));
  EXPECT_EQ(table->CurrentRecord, b);
}

TEST_F(ListLoopTest, RecordCommandEntersRecordsUntilEsc) {
  Seed();
  Then([this] {
    Keys("R");
    Keys("D4\rDio");
    Special(key::kF10);
  });
  Then([this] {
    NoteScreen();
    Keys("E5\rEper");
    Special(key::kF10);
  });
  Then([this] { PressEsc(); });
  ThenLeave();
  records::BrowseTable();
  EXPECT_TRUE(Seen("rögzités vége"_cp));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 5);
  EXPECT_EQ(IndexKeys(1).back().substr(0, 6), "E5    ");
  EXPECT_EQ(Code(table->CurrentRecord), "E5    ") << "the last one entered is current";
}

TEST_F(ListLoopTest, AnEmptyTableOffersTheMenuToRecordOrToLeave) {
  Then([this] {
    NoteScreen();
    Keys("r");
  });
  Then([this] {
    Keys("A1\rAlma");
    Special(key::kF10);
  });
  Then([this] { PressEsc(); });
  ThenLeave();
  records::BrowseTable();
  EXPECT_TRUE(Seen("Rögzités"_cp));
  EXPECT_TRUE(Seen("Vége"_cp));
  EXPECT_EQ(db::LiveRecordCount(table->Data), 1);

  CloseSample();
  ASSERT_EQ(platform::EraseFile("TABLA.dat"), 0);
  OpenSample();
  Then([this] { Keys("V"); });
  records::BrowseTable();
}

TEST_F(ListLoopTest, AFilterThatMatchesNothingIsSwitchedOffWithAMessage) {
  Seed();
  table->DefaultIndex = 1;
  table->CurrentIndex = 2;
  table->GroupEditCount = 4;
  Then([this] { Special(key::kF7); });
  Then([this] {
    NoteScreen();  // the filter's form: the code "ZZ" (its only filtered field)
    Keys("ZZ");
    Special(key::kF10);
  });
  Answer("\r");
  Then([this] {
    NoteScreen();
    EXPECT_FALSE(table->FilterOn);
    PressEsc();
  });
  records::BrowseTable();
  EXPECT_TRUE(Seen(" Szürö "_cp));
  EXPECT_TRUE(Seen("Nincs megfelelö tétel!..."_cp));
  EXPECT_EQ(table->GroupEditCount, 0);
  EXPECT_EQ(table->CurrentIndex, 1) << "back on the default index";
  EXPECT_TRUE(Seen("Szilva")) << "the whole list again";
}

TEST_F(ListLoopTest, AFilterListsOnlyTheMatchingRecordsAndEscOnItsFormSwitchesItOff) {
  Seed();
  Add("B7", "Bodza");
  Then([this] {
    Special(key::kF7);
    Keys("B");
    Special(key::kF10);
  });
  Then([this] {
    EXPECT_TRUE(table->FilterOn);
    EXPECT_FALSE(Row(5).find("Alma") != std::string::npos) << Row(5);
    EXPECT_NE(Row(4).find("Korte"), std::string::npos) << Row(4);
    EXPECT_NE(Row(5).find("Bodza"), std::string::npos) << Row(5);
    Special(key::kDown);
    Special(key::kF7);
    PressEsc();
  });
  Then([this] {
    EXPECT_FALSE(table->FilterOn);
    EXPECT_NE(Row(4).find("Alma"), std::string::npos) << Row(4);
    PressEsc();
  });
  records::BrowseTable();
  EXPECT_EQ(Code(table->CurrentRecord), "B7    ") << "the position stays on the record";
}

TEST_F(ListLoopTest, AFilterSwitchedOnListsFromTheFirstMatchingRecordWhereverTheListStood) {
  for (int i = 0; i < 100; ++i) Add("C" + std::to_string(1000 + i).substr(1), "Alma");
  Then([this] {
    Special(key::kPgDn);
    Special(key::kPgDn);
  });
  Then([this] {
    EXPECT_EQ(Row(4).find("C000"), std::string::npos) << "scrolled away from the start";
    Special(key::kF7);
    Keys("C");  // every code holds a C
    Special(key::kF10);
  });
  Then([this] {
    EXPECT_TRUE(table->FilterOn);
    EXPECT_NE(Row(4).find("C000"), std::string::npos) << Row(4);
    PressEsc();
  });
  records::BrowseTable();
}

// The first edit moves A1's key behind C3; the run goes on with B2 and C3
// and ends instead of offering A1 (now D4) again.
TEST_F(ListLoopTest, GroupEditNeverOffersARecordTwiceEvenWhenAnEditMovesItsKeyForward) {
  Seed();
  std::vector<std::int32_t> offered;
  Then([this] { Keys("C"); });
  Then([&] {
    offered.push_back(table->CurrentRecord);
    Keys("D4\rElso");
    Special(key::kF10);
  });
  for (const char* name : {"Masodik", "Harmadik"}) {
    Then([&, name] {
      offered.push_back(table->CurrentRecord);
      Keys("\r");
      Keys(name);
      Special(key::kF10);
    });
  }
  Then([&] {
    NoteScreen();
    EXPECT_TRUE(Seen("Nincs következö !"_cp));
    Keys("\r");
  });
  ThenLeave();
  records::BrowseTable();
  EXPECT_EQ(offered, (std::vector<std::int32_t>{a, b, c}));
  EXPECT_EQ(Code(a), "D4    ");
  EXPECT_EQ(Name(a), "Elso");
  EXPECT_EQ(Name(b), "Masodik");
  EXPECT_EQ(Name(c), "Harmadik");
  EXPECT_EQ(table->GroupEditCount, 2);
  EXPECT_FALSE(platform::FileExists("TTEST_1$.idx")) << "the temporary index is erased";
  EXPECT_TRUE(table->Data.Held.empty());
}

TEST_F(ListLoopTest, GroupEditEndsWithEscAndKeepsItsTemporaryIndexPrivate) {
  Seed();
  Then([this] {
    Special(key::kDown);
    Keys("C");
  });
  Then([this] {
    EXPECT_TRUE(platform::FileExists("TTEST_1$.idx")) << "named after the station";
    Keys("\rUj");
    Special(key::kF10);
  });
  Then([this] { PressEsc(); });
  ThenLeave();
  records::BrowseTable();
  EXPECT_EQ(Name(b), "Uj");
  EXPECT_EQ(Name(c), "Szilva");
  EXPECT_EQ(table->CurrentRecord, c);
  EXPECT_FALSE(platform::FileExists("TTEST_1$.idx"));
}

}  // namespace
