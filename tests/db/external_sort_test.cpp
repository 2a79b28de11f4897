// The external sort on its own: output equal to an in-memory stable sort
// across many runs and merge passes, and the work file always removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"

namespace {

// 16 bytes: the sort key, the input position, filler.
struct Rec {
  std::uint32_t Key, Seq;
  std::array<std::uint8_t, 8> Fill;
};
static_assert(sizeof(Rec) == 16);

bool KeyLess(const void* a, const void* b) {
  return static_cast<const Rec*>(a)->Key < static_cast<const Rec*>(b)->Key;
}

std::vector<Rec> RandomRecs(std::size_t n, std::uint32_t keys, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<Rec> recs(n);
  for (std::size_t i = 0; i < n; ++i) {
    recs[i].Key = gen() % keys;
    recs[i].Seq = static_cast<std::uint32_t>(i);
    for (auto& b : recs[i].Fill) b = static_cast<std::uint8_t>(gen());
  }
  return recs;
}

class ExternalSortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    home_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-sort-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    db::SetStationId("SORT_1");
    settings_.MemoryBytes = 1024;  // runs of a few dozen records, fan-in 7
  }
  void TearDown() override {
    std::filesystem::current_path(home_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Sorts recs; the output in out. failAt: the input throws at that record.
  int Sort(const std::vector<Rec>& recs, std::vector<Rec>& out, std::size_t failAt = SIZE_MAX) {
    std::size_t next = 0;
    out.clear();
    return db::ExternalSort(
        sizeof(Rec),
        [&](void* r) {
          if (next == failAt) throw std::runtime_error("input failed");
          if (next == recs.size()) return false;
          std::memcpy(r, &recs[next++], sizeof(Rec));
          return true;
        },
        KeyLess,
        [&](const void* r) {
          if (out.empty()) sawWorkFile_ = platform::FileExists(db::SortWorkFileName(settings_.Folder));
          Rec rec;
          std::memcpy(&rec, r, sizeof(Rec));
          out.push_back(rec);
        },
        settings_);
  }

  bool WorkFileGone() const { return !platform::FileExists(db::SortWorkFileName(settings_.Folder)); }

  std::filesystem::path home_, folder_;
  db::SortSettings settings_;
  bool sawWorkFile_ = false;
};

bool SameRecs(const std::vector<Rec>& a, const std::vector<Rec>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Rec)) == 0;
}

TEST_F(ExternalSortTest, MatchesStableSortForAnyCount) {
  // Zero, one, around a run's size, and enough runs for several merge passes.
  for (std::size_t n : {0, 1, 2, 35, 36, 37, 73, 300, 2000}) {
    SCOPED_TRACE(n);
    std::vector<Rec> recs = RandomRecs(n, 50, static_cast<unsigned>(n)), out;
    ASSERT_EQ(Sort(recs, out), 0);
    std::stable_sort(recs.begin(), recs.end(), [](const Rec& a, const Rec& b) { return KeyLess(&a, &b); });
    EXPECT_TRUE(SameRecs(out, recs));
    EXPECT_TRUE(WorkFileGone());
  }
  EXPECT_TRUE(sawWorkFile_);  // the last count spilled to the work file
}

TEST_F(ExternalSortTest, EqualKeysKeepInputOrder) {
  std::vector<Rec> recs = RandomRecs(1000, 1, 7), out;
  ASSERT_EQ(Sort(recs, out), 0);
  EXPECT_TRUE(SameRecs(out, recs));
}

TEST_F(ExternalSortTest, DefaultMemoryKeepsWorkInMemory) {
  settings_ = {};
  std::vector<Rec> recs = RandomRecs(500, 1000, 3), out;
  ASSERT_EQ(Sort(recs, out), 0);
  EXPECT_FALSE(sawWorkFile_);
  EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](const Rec& a, const Rec& b) { return KeyLess(&a, &b); }));
}

