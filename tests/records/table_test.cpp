// The table layer: field values in record images, opening a table's files,
// storing new and edited records with their keys, and finding the current
// record again.
#include <filesystem>

#include "records_fixture.h"

using namespace platform::literals;
using records_test::TableTest;
namespace rt = records_test;

namespace {

std::string S(std::string_view cp852) { return std::string(cp852); }

TEST_F(TableTest, FieldTextIsCutOrPaddedAndNumbersAreRightAlignedWithTheirDecimals) {
  auto record = records::BlankRecord(def);
  records::SetFieldText(F(rt::kCode), record.data(), "AB");
  EXPECT_EQ(records::FieldText(F(rt::kCode), record.data()), "AB    ");
  records::SetFieldText(F(rt::kCode), record.data(), "ABCDEFGH");
  EXPECT_EQ(records::FieldText(F(rt::kCode), record.data()), "ABCDEF");
  EXPECT_EQ(records::FieldText(F(rt::kName), record.data()), std::string(20, ' '));

  const auto& amount = F(rt::kAmount);
  EXPECT_EQ(records::FieldValue(amount, record.data()), 0) << "blanks read as 0";
  records::SetFieldValue(amount, record.data(), 123.5);
  EXPECT_EQ(records::FieldText(amount, record.data()), "  123.50");
  EXPECT_EQ(records::FieldValue(amount, record.data()), 123.5);
  records::SetFieldText(amount, record.data(), " -7.25 ");
  EXPECT_EQ(records::FieldText(amount, record.data()), "   -7.25");
  EXPECT_EQ(records::FieldValue(amount, record.data()), -7.25);
  records::SetFieldText(amount, record.data(), "xyz");
  EXPECT_EQ(records::FieldText(amount, record.data()), "    0.00") << "not a number stores 0";
  records::SetFieldText(amount, record.data(), "   ");
  EXPECT_EQ(records::FieldText(amount, record.data()), "        ");
  records::SetFieldValue(amount, record.data(), 123456789);
  EXPECT_EQ(records::FieldText(amount, record.data()), "********") << "too wide for the field";
  EXPECT_EQ(records::FieldValue(amount, record.data()), 0);

  // Neighbouring bytes are untouched by every field write.
  EXPECT_EQ(record[30], ' ');
  EXPECT_EQ(record[39], ' ');
}

TEST_F(TableTest, BlankRecordHasBlankFieldsZeroesElsewhereAndTheInUseByte) {
  auto record = records::BlankRecord(def);
  ASSERT_EQ(record.size(), 50u);
  EXPECT_EQ(std::string(record.begin(), record.begin() + 4), std::string(4, '\0'));
  EXPECT_EQ(record[4], 1);
  EXPECT_EQ(std::string(record.begin() + 5, record.begin() + 47), std::string(42, ' '));
  EXPECT_EQ(record[47], 0);
  EXPECT_EQ(record[49], 0);
  EXPECT_EQ(table->Filter, record) << "the filter starts blank";
  EXPECT_EQ(table->Record.size(), 50u);
}

TEST_F(TableTest, KeysJoinFieldsAndComeUpperCasedAndCutToTheIndexLength) {
  auto record = Make("ab", S("álma"_cp));
  auto both = records::FieldsKey(def.Fields, {rt::kName, rt::kCode});
  EXPECT_EQ(both(record.data()), S("álma"_cp) + std::string(16, ' ') + "ab    ");
  EXPECT_EQ(records::RecordKey(*table, 1, record.data()), "AB    ");
  EXPECT_EQ(records::RecordKey(*table, 2, record.data()), S("ÁLMA"_cp) + std::string(16, ' '));
  def.Indexes[0].Key = both;  // longer than the index's 6
  EXPECT_EQ(records::RecordKey(*table, 1, record.data()), S("ÁLMA  "_cp));
}

TEST_F(TableTest, OpenTableCreatesMissingFilesKeepsExistingOnesAndRenewsIndexesOfANewDataFile) {
  EXPECT_TRUE(platform::FileExists("TABLA.dat"));
  EXPECT_TRUE(platform::FileExists("TKOD.idx"));
  EXPECT_TRUE(platform::FileExists("TNEV.idx"));
  std::int32_t a = Add("A1", "Alma"), b = Add("B2", "Korte");
  CloseSample();
  OpenSample();
  EXPECT_EQ(db::LiveRecordCount(table->Data), 2);
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"A1    =" + std::to_string(a),
                                                    "B2    =" + std::to_string(b)}));

  CloseSample();
  ASSERT_EQ(platform::EraseFile("TNEV.idx"), 0);
  OpenSample();
  EXPECT_EQ(IndexKeys(2).size(), 2u) << "a missing index is created and filled from the records";
  EXPECT_EQ(IndexKeys(1).size(), 2u) << "the other index is kept";

  CloseSample();
  ASSERT_EQ(platform::EraseFile("TABLA.dat"), 0);
  OpenSample();
  EXPECT_EQ(db::LiveRecordCount(table->Data), 0);
  EXPECT_TRUE(IndexKeys(1).empty()) << "the keys of the old data file are gone";
}

