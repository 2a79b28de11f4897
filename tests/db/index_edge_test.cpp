// Edge cases of the index tree over pages in memory: splits, duplicates,
// positions, the collapse of the root, prefixes, key normalisation, the page
// format and pages that make no sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

#include "db/index_page.h"
#include "index_fixture.h"
#include "platform/codepage.h"

namespace db_test {
namespace {

using namespace platform::literals;

using db::DbOk;
using Items = std::vector<std::pair<std::string, std::int32_t>>;

std::string K(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d", i);
  return buf;
}

db::IndexPage PageOf(db::IndexFile& x, std::int32_t n) {
  db::IndexPage page;
  db::UnpackPage(reinterpret_cast<const std::uint8_t*>(PagesOf(x).Record(n)), x.KeyLength, page);
  return page;
}

std::vector<std::string> KeysOf(const db::IndexPage& page) {
  std::vector<std::string> keys;
  for (int i = 1; i <= page.ItemCount; ++i) keys.emplace_back(page.Item(i).Key.View());
  return keys;
}

std::vector<std::string> KeyRange(std::vector<int> numbers) {
  std::vector<std::string> keys;
  for (int i : numbers) keys.push_back(K(i));
  return keys;
}

std::vector<int> Evens(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; i += 2) v.push_back(i);
  return v;
}

void Insert(db::IndexFile& x, const std::string& key, std::int32_t ref) {
  db::InsertKey(x, ref, key);
  ASSERT_TRUE(DbOk()) << key << "/" << ref;
}

// ---- Splits -------------------------------------------------------------------

// A full leaf of the even keys 2..64 takes a 33rd key below, at and above its
// middle: two pages of 16 under a new root holding the middle item.
struct SplitCase {
  int NewKey;
  int Middle;
  std::vector<int> Left, Right;
};

class LeafSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LeafSplit, ThirtyThirdKeyMakesTwoPagesOfSixteenUnderANewRoot) {
  const SplitCase& c = GetParam();
  auto x = MemoryIndex(8, false);
  for (int i : Evens(2, 64)) Insert(*x, K(i), i);
  ASSERT_EQ(PagesOf(*x).Records(), 2);  // header and one leaf
  Insert(*x, K(c.NewKey), c.NewKey);

  ASSERT_EQ(PagesOf(*x).Records(), 4);
  std::int32_t root = PagesOf(*x).Header(8);
  EXPECT_EQ(root, 3);
  db::IndexPage top = PageOf(*x, root);
  ASSERT_EQ(top.ItemCount, 1);
  EXPECT_EQ(top.Item(1).Key.View(), K(c.Middle));
  EXPECT_EQ(top.Item(1).RecordRef, c.Middle);
  EXPECT_EQ(top.LeftChild, 1);
  EXPECT_EQ(top.Item(1).ChildPage, 2);
  EXPECT_EQ(KeysOf(PageOf(*x, 1)), KeyRange(c.Left));
  EXPECT_EQ(KeysOf(PageOf(*x, 2)), KeyRange(c.Right));
  EXPECT_EQ(Check(*x), "");
}

std::vector<int> With(std::vector<int> v, int extra) {
  v.push_back(extra);
  std::sort(v.begin(), v.end());
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Index, LeafSplit,
    ::testing::Values(SplitCase{1, 32, With(Evens(2, 30), 1), Evens(34, 64)},
                      SplitCase{25, 32, With(Evens(2, 30), 25), Evens(34, 64)},
                      SplitCase{33, 33, Evens(2, 32), Evens(34, 64)},
                      SplitCase{35, 34, Evens(2, 32), With(Evens(36, 64), 35)},
                      SplitCase{99, 34, Evens(2, 32), With(Evens(36, 64), 99)}));

// ---- Duplicates ------------------------------------------------------------------

TEST(IndexDuplicates, EqualKeysOrderByRecordNumberAndTheSamePairIsRefused) {
  auto x = MemoryIndex(6, true);
  Insert(*x, "B", 9);
  Insert(*x, "B", 3);
  Insert(*x, "A", 50);
  db::InsertKey(*x, 9, "B");
  EXPECT_FALSE(DbOk());
  EXPECT_EQ(Scan(*x), (Items{{"A", 50}, {"B", 3}, {"B", 9}}));
}

