// The index against std::multimap. Random inserts and removes, with and
// without duplicates, grow the tree to four levels and shrink it back to
// nothing, so pages split, borrow and merge at every level. After every
// batch the structure check passes and scans and lookups agree with the
// model.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <unordered_map>

#include "index_fixture.h"

namespace db_test {
namespace {

using db::DbOk;
using Items = std::vector<std::pair<std::string, std::int32_t>>;

#ifdef _WIN32
constexpr int kPeak = 20000;  // Wine runs the same work slower
#else
constexpr int kPeak = 30000;
#endif
constexpr int kBatch = 1000;
constexpr int kKeyLen = 6;

class Model {
 public:
  explicit Model(bool duplicates) : duplicates_(duplicates) {}

  bool Has(const std::string& key, std::int32_t ref) const {
    auto [first, last] = map_.equal_range(key);
    return std::any_of(first, last, [&](const auto& e) { return e.second == ref; });
  }
  bool HasKey(const std::string& key) const { return map_.count(key) > 0; }
  // Whether the index takes (key, ref), as the model sees it.
  bool Accepts(const std::string& key, std::int32_t ref) const {
    return duplicates_ ? !Has(key, ref) : !HasKey(key);
  }
  // Record numbers are unique among the model's entries.
  void Add(const std::string& key, std::int32_t ref) {
    map_.emplace(key, ref);
    position_[ref] = entries_.size();
    entries_.emplace_back(key, ref);
  }
  // The record number removing (key, ref) takes out, or -1 for none.
  std::int32_t Match(const std::string& key, std::int32_t ref) const {
    if (duplicates_) return Has(key, ref) ? ref : -1;
    auto it = map_.find(key);
    return it == map_.end() ? -1 : it->second;
  }
  void Erase(const std::string& key, std::int32_t ref) {
    auto [first, last] = map_.equal_range(key);
    map_.erase(std::find_if(first, last, [&](const auto& e) { return e.second == ref; }));
    std::size_t at = position_[ref];
    position_.erase(ref);
    entries_[at] = entries_.back();
    entries_.pop_back();
    if (at < entries_.size()) position_[entries_[at].second] = at;
  }
  const std::pair<std::string, std::int32_t>& Pick(std::mt19937& rng) const {
    return entries_[std::uniform_int_distribution<std::size_t>(0, entries_.size() - 1)(rng)];
  }
  // The lowest record number under key (SeekKey's answer), or -1.
  std::int32_t First(const std::string& key) const {
    auto [first, last] = map_.equal_range(key);
    std::int32_t best = -1;
    for (auto it = first; it != last; ++it)
      if (best == -1 || it->second < best) best = it->second;
    return best;
  }
  Items Sorted() const {
    Items items(map_.begin(), map_.end());
    std::sort(items.begin(), items.end());
    return items;
  }
  std::size_t Size() const { return entries_.size(); }

 private:
  bool duplicates_;
  std::multimap<std::string, std::int32_t> map_;
  Items entries_;  // the same entries, for picking one at random
  std::unordered_map<std::int32_t, std::size_t> position_;  // in entries_
};

// Keys of 1..6 letters: a quarter from a small set (so equal keys pile up in
// the duplicates index and inserts are refused in the other), the rest from
// a large one.
std::string RandomKey(std::mt19937& rng) {
  bool small = rng() % 4 == 0;
  int length = small ? 1 + rng() % 3 : 1 + rng() % kKeyLen;
  const char* letters = small ? "ABCDE" : "ABCDEFGHIJKLMN0123456789";
  std::string key;
  for (int i = 0; i < length; ++i) key += letters[rng() % std::strlen(letters)];
  return key;
}

// Levels from the root down its leftmost path.
int Height(db::IndexFile& x) {
  int height = 0;
  for (std::int32_t n = PagesOf(x).Header(8); n != 0; ++height)
    std::memcpy(&n, PagesOf(x).Record(n) + 1, 4);
  return height;
}

class IndexDifferential : public ::testing::TestWithParam<bool> {
 protected:
  IndexDifferential() : duplicates_(GetParam()), model_(duplicates_) {
    x_ = MemoryIndex(kKeyLen, duplicates_);
  }

  void Insert() {
    std::string key = RandomKey(rng_);
    std::int32_t ref = nextRef_++;
    if (duplicates_ && model_.Size() > 0 && rng_() % 8 == 0) {
      std::tie(key, ref) = model_.Pick(rng_);  // the same pair again: refused
    }
    bool accepted = model_.Accepts(key, ref);
    db::InsertKey(*x_, ref, key);
    ASSERT_EQ(DbOk(), accepted) << "insert " << key << "/" << ref;
    if (accepted) model_.Add(key, ref);
  }