// A damaged data file ends the program once, with its error's number: the
// table's destructor, on the way out, neither reports again nor ends the
// program a second time, and the damaged file is left as it was.
TEST_F(TableTest, ADamagedDataFileEndsTheProgramOnceAndTheTableClosesQuietly) {
  CloseSample();
  Put("TABLA.dat", "");
  term.PushChar('x');
  testing::internal::CaptureStdout();
  int code = EndCode([&] {
    records::TableView damaged(def);
    records::OpenTable(damaged);
  });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 100);
  EXPECT_EQ(out, "\nRECORD-access I/O error 100 \nFile TABLA.dat Record 0\nProgram aborted\n");
  EXPECT_EQ(Bytes("TABLA.dat"), "");
  EXPECT_EQ(db::OpenFileCount(), 0);
}

TEST_F(TableTest, StoreNewRecordInsertsItsKeyIntoEveryIndex) {
  std::int32_t a = Add("B2", "Korte"), b = Add("A1", "Alma"), c = Add("C3", "Alma");
  EXPECT_EQ(IndexKeys(1),
            (std::vector<std::string>{"A1    =" + std::to_string(b), "B2    =" + std::to_string(a),
                                      "C3    =" + std::to_string(c)}));
  std::string alma = "ALMA" + std::string(16, ' ');
  EXPECT_EQ(IndexKeys(2), (std::vector<std::string>{
                              alma + "=" + std::to_string(b), alma + "=" + std::to_string(c),
                              "KORTE" + std::string(15, ' ') + "=" + std::to_string(a)}));
  EXPECT_EQ(Code(c), "C3    ");
}

TEST_F(TableTest, StoreNewRecordWithATakenUniqueKeyStoresNothingAndSaysSo) {
  Add("A1", "Alma");
  auto keys1 = IndexKeys(1), keys2 = IndexKeys(2);
  std::int32_t length = db::RecordCount(table->Data);
  Answer("\r");
  std::int32_t n = 0;
  auto twin = Make("a1", "Barack");  // upper-cased, the same key
  EXPECT_FALSE(records::StoreNewRecord(*table, twin.data(), n));
  EXPECT_TRUE(Seen("Ilyen kulcs már van!"_cp));
  EXPECT_EQ(db::RecordCount(table->Data), length) << "no record appended";
  EXPECT_EQ(db::LiveRecordCount(table->Data), 1);
  EXPECT_EQ(IndexKeys(1), keys1);
  EXPECT_EQ(IndexKeys(2), keys2) << "no key in the index that allows duplicates either";
}