TEST(IndexDuplicates, WithoutDuplicatesAnEqualKeyIsRefusedWhateverItsRecord) {
  auto x = MemoryIndex(6, false);
  Insert(*x, "B", 9);
  db::InsertKey(*x, 3, "B");
  EXPECT_FALSE(DbOk());
  EXPECT_EQ(Scan(*x), (Items{{"B", 9}}));
}

TEST(IndexDuplicates, SeekKeyFindsTheFirstOfEqualKeysAcrossPages) {
  auto x = MemoryIndex(6, true);
  std::vector<int> refs;
  for (int r = 100; r < 140; ++r) refs.push_back(r);
  std::shuffle(refs.begin(), refs.end(), std::mt19937(7));
  for (int r : refs) Insert(*x, "DUP", r);
  for (int i = 0; i < 30; ++i) {  // record numbers from 1: record 0 is the data file's header
    Insert(*x, "DUO" + std::to_string(i), i + 1);
    Insert(*x, "DUQ" + std::to_string(i), i + 1);
  }
  std::int32_t ref = 0;
  std::string key = "dup";
  ASSERT_TRUE(db::SeekKey(*x, ref, key));
  EXPECT_EQ(key, "DUP");
  EXPECT_EQ(ref, 100);
  db::StepNext(*x, ref, key);
  EXPECT_EQ(ref, 101);

  key = "DUPA";
  EXPECT_FALSE(db::SeekKey(*x, ref, key));
}

TEST(IndexDuplicates, RemoveTakesTheItemOfTheGivenRecordNumber) {
  auto x = MemoryIndex(6, true);
  for (int r : {5, 6, 7}) Insert(*x, "K", r);
  std::int32_t ref = 6;
  db::RemoveKey(*x, ref, "k");
  EXPECT_TRUE(DbOk());
  EXPECT_EQ(ref, 6);
  ref = 6;
  db::RemoveKey(*x, ref, "K");
  EXPECT_FALSE(DbOk());
  EXPECT_EQ(Scan(*x), (Items{{"K", 5}, {"K", 7}}));
}

TEST(IndexRemove, WithoutDuplicatesTheKeyAloneSelectsAndItsRecordNumberComesBack) {
  auto x = MemoryIndex(6, false);
  Insert(*x, "K", 42);
  std::int32_t ref = 0;
  db::RemoveKey(*x, ref, "K");
  EXPECT_TRUE(DbOk());
  EXPECT_EQ(ref, 42);
  ref = 0;
  db::RemoveKey(*x, ref, "K");
  EXPECT_FALSE(DbOk());
  EXPECT_EQ(ref, 0);
}

// ---- Positions -----------------------------------------------------------------

TEST(IndexSteps, PastTheEndClearsThePositionAndTheNextStepStartsOver) {
  auto x = MemoryIndex(8, false);
  for (int i = 1; i <= 100; ++i) Insert(*x, K(i), i);
  std::int32_t ref = 0;
  std::string key = K(100);
  ASSERT_TRUE(db::SeekKey(*x, ref, key));
  EXPECT_FALSE(db::StepNext(*x, ref, key));
  EXPECT_EQ(x->PathDepth, 0);
  EXPECT_TRUE(db::StepNext(*x, ref, key));
  EXPECT_EQ(key, K(1));

  EXPECT_FALSE(db::StepPrev(*x, ref, key));
  EXPECT_EQ(x->PathDepth, 0);
  EXPECT_TRUE(db::StepPrev(*x, ref, key));
  EXPECT_EQ(key, K(100));
}

TEST(IndexSteps, SeekKeyAtLeastAndAMissStandBeforeTheNextKey) {
  auto x = MemoryIndex(8, false);
  for (int i = 2; i <= 400; i += 2) Insert(*x, K(i), i);
  std::int32_t ref = 0;
  std::string key = K(151);
  EXPECT_FALSE(db::SeekKey(*x, ref, key));
  db::StepNext(*x, ref, key);
  EXPECT_EQ(key, K(152));

  key = K(151);
  EXPECT_TRUE(db::SeekKeyAtLeast(*x, ref, key));
  EXPECT_EQ(key, K(152));
  db::StepPrev(*x, ref, key);
  EXPECT_EQ(key, K(150));

  key = K(401);
  EXPECT_FALSE(db::SeekKeyAtLeast(*x, ref, key));
  key = K(0);
  EXPECT_FALSE(db::SeekKey(*x, ref, key));
  db::StepNext(*x, ref, key);
  EXPECT_EQ(key, K(2));
}

