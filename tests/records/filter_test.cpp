// The list's record filter: the filter record's rules for numeric, text and
// date fields under FilterOn, and the KeyFrom/KeyTo bounds without it.
#include "records_fixture.h"

using namespace platform::literals;
using records_test::TableTest;
namespace rt = records_test;

namespace {

class FilterTest : public TableTest {
 protected:
  // The filter on, over these fields only.
  void FilterOver(std::initializer_list<rt::Field> fields) {
    for (auto& field : def.Fields) field.InFilter = false;
    for (rt::Field field : fields) def.Fields[field].InFilter = true;
    table->FilterOn = true;
  }
  void FilterText(rt::Field field, std::string_view text) {
    records::SetFieldText(F(field), table->Filter.data(), text);
  }
  bool Passes(const std::vector<std::uint8_t>& record) {
    return records::RecordFilter(record.data(), true);
  }
  bool NamePasses(const std::string& name) { return Passes(Make("X", name)); }
};

TEST_F(FilterTest, NothingPassesWithoutTheCheck) {
  EXPECT_TRUE(Passes(Make("A")));
  EXPECT_FALSE(records::RecordFilter(Make("A").data(), false));
  FilterOver({rt::kAmount});
  EXPECT_FALSE(records::RecordFilter(Make("A").data(), false));
}

TEST_F(FilterTest, ANumericFilterOfZeroMatchesEveryValueAnyOtherOnlyItself) {
  FilterOver({rt::kAmount});
  EXPECT_TRUE(Passes(Make("A", "", 5)));
  EXPECT_TRUE(Passes(Make("A", "", -3.25)));
  EXPECT_TRUE(Passes(Make("A", "", 0)));
  records::SetFieldValue(F(rt::kAmount), table->Filter.data(), 0);
  EXPECT_TRUE(Passes(Make("A", "", 5))) << "0 written out matches all as blanks do";
  records::SetFieldValue(F(rt::kAmount), table->Filter.data(), 5);
  EXPECT_TRUE(Passes(Make("A", "", 5)));
  EXPECT_FALSE(Passes(Make("A", "", 5.01)));
  EXPECT_FALSE(Passes(Make("A", "", 0)));
}

TEST_F(FilterTest, AQuestionMarkPatternMatchesPositionByPositionOverItsLength) {
  FilterOver({rt::kName});
  FilterText(rt::kName, "AB?D");
  EXPECT_TRUE(NamePasses("ABCD"));
  EXPECT_TRUE(NamePasses("ABXDEF"));
  EXPECT_TRUE(NamePasses("abcd")) << "compared upper-cased";
  EXPECT_FALSE(NamePasses("AXCD"));
  EXPECT_FALSE(NamePasses("XABCD")) << "from the first position only";
  EXPECT_FALSE(NamePasses("AB"));
  FilterText(rt::kName, "ab??");
  EXPECT_TRUE(NamePasses("AB")) << "a ? stands for a trailing blank as well";
}

TEST_F(FilterTest, APatternWithoutQuestionMarkMatchesAnywhereInTheField) {
  FilterOver({rt::kName});
  FilterText(rt::kName, "BC");
  EXPECT_TRUE(NamePasses("ABCD"));
  EXPECT_TRUE(NamePasses("BC"));
  EXPECT_TRUE(NamePasses("abcd"));
  EXPECT_FALSE(NamePasses("ACBD"));
  FilterText(rt::kName, "árv"_cp);
  EXPECT_TRUE(NamePasses(std::string("ÁRVÍZTŰRŐ"_cp))) << "Hungarian letters upper-cased";
  FilterText(rt::kName, "A C");
  EXPECT_TRUE(NamePasses("BA CD")) << "inner blanks belong to the pattern";
  EXPECT_FALSE(NamePasses("BACD"));
}

TEST_F(FilterTest, ABlankTextPatternLetsNoRecordThrough) {
  FilterOver({rt::kName});
  EXPECT_FALSE(NamePasses("ABCD"));
  EXPECT_FALSE(NamePasses(""));
}

TEST_F(FilterTest, AnAllZeroDateFilterLetsEmptyDatesThrough) {
  FilterOver({rt::kDate});
  FilterText(rt::kDate, "00000000");
  EXPECT_TRUE(Passes(Make("A", "", 0, "")));
  EXPECT_FALSE(Passes(Make("A", "", 0, "20240131")));
  FilterText(rt::kDate, "202401");
  EXPECT_TRUE(Passes(Make("A", "", 0, "20240131")));
  EXPECT_FALSE(Passes(Make("A", "", 0, "")));
  FilterText(rt::kDate, "????01??");
  EXPECT_TRUE(Passes(Make("A", "", 0, "20240131")));
  EXPECT_FALSE(Passes(Make("A", "", 0, "20240231")));
  def.Fields[rt::kDate].Display = 0;  // the same field as plain text
  FilterText(rt::kDate, "00000000");
  EXPECT_FALSE(Passes(Make("A", "", 0, ""))) << "only a date field passes empty text";
}

TEST_F(FilterTest, EveryFilteredFieldMustPass) {
  FilterOver({rt::kCode, rt::kAmount});
  FilterText(rt::kCode, "A");
  records::SetFieldValue(F(rt::kAmount), table->Filter.data(), 2);
  EXPECT_TRUE(Passes(Make("XA", "", 2)));
  EXPECT_FALSE(Passes(Make("XA", "", 3)));
  EXPECT_FALSE(Passes(Make("XB", "", 2)));
  EXPECT_TRUE(Passes(Make("XA", "nothing to do with it", 2)))
      << "fields outside the filter are ignored";
}

TEST_F(FilterTest, WithoutTheFilterKeyFromAndKeyToBoundTheCurrentKeyByPrefix) {
  for (const char* code : {"A1", "B", "B1", "BZZ", "C9", "CZZZZZ", "D1"})
    EXPECT_TRUE(Passes(Make(code)));
  table->KeyFrom = "B";
  table->KeyTo = "C";
  std::vector<std::string> shown;
  for (const char* code : {"A1", "AZ", "B", "B1", "BZZ", "C9", "CZZZZZ", "D", "D1"})
    if (Passes(Make(code))) shown.push_back(code);
  EXPECT_EQ(shown, (std::vector<std::string>{"B", "B1", "BZZ", "C9", "CZZZZZ"}));

  table->KeyFrom = "b1";  // bounds compare as the index holds keys
  table->KeyTo = "";
  EXPECT_FALSE(Passes(Make("B")));
  EXPECT_TRUE(Passes(Make("B1")));
  EXPECT_TRUE(Passes(Make("Z")));

  table->KeyFrom = "";
  table->KeyTo = "C1";
  EXPECT_TRUE(Passes(Make("C1")));
  EXPECT_TRUE(Passes(Make("A")));
  EXPECT_FALSE(Passes(Make("C2")));
}

TEST_F(FilterTest, KeyBoundsFollowTheCurrentIndex) {
  table->KeyFrom = "K";
  table->KeyTo = "L";
  EXPECT_FALSE(Passes(Make("A1", "Korte")));
  EXPECT_TRUE(Passes(Make("K1", "Alma")));
  table->CurrentIndex = 2;
  EXPECT_TRUE(Passes(Make("A1", "Korte")));
  EXPECT_TRUE(Passes(Make("A1", "Lila")));
  EXPECT_FALSE(Passes(Make("K1", "Alma")));
  table->FilterOn = true;  // the filter record rules instead
  for (auto& field : def.Fields) field.InFilter = false;
  EXPECT_TRUE(Passes(Make("K1", "Alma")));
}

}  // namespace