TEST_F(TableTest, StoreEditedRecordMovesOnlyTheChangedKeysAndReleasesTheLock) {
  std::int32_t a = Add("A1", "Alma"), b = Add("B2", "Korte");
  std::vector<std::uint8_t> before(50);
  db::ReadRecord(table->Data, a, before.data());
  ASSERT_TRUE(table->Data.Held.count(a));
  auto after = before;
  records::SetFieldText(F(rt::kName), after.data(), "Zab");
  EXPECT_TRUE(records::StoreEditedRecord(*table, a, before.data(), after.data()));
  EXPECT_FALSE(table->Data.Held.count(a)) << "the write released the lock";
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"A1    =" + std::to_string(a),
                                                    "B2    =" + std::to_string(b)}));
  EXPECT_EQ(IndexKeys(2),
            (std::vector<std::string>{"KORTE" + std::string(15, ' ') + "=" + std::to_string(b),
                                      "ZAB" + std::string(17, ' ') + "=" + std::to_string(a)}));
  std::vector<std::uint8_t> stored(50);
  records::PeekTableRecord(*table, a, stored.data());
  EXPECT_EQ(records::FieldText(F(rt::kName), stored.data()), "Zab" + std::string(17, ' '));

  // Moving the unique key too.
  db::ReadRecord(table->Data, a, before.data());
  after = before;
  records::SetFieldText(F(rt::kCode), after.data(), "C3");
  EXPECT_TRUE(records::StoreEditedRecord(*table, a, before.data(), after.data()));
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"B2    =" + std::to_string(b),
                                                    "C3    =" + std::to_string(a)}));
}

TEST_F(TableTest, StoreEditedRecordRefusesAKeyOfAnotherRecordAndKeepsEverything) {
  std::int32_t a = Add("A1", "Alma");
  Add("B2", "Korte");
  auto keys1 = IndexKeys(1), keys2 = IndexKeys(2);
  std::vector<std::uint8_t> before(50);
  db::ReadRecord(table->Data, a, before.data());
  auto after = before;
  records::SetFieldText(F(rt::kCode), after.data(), "b2");
  records::SetFieldText(F(rt::kName), after.data(), "Mas");
  Answer("\r");
  EXPECT_FALSE(records::StoreEditedRecord(*table, a, before.data(), after.data()));
  EXPECT_TRUE(Seen("Ilyen kulcs már van!"_cp));
  EXPECT_TRUE(table->Data.Held.count(a)) << "still locked for the caller";
  EXPECT_EQ(IndexKeys(1), keys1);
  EXPECT_EQ(IndexKeys(2), keys2) << "the name's key was not moved either";
  EXPECT_EQ(Code(a), "A1    ");
  db::UnlockRecord(table->Data, a);
}

TEST_F(TableTest, FindCurrentFindsTheEntryOrTheNextInUseWithoutLocking) {
  std::int32_t a = Add("A1"), b = Add("B2"), c = Add("C3");
  PositionOn(b);
  table->Record = records::BlankRecord(def);
  ASSERT_TRUE(records::FindCurrent(*table));
  EXPECT_EQ(table->CurrentRecord, b);
  EXPECT_EQ(Code(table->Record), "B2    ");
  EXPECT_TRUE(table->Data.Held.empty()) << "nothing locked";

  db::FreeRecord(table->Data, b);  // its key left in the index: stepped over
  ASSERT_TRUE(records::FindCurrent(*table));
  EXPECT_EQ(table->CurrentRecord, c);
  EXPECT_EQ(table->CurrentKey, "C3    ");

  table->CurrentKey = "A0";  // an entry that is gone: the first key at least it
  table->CurrentRecord = 99;
  ASSERT_TRUE(records::FindCurrent(*table));
  EXPECT_EQ(table->CurrentRecord, a);

  table->CurrentKey = "D";
  EXPECT_FALSE(records::FindCurrent(*table)) << "no record follows";
  EXPECT_EQ(table->CurrentRecord, a) << "the position is kept";
}

}  // namespace