TEST(IndexSteps, AnEmptyIndexHasNothingToFind) {
  auto x = MemoryIndex(8, true);
  std::int32_t ref = 0;
  std::string key = "A";
  EXPECT_FALSE(db::SeekKeyAtLeast(*x, ref, key));
  EXPECT_FALSE(db::StepPrev(*x, ref, key));
  db::RemoveKey(*x, ref, "A");
  EXPECT_FALSE(DbOk());
}

// ---- The root ---------------------------------------------------------------------

TEST(IndexRemove, EmptiedRootGivesWayToItsChildAndGoesOnTheFreeChain) {
  auto x = MemoryIndex(8, false);
  for (int i = 1; i <= 33; ++i) Insert(*x, K(i), i);
  ASSERT_EQ(PagesOf(*x).Header(8), 3);
  std::int32_t ref = 0;
  db::RemoveKey(*x, ref, K(1));  // the left leaf merges with its sibling
  ASSERT_TRUE(DbOk());

  EXPECT_EQ(PagesOf(*x).Header(8), 1);  // the merged leaf is the root
  EXPECT_EQ(x->Root, 1);
  EXPECT_EQ(PagesOf(*x).Header(0), 3);  // the old root, freed last
  EXPECT_EQ(PagesOf(*x).Header(4), 2);
  EXPECT_EQ(PageOf(*x, 1).ItemCount, 32);
  EXPECT_EQ(Check(*x), "");
}

// ---- Prefixes and exact entries ---------------------------------------------------------

TEST(IndexPrefix, LastItemWithAPrefix) {
  auto x = MemoryIndex(8, false);
  int ref = 1;
  for (const char* k : {"A1", "AB", "ABC", "ABZ", "AC", "B"}) Insert(*x, k, ref++);
  auto last = [&](std::string prefix) {
    std::int32_t r = 0;
    db::SeekLastWithPrefix(*x, r, prefix);
    return DbOk() ? prefix : std::string("-");
  };
  EXPECT_EQ(last("AB"), "ABZ");
  EXPECT_EQ(last("ab"), "ABZ");
  EXPECT_EQ(last("A"), "AC");
  EXPECT_EQ(last(""), "B");
  EXPECT_EQ(last("Z"), "B");
  EXPECT_EQ(last("0"), "-");
}

// A prefix ending in the highest byte has no raised form: the bound is the
// shorter prefix raised, or none at all.
TEST(IndexPrefix, PrefixEndingInTheHighestByte) {
  auto x = MemoryIndex(8, false);
  int ref = 1;
  for (const char* k : {"A", "A\xFF", "A\xFF\xFF", "B", "\xFF", "\xFF\xFF"}) Insert(*x, k, ref++);
  auto last = [&](std::string prefix) {
    std::int32_t r = 0;
    db::SeekLastWithPrefix(*x, r, prefix);
    return DbOk() ? prefix : std::string("-");
  };
  EXPECT_EQ(last("A\xFF"), "A\xFF\xFF");
  EXPECT_EQ(last("\xFF"), "\xFF\xFF");
  EXPECT_EQ(last(""), "\xFF\xFF");
}

TEST(IndexEntry, SeekEntryFindsTheExactPairGivenInSmallLetters) {
  auto x = MemoryIndex(8, true);
  for (int r = 1; r <= 50; ++r) Insert(*x, std::string("SZÁMLA"_cp), r);
  Insert(*x, std::string("SZÁMLB"_cp), 7);
  std::int32_t ref = 37;
  std::string key("számla"_cp);
  EXPECT_TRUE(db::SeekEntry(*x, ref, key));
  EXPECT_EQ(ref, 37);
  EXPECT_EQ(key, "SZÁMLA"_cp);

  ref = 51;
  key = "számla"_cp;
  EXPECT_FALSE(db::SeekEntry(*x, ref, key));
}

// ---- Keys --------------------------------------------------------------------------

TEST(IndexKeys, KeysAreUpperCasedAndCutToTheKeyLength) {
  auto x = MemoryIndex(4, false);
  Insert(*x, std::string("árvíztűrő"_cp), 1);
  std::int32_t ref = 0;
  std::string key("ÁRVÍ_más"_cp);
  EXPECT_TRUE(db::SeekKey(*x, ref, key));
  EXPECT_EQ(key, "ÁRVÍ"_cp);
  EXPECT_EQ(ref, 1);
  db::InsertKey(*x, 2, "árvízi"_cp);
  EXPECT_FALSE(DbOk());  // the same four characters
}