  void Remove() {
    std::string key;
    std::int32_t ref;
    if (model_.Size() > 0 && rng_() % 10 != 0) {
      std::tie(key, ref) = model_.Pick(rng_);
      if (!duplicates_ && rng_() % 2 == 0) ref = 0;  // the key alone selects
    } else {
      key = RandomKey(rng_);
      ref = static_cast<std::int32_t>(rng_() % nextRef_);
    }
    std::int32_t expected = model_.Match(key, ref);
    std::int32_t got = ref;
    db::RemoveKey(*x_, got, key);
    ASSERT_EQ(DbOk(), expected != -1) << "remove " << key << "/" << ref;
    if (expected == -1) return;
    EXPECT_EQ(got, expected);
    model_.Erase(key, expected);
  }

  // The structure check, a few lookups, and every fourth time the forward
  // scan.
  void Verify() {
    ASSERT_EQ(Check(*x_), "");
    if (verifications_++ % 4 == 0) {
      ASSERT_EQ(Scan(*x_), model_.Sorted());
    }
    for (int i = 0; i < 20; ++i) {
      std::string key = model_.Size() > 0 && i % 2 == 0 ? model_.Pick(rng_).first
                                                           : RandomKey(rng_);
      std::int32_t ref = 0;
      std::string found = key;
      db::SeekKey(*x_, ref, found);
      std::int32_t first = model_.First(key);
      ASSERT_EQ(DbOk(), first != -1) << key;
      if (first != -1) {
        EXPECT_EQ(ref, first) << key;
      }
    }
    maxHeight_ = std::max(maxHeight_, Height(*x_));
  }

  bool duplicates_;
  Model model_;
  std::unique_ptr<db::IndexFile> x_;
  std::mt19937 rng_{20240611};
  std::int32_t nextRef_ = 1;
  int maxHeight_ = 0;
  int verifications_ = 0;
};

TEST_P(IndexDifferential, GrowsToFourLevelsAndShrinksToNothingAgreeingWithTheModel) {
  for (bool growing : {true, false}) {
    int insertShare = growing ? 8 : 2;  // in tenths
    while (growing ? model_.Size() < kPeak : model_.Size() > 0) {
      for (int i = 0; i < kBatch; ++i) {
        if (static_cast<int>(rng_() % 10) < insertShare) {
          ASSERT_NO_FATAL_FAILURE(Insert());
        } else {
          ASSERT_NO_FATAL_FAILURE(Remove());
        }
      }
      ASSERT_NO_FATAL_FAILURE(Verify());
    }
  }
  while (model_.Size() > 0) ASSERT_NO_FATAL_FAILURE(Remove());
  ASSERT_NO_FATAL_FAILURE(Verify());

  EXPECT_GE(maxHeight_, 4);
  EXPECT_EQ(Height(*x_), 0);
  EXPECT_EQ(PagesOf(*x_).Header(4), PagesOf(*x_).Records() - 1);  // all pages free
}

// The backward scan and the steps after a seek agree with the model too.
TEST_P(IndexDifferential, BackwardScanAndStepsFromSeeksAgreeWithTheModel) {
  while (model_.Size() < 5000) ASSERT_NO_FATAL_FAILURE(Insert());
  for (int i = 0; i < 1500; ++i) ASSERT_NO_FATAL_FAILURE(Remove());
  Items sorted = model_.Sorted();

  Items backward;
  std::int32_t ref = 0;
  std::string key;
  db::ResetPosition(*x_);
  for (db::StepPrev(*x_, ref, key); DbOk(); db::StepPrev(*x_, ref, key))
    backward.emplace_back(key, ref);
  std::reverse(backward.begin(), backward.end());
  ASSERT_EQ(backward, sorted);

  for (int i = 0; i < 300; ++i) {
    key = RandomKey(rng_);
    auto at = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(key, 0));
    std::string found = key;
    db::SeekKeyAtLeast(*x_, ref, found);
    ASSERT_EQ(DbOk(), at != sorted.end()) << key;
    if (at == sorted.end()) continue;
    EXPECT_EQ(std::make_pair(found, ref), *at);
    db::StepPrev(*x_, ref, found);
    ASSERT_EQ(DbOk(), at != sorted.begin());
    if (at != sorted.begin()) {
      EXPECT_EQ(std::make_pair(found, ref), *(at - 1));
    }
    db::StepNext(*x_, ref, found);
    db::StepNext(*x_, ref, found);
    ASSERT_EQ(DbOk(), at + 1 != sorted.end());
    if (at + 1 != sorted.end()) {
      EXPECT_EQ(std::make_pair(found, ref), *(at + 1));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Index, IndexDifferential, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Duplicates" : "Unique"; });

}  // namespace
}  // namespace db_test