TEST_F(ExternalSortTest, WorkFileInGivenFolder) {
  std::filesystem::create_directories(folder_ / "work");
  settings_.Folder = platform::WindowsPath((folder_ / "work").string());
  std::vector<Rec> recs = RandomRecs(300, 50, 5), out;
  ASSERT_EQ(Sort(recs, out), 0);
  EXPECT_TRUE(sawWorkFile_);
  EXPECT_TRUE(WorkFileGone());
  EXPECT_TRUE(std::filesystem::is_empty(folder_ / "work"));
}

TEST_F(ExternalSortTest, FailingProceduresReportFailureAndRemoveWorkFile) {
  std::vector<Rec> recs = RandomRecs(300, 50, 9), out;
  EXPECT_EQ(Sort(recs, out, 200), db::kSortProcedureFailed);  // after runs spilled
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(WorkFileGone());

  std::size_t next = 0;
  auto input = [&](void* r) {
    if (next == recs.size()) return false;
    std::memcpy(r, &recs[next++], sizeof(Rec));
    return true;
  };
  int result = db::ExternalSort(
      sizeof(Rec), input, KeyLess, [](const void*) { throw std::runtime_error("output failed"); }, settings_);
  EXPECT_EQ(result, db::kSortProcedureFailed);
  EXPECT_TRUE(WorkFileGone());
  EXPECT_TRUE(std::filesystem::is_empty(folder_));
}

}  // namespace

namespace {

// Records whose filler is padding travel packed as their key and position.
db::SortPacking KeyAndPosition() {
  db::SortPacking packing;
  packing.Size = 8;
  packing.Pack = [](const void* record, void* packed) { std::memcpy(packed, record, 8); };
  packing.Unpack = [](const void* packed, void* record) {
    std::memset(record, 0, sizeof(Rec));
    std::memcpy(record, packed, 8);
  };
  packing.Less = [](const void* a, const void* b) {
    std::uint32_t ka, kb;
    std::memcpy(&ka, a, 4);
    std::memcpy(&kb, b, 4);
    return ka < kb;
  };
  return packing;
}

TEST_F(ExternalSortTest, PackedRecordsSortAsWholeOnesAndFitMoreInARun) {
  settings_.Packing = KeyAndPosition();
  for (std::size_t n : {0, 1, 40, 2000}) {  // 40 spills whole records, not packed ones
    SCOPED_TRACE(n);
    std::vector<Rec> recs = RandomRecs(n, 50, static_cast<unsigned>(n) + 11), out;
    for (Rec& r : recs) r.Fill = {};
    sawWorkFile_ = false;
    ASSERT_EQ(Sort(recs, out), 0);
    std::stable_sort(recs.begin(), recs.end(), [](const Rec& a, const Rec& b) { return KeyLess(&a, &b); });
    EXPECT_TRUE(SameRecs(out, recs));
    EXPECT_EQ(sawWorkFile_, n == 2000);
    EXPECT_TRUE(WorkFileGone());
  }
  // A coarse prefix (equal for many different keys) changes nothing.
  settings_.Packing.Prefix = [](const void* packed) {
    std::uint32_t key;
    std::memcpy(&key, packed, 4);
    return std::uint64_t{key / 8};
  };
  std::vector<Rec> many = RandomRecs(2000, 50, 5), sorted;
  for (Rec& r : many) r.Fill = {};
  ASSERT_EQ(Sort(many, sorted), 0);
  std::stable_sort(many.begin(), many.end(), [](const Rec& a, const Rec& b) { return KeyLess(&a, &b); });
  EXPECT_TRUE(SameRecs(sorted, many));
  settings_.Packing = {};
  std::vector<Rec> recs = RandomRecs(40, 50, 56), out;
  ASSERT_EQ(Sort(recs, out), 0);
  EXPECT_TRUE(sawWorkFile_) << "the same count of whole records spills";
}

}  // namespace