TEST(IndexKeys, EmptyAndLongestKeysOrderAsPrefixes) {
  auto x = MemoryIndex(246, false);
  std::string longest(246, 'Z');
  Insert(*x, longest, 3);
  Insert(*x, "", 1);
  Insert(*x, "Z", 2);
  db::InsertKey(*x, 4, longest + "MORE");  // cut: the same as the longest
  EXPECT_FALSE(DbOk());
  EXPECT_EQ(Scan(*x), (Items{{"", 1}, {"Z", 2}, {longest, 3}}));
}

// ---- The page format -------------------------------------------------------------------

TEST(IndexPageFormat, PackedPageIsByteExact) {
  EXPECT_EQ(db::IndexRecLen(3), 389);
  EXPECT_EQ(db::IndexRecLen(246), 8165);
  EXPECT_EQ(db::IndexRecLen(1), 325);
  db::IndexPage page;
  page.ItemCount = 2;
  page.LeftChild = 7;
  page.Item(1) = {0x01020304, 0x0A0B0C0D, {}};
  page.Item(1).Key.Assign("XY");
  page.Item(2) = {-1, 0, {}};
  page.Item(2).Key.Assign("Z");
  std::vector<std::uint8_t> record(389, 0xEE);
  db::PackPage(page, 3, record.data());
  const std::vector<std::uint8_t> head = {2,    7,    0,    0,   0,   4,   3,   2,    1,
                                          0x0D, 0x0C, 0x0B, 0x0A, 2, 'X', 'Y', 0,    0xFF,
                                          0xFF, 0xFF, 0xFF, 0,    0,   0,   0,   1,    'Z'};
  EXPECT_EQ(std::vector<std::uint8_t>(record.begin(), record.begin() + head.size()), head);
  EXPECT_TRUE(std::all_of(record.begin() + head.size(), record.end(), [](auto b) { return b == 0; }));

  db::IndexPage back;
  ASSERT_TRUE(db::UnpackPage(record.data(), 3, back));
  EXPECT_EQ(back.ItemCount, 2);
  EXPECT_EQ(back.LeftChild, 7);
  EXPECT_EQ(back.Item(1).ChildPage, 0x0A0B0C0D);
  EXPECT_EQ(back.Item(2).RecordRef, -1);
  EXPECT_EQ(back.Item(2).Key.View(), "Z");
}

TEST(IndexPageFormat, RecordsThatMakeNoSenseAsPagesAreRefused) {
  std::vector<std::uint8_t> record(db::IndexRecLen(3), 0);
  db::IndexPage page;
  record[0] = 33;
  EXPECT_FALSE(db::UnpackPage(record.data(), 3, page));
  record[0] = 2;
  record[5 + 12 + 8] = 4;  // item 2's key: 4 bytes where 3 fit
  EXPECT_FALSE(db::UnpackPage(record.data(), 3, page));
  record[0] = 1;  // item 2 is beyond the count: no meaning
  EXPECT_TRUE(db::UnpackPage(record.data(), 3, page));
}

// ---- Pages that make no sense ---------------------------------------------------------------

class IndexFault : public ::testing::Test {
 protected:
  void SetUp() override {
    x_ = MemoryIndex(8, false);
    for (int i = 1; i <= 100; ++i) Insert(*x_, K(i), i);
    root_ = PagesOf(*x_).Header(8);
  }
  // Page n's field at offset, overwritten.
  void Poke(std::int32_t n, int offset, std::int32_t v) {
    std::memcpy(PagesOf(*x_).Record(n) + offset, &v, offset == 0 ? 1 : 4);
  }
  // The record number the engine stops at when it seeks key.
  std::int32_t FaultAt(const std::string& k) {
    std::int32_t ref = 0;
    std::string key = k;
    try {
      db::SeekKey(*x_, ref, key);
    } catch (const PageFaultSeen& fault) {
      return fault.N;
    }
    return -1;
  }

  std::unique_ptr<db::IndexFile> x_;
  std::int32_t root_ = 0;
};

TEST_F(IndexFault, TooManyItemsStopsAtThatPage) {
  Poke(root_, 0, 40);
  EXPECT_EQ(FaultAt(K(5)), root_);
}

TEST_F(IndexFault, AChildOutsideTheFileStopsAtTheLink) {
  Poke(root_, 1, 9999);
  EXPECT_EQ(FaultAt(K(1)), 9999);
  Poke(root_, 1, -3);
  EXPECT_EQ(FaultAt(K(1)), -3);
}

TEST_F(IndexFault, AHeaderRootOutsideTheFileStops) {
  std::int32_t bad = PagesOf(*x_).Records();
  PagesOf(*x_).EndChange(bad);
  EXPECT_EQ(FaultAt(K(0)), bad);  // a miss, which asks the header for the root
}

TEST_F(IndexFault, ACycleStopsInsteadOfRunningForever) {
  Poke(root_, 1, root_);
  EXPECT_NE(FaultAt(K(1)), -1);
  std::int32_t ref = 1;
  EXPECT_THROW(db::InsertKey(*x_, ref, K(0)), PageFaultSeen);
  EXPECT_THROW(db::RemoveKey(*x_, ref, K(0)), PageFaultSeen);
}

// Record 0 is the data file's header, never a record: an item naming it is
// damage to the search and to the structure check.
TEST_F(IndexFault, AnItemNamingRecordZeroStopsTheSearchAndFailsTheCheck) {
  constexpr int kFirstItemRef = 5;  // after the item count and the left child
  Poke(root_, kFirstItemRef, 0);
  EXPECT_EQ(FaultAt(K(1)), root_);
  EXPECT_NE(Check(*x_).find("names record 0, which is no data record"), std::string::npos) << Check(*x_);
}

// A header whose root is not the top of the tree hides the pages above it:
// the check names the root.
TEST_F(IndexFault, ARootThatIsNotTheTopOfTheTreeFailsTheCheck) {
  std::int32_t leaf = 0;
  std::memcpy(&leaf, PagesOf(*x_).Record(root_) + 1, 4);  // the root's left child
  ASSERT_NE(leaf, 0) << "a tree of two levels";
  PagesOf(*x_).EndChange(leaf);
  EXPECT_EQ(Check(*x_), "header: root page " + std::to_string(leaf) +
                            " is not the top of the tree: page " + std::to_string(root_) + " points to it");
  PagesOf(*x_).EndChange(0);
  EXPECT_NE(Check(*x_).find("header: root page 0 is not the top of the tree"), std::string::npos)
      << Check(*x_);
}

// Only the root may be without items: a page of none below it (its slots
// all clear, so nothing else about it is wrong) is damage to the search
// and to the check.
TEST_F(IndexFault, AnEmptyPageBelowTheRootStopsTheSearchAndFailsTheCheck) {
  std::int32_t leaf = 0;
  std::memcpy(&leaf, PagesOf(*x_).Record(root_) + 1, 4);  // the root's left child
  ASSERT_NE(leaf, 0) << "a tree of two levels";
  std::memset(PagesOf(*x_).Record(leaf), 0, db::IndexRecLen(8));
  EXPECT_EQ(FaultAt(K(1)), leaf);
  EXPECT_NE(Check(*x_).find("page " + std::to_string(leaf)), std::string::npos) << Check(*x_);
}

// A page whose items are sound in themselves but lie outside the bounds
// its parent gives it (the root's first two children swapped) is damage.
TEST_F(IndexFault, APageOutsideItsParentsBoundsStopsTheSearch) {
  constexpr int kLeftChild = 1, kFirstItemChild = 9;  // after the count; after item 1's record
  std::int32_t first = 0, second = 0;
  std::memcpy(&first, PagesOf(*x_).Record(root_) + kLeftChild, 4);
  std::memcpy(&second, PagesOf(*x_).Record(root_) + kFirstItemChild, 4);
  ASSERT_NE(first, 0) << "a tree of two levels";
  Poke(root_, kLeftChild, second);
  Poke(root_, kFirstItemChild, first);
  EXPECT_EQ(FaultAt(K(1)), second);
}

TEST_F(IndexFault, AFaultLeavesNoPageInTheCacheForLaterOperations) {
  Poke(root_, 0, 40);
  EXPECT_NE(FaultAt(K(5)), -1);
  x_.reset();  // the faulty index goes away
  auto y = MemoryIndex(8, false);
  for (int i = 1; i <= 100; ++i) Insert(*y, K(i), i);
  EXPECT_EQ(Scan(*y).size(), 100u);
  EXPECT_EQ(Check(*y), "");
}

// ---- A change running under a reader ------------------------------------------------------

// Pages that another station changes while a reader confirms a leaf: when
// the reader reads the root again right after a page below it (the
// confirmation), that station's change is running; once asked, it has
// left the pages as `after`.
class ChangedWhileConfirming : public MemoryPages {
 public:
  ChangedWhileConfirming(int keyLen, std::string before, std::string after)
      : MemoryPages(keyLen, std::move(before)), after_(std::move(after)) {}
  void Read(std::int32_t n, std::uint8_t* record) override {
    MemoryPages::Read(n, record);
    confirming_ = n == PeekRoot() && last_ != 0 && last_ != n;
    last_ = n;
  }
  bool ChangeRunning() override {
    if (!confirming_ || changed_) return false;
    Replace(after_);
    changed_ = true;
    return true;
  }
  bool Changed() const { return changed_; }

 private:
  std::string after_;
  std::int32_t last_ = 0;
  bool confirming_ = false, changed_ = false;
};

// A leaf read while a change runs does not count, even when the pages
// above it still agree: the search starts again and finds the key that
// change put in.
TEST(IndexReaders, ALeafConfirmedWhileAChangeRunsIsReadAgain) {
  auto before = MemoryIndex(8, false), after = MemoryIndex(8, false);
  for (int i = 1; i <= 100; ++i) {
    if (i == 50) continue;
    Insert(*before, K(i), i);
    Insert(*after, K(i), i);
  }
  Insert(*after, K(50), 50);
  db::IndexFile x;
  x.KeyLength = 8;
  auto pages = std::make_unique<ChangedWhileConfirming>(8, PagesOf(*before).Image(), PagesOf(*after).Image());
  const ChangedWhileConfirming& store = *pages;
  x.Pages = std::move(pages);
  x.Root = x.Pages->PeekRoot();
  std::int32_t ref = 0;
  std::string key = K(50);
  db::SeekKey(x, ref, key);
  EXPECT_TRUE(store.Changed()) << "the confirmation asked whether a change runs";
  EXPECT_TRUE(DbOk());
  EXPECT_EQ(ref, 50);
  EXPECT_EQ(key, K(50));
}

// ---- Depth ------------------------------------------------------------------------------

// A tree of one item per page, eight levels deep (255 pages): deeper than a
// five-level path could follow. Its items are numbered in key order.
std::string DeepTreeImage(int levels) {
  const int keyLen = 8, recLen = db::IndexRecLen(keyLen);
  int pages = (1 << levels) - 1;
  std::string image(std::size_t(pages + 1) * recLen, '\0');
  int nextPage = 1, nextKey = 1;
  std::vector<std::uint8_t> record(recLen);
  std::function<std::int32_t(int)> build = [&](int level) -> std::int32_t {
    if (level > levels) return 0;
    std::int32_t n = nextPage++;
    db::IndexPage page;
    page.ItemCount = 1;
    page.LeftChild = build(level + 1);
    page.Item(1).RecordRef = nextKey;
    page.Item(1).Key.Assign(K(nextKey++));
    page.Item(1).ChildPage = build(level + 1);
    db::PackPage(page, keyLen, record.data());
    std::memcpy(image.data() + std::size_t(n) * recLen, record.data(), recLen);
    return n;
  };
  std::int32_t root = build(1);
  std::int32_t header[4] = {-1, 0, root, pages + 1};
  std::memcpy(image.data(), header, sizeof header);
  return image;
}

TEST(IndexDepth, PathsDeeperThanFiveLevelsSearchAndStep) {
  auto x = MemoryIndex(8, false, DeepTreeImage(8));
  Items all = Scan(*x);
  ASSERT_EQ(all.size(), 255u);
  for (int i = 1; i <= 255; ++i) EXPECT_EQ(all[i - 1], std::make_pair(K(i), i));
  std::int32_t ref = 0;
  std::string key;
  db::ResetPosition(*x);
  for (int i = 255; i >= 1; --i) {
    db::StepPrev(*x, ref, key);
    ASSERT_EQ(key, K(i));
  }
  for (int i = 1; i <= 255; ++i) {
    key = K(i);
    db::SeekKey(*x, ref, key);
    ASSERT_TRUE(DbOk()) << i;
    EXPECT_EQ(ref, i);
  }
  EXPECT_NE(x->PathDepth, 0);
}

}  // namespace
}  // namespace db_test
