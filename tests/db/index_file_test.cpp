// Index files on disk: create, open, close and empty; the open modes;
// tables; the reads of key and record together; two handles on one index;
// a damaged page stopping the program through the error path; random work
// checked against a model and by the structure check of the file's bytes;
// a change cut short at each of its page writes, judged from the disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <set>

#include "../forwarding_file.h"
#include "db_fixture.h"
#include "platform/codepage.h"

namespace db_test {
namespace {

using namespace platform::literals;
using Items = std::vector<std::pair<std::string, std::int32_t>>;

constexpr int kKeyLen = 10;
const int kPage = db::IndexRecLen(kKeyLen);

std::string K(int i) { return "K" + std::to_string(100000 + i); }

class IndexFileTest : public EngineTest {
 protected:
  void Create(db::IndexFile& x, bool duplicates = false) {
    ASSERT_TRUE(db::CreateIndex(x, "T.IDX", kKeyLen, duplicates).Ok());
  }
  void Open(db::IndexFile& x, bool duplicates = false) {
    ASSERT_TRUE(db::OpenIndex(x, "T.IDX", kKeyLen, duplicates).Ok());
  }
  void Fill(db::IndexFile& x, int count) {
    for (int i = 1; i <= count; ++i) {
      db::InsertKey(x, i, K(i));
      ASSERT_TRUE(db::DbOk());
    }
  }
  Items Scan(db::IndexFile& x) {
    Items items;
    std::int32_t ref = 0;
    std::string key;
    db::ResetPosition(x);
    for (db::StepNext(x, ref, key); db::DbOk(); db::StepNext(x, ref, key))
      items.emplace_back(key, ref);
    return items;
  }
  std::string CheckFile(const std::string& name = "T.IDX", bool duplicates = false) {
    return db::CheckIndexImage(Bytes(name), kKeyLen, duplicates).Fault;
  }
  // Answers the next box with Enter and tells whether it showed text.
  void AnswerBoxShowing(std::string_view text, bool& shown) {
    ui::SetIdle(
        [this, text, &shown] {
          shown = ScreenShows(text);
          PressEnter();
        },
        1);
  }
};

TEST_F(IndexFileTest, NewIndexIsOnePageSizedHeaderAndClosesThroughTheTable) {
  db::IndexFile x;
  Create(x);
  EXPECT_EQ(kPage, 19 * 32 + 5);
  EXPECT_EQ(Bytes("T.IDX").size(), static_cast<std::size_t>(kPage));
  EXPECT_EQ(x.Root, 0);
  EXPECT_EQ(db::State().OpenFileTable[x.TableSlot].kind, db::SlotKind::kIndex);
  Fill(x, 10);
  EXPECT_TRUE(db::CloseAllFiles().Ok());
  EXPECT_EQ(db::OpenFileCount(), 0);
  EXPECT_EQ(CheckFile(), "");
}

TEST_F(IndexFileTest, KeysSurviveCloseAndReopenAndTheFileIsSound) {
  {
    db::IndexFile x;
    Create(x);
    Fill(x, 3000);
    EXPECT_TRUE(db::CloseIndex(x).Ok());
  }
  std::string bytes = Bytes("T.IDX");
  db::IndexCheck check = db::CheckIndexImage(bytes, kKeyLen, false);
  EXPECT_EQ(check.Fault, "");
  EXPECT_EQ(check.Keys, 3000);
  EXPECT_EQ(check.Depth, 3);
  db::IndexFile x;
  Open(x);
  EXPECT_EQ(x.Root, Int32At(bytes, 8));
  Items items = Scan(x);
  ASSERT_EQ(items.size(), 3000u);
  EXPECT_EQ(items.front(), std::make_pair(K(1), 1));
  EXPECT_EQ(items.back(), std::make_pair(K(3000), 3000));
  EXPECT_TRUE(db::CloseIndex(x).Ok());
}

TEST_F(IndexFileTest, KeyLengthOutsideTheRangeIsRefusedWithoutAFile) {
  db::IndexFile x;
  EXPECT_FALSE(db::CreateIndex(x, "T.IDX", 0, 0).Ok());
  EXPECT_FALSE(db::CreateIndex(x, "T.IDX", 247, 0).Ok());
  EXPECT_FALSE(Exists("T.IDX"));
}

TEST_F(IndexFileTest, ReadOnlyIndexSearchesButRefusesChangesWithTheMessage) {
  {
    db::IndexFile x;
    Create(x);
    Fill(x, 50);
    EXPECT_TRUE(db::CloseIndex(x).Ok());
  }
  std::string before = Bytes("T.IDX");
  db::SetOpenMode(db::kModeReadOnly, 0);
  db::IndexFile x;
  Open(x);
  bool shown = false;
  AnswerBoxShowing("Illegális file müvelet!"_cp, shown);
  EXPECT_FALSE(db::InsertKey(x, 99, "NEW"));
  EXPECT_FALSE(db::DbOk());
  EXPECT_TRUE(shown);
  shown = false;
  std::int32_t ref = 1;
  EXPECT_FALSE(db::RemoveKey(x, ref, K(1)));
  EXPECT_FALSE(db::DbOk());
  EXPECT_TRUE(shown);
  ui::SetIdle(nullptr, 0);
  std::string key = K(7);
  db::SeekKey(x, ref, key);
  EXPECT_TRUE(db::DbOk());
  EXPECT_EQ(ref, 7);
  EXPECT_TRUE(db::CloseIndex(x).Ok());
  EXPECT_EQ(Bytes("T.IDX"), before);
}

TEST_F(IndexFileTest, ExclusiveIndexWritesItsRootAtClose) {
  db::SetOpenMode(db::kModeExclusive, 0);
  db::IndexFile x;
  Create(x);
  Fill(x, 500);
  EXPECT_EQ(Int32At(Bytes("T.IDX"), 8), 0);  // the header is kept in memory
  EXPECT_TRUE(db::CloseIndex(x).Ok());
  db::ResetOpenMode();
  EXPECT_EQ(CheckFile(), "");
  db::IndexFile y;
  Open(y);
  EXPECT_EQ(Scan(y).size(), 500u);
}

TEST_F(IndexFileTest, EmptyIndexStartsAgainWithTheSameKeyLengthAndDuplicates) {
  db::IndexFile x;
  Create(x, true);
  Fill(x, 200);
  ASSERT_TRUE(db::EmptyIndex(x).Ok());
  EXPECT_EQ(Bytes("T.IDX").size(), static_cast<std::size_t>(kPage));
  EXPECT_EQ(x.Root, 0);
  EXPECT_TRUE(x.AllowDuplicates);
  EXPECT_EQ(db::State().OpenFileTable[x.TableSlot].kind, db::SlotKind::kIndex);
  EXPECT_TRUE(db::InsertKey(x, 1, "A"));
  EXPECT_TRUE(db::InsertKey(x, 2, "A"));
  EXPECT_FALSE(db::InsertKey(x, 2, "A"));  // the same pair again
  EXPECT_EQ(Scan(x), (Items{{"A", 1}, {"A", 2}}));
}

TEST_F(IndexFileTest, OpenTableCreatesMissingFilesAndOpensExistingOnes) {
  {
    db::DataFile f;
    db::IndexFile x;
    ASSERT_TRUE(db::OpenTable("PARTNER", f, x, 40, kKeyLen, 0).Ok());
    EXPECT_EQ(Bytes("PARTNER.DAT").size(), 40u);
    EXPECT_EQ(Bytes("PARTNER.IDX").size(), static_cast<std::size_t>(kPage));
    EXPECT_TRUE(db::InsertKey(x, 1, "KOVACS"));
    EXPECT_FALSE(db::InsertKey(x, 2, "KOVACS"));  // no duplicates: the key is taken
    EXPECT_FALSE(db::DbOk());
    std::int32_t ref = 2;
    EXPECT_FALSE(db::RemoveKey(x, ref, "NAGY"));
    EXPECT_TRUE(db::CloseIndex(x).Ok());
    EXPECT_TRUE(db::CloseDataFile(f).Ok());
  }
  db::DataFile f;
  db::IndexFile x;
  ASSERT_TRUE(db::OpenTable("PARTNER", f, x, 40, kKeyLen, 0).Ok());
  EXPECT_EQ(Scan(x), (Items{{"KOVACS", 1}}));
  EXPECT_EQ(db::OpenFileCount(), 2);
}

// Records 1..6 keyed "R1".."R6"; record 3 freed.
class KeyAndRecordTest : public IndexFileTest {
 protected:
  void SetUp() override {
    IndexFileTest::SetUp();
    MakeFile("T.DAT", 24, 6);
    ASSERT_TRUE(db::OpenDataFile(f_, "T.DAT", 24).Ok());
    Create(x_);
    for (int i = 1; i <= 6; ++i) db::InsertKey(x_, i, "R" + std::to_string(i));
    db::FreeRecord(f_, 3);
  }
  std::string Step(bool forward) {
    std::int32_t ref = 0;
    std::string key;
    if (forward) db::NextRecordByKey(x_, key, f_, ref, buf_.data());
    else db::PrevRecordByKey(x_, key, f_, ref, buf_.data());
    return db::DbOk() ? key : "-";
  }

  db::DataFile f_;
  db::IndexFile x_;
  std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(24);
};

TEST_F(KeyAndRecordTest, StepsSkipItemsWhoseRecordIsFree) {
  std::vector<std::string> seen;
  for (std::string k = Step(true); k != "-"; k = Step(true)) seen.push_back(k);
  EXPECT_EQ(seen, (std::vector<std::string>{"R1", "R2", "R4", "R5", "R6"}));
  seen.clear();
  for (std::string k = Step(false); k != "-"; k = Step(false)) seen.push_back(k);
  EXPECT_EQ(seen, (std::vector<std::string>{"R6", "R5", "R4", "R2", "R1"}));
}

TEST_F(KeyAndRecordTest, FindAndSeekReadTheRecordAndRefuseAFreeOne) {
  std::int32_t ref = 0;
  std::string key = "r4";
  db::FindRecordByKey(x_, key, f_, ref, buf_.data());
  EXPECT_TRUE(db::DbOk());
  EXPECT_EQ(ref, 4);
  EXPECT_EQ(buf_[10], 'a' + 3);  // MakeFile's fill of record 4
  key = "R3";
  db::FindRecordByKey(x_, key, f_, ref, buf_.data());
  EXPECT_FALSE(db::DbOk());
  key = "R25";  // at least "R25": R3, free, then R4
  db::SeekRecordByKey(x_, key, f_, ref, buf_.data());
  EXPECT_TRUE(db::DbOk());
  EXPECT_EQ(key, "R4");
  EXPECT_EQ(ref, 4);
}

// A second handle (as another station would) finds the pages the first one
// appended after it opened, and the root it moved.
TEST_F(IndexFileTest, SecondHandleFollowsGrowthByTheOther) {
  db::IndexFile writer, reader;
  Create(writer);
  Fill(writer, 5);
  Open(reader);
  for (int i = 6; i <= 2000; ++i) db::InsertKey(writer, i, K(i));
  std::int32_t ref = 0;
  std::string key = K(1999);
  db::SeekKey(reader, ref, key);
  EXPECT_TRUE(db::DbOk());
  EXPECT_EQ(ref, 1999);
  EXPECT_EQ(reader.Root, writer.Root);
  EXPECT_EQ(Scan(reader).size(), 2000u);
  ref = 0;
  db::RemoveKey(reader, ref, K(5));
  EXPECT_TRUE(db::DbOk());
  key = K(5);
  db::SeekKey(writer, ref, key);
  EXPECT_FALSE(db::DbOk());
}

TEST_F(IndexFileTest, DamagedPageEndsTheProgramWithTheLogLine) {
  {
    db::IndexFile x;
    Create(x);
    Fill(x, 100);
    EXPECT_TRUE(db::CloseIndex(x).Ok());
  }
  std::string bytes = Bytes("T.IDX");
  std::int32_t root = Int32At(bytes, 8);
  bytes[std::size_t(root) * kPage] = 40;  // 40 items
  Put("T.IDX", bytes);
  db::IndexFile x;
  Open(x);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  std::int32_t ref = 0;
  std::string key = K(50);
  int code = EndCode([&] { db::SeekKey(x, ref, key); });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, db::kDamagedData);
  EXPECT_NE(out.find("Record " + std::to_string(root)), std::string::npos);
  std::string log = Bytes("DBACCESS.ERR");
  EXPECT_NE(log.find("Record access I/O error :154:"), std::string::npos);
  EXPECT_NE(log.find("File: T.IDX Record: " + std::to_string(root) + " "), std::string::npos);
  EXPECT_EQ(db::State().SuspendDepth, 0);  // locking as it was before the search
  EXPECT_TRUE(db::LockingOn());
}

// Random inserts and removes through the file, against a model, with the
// file's bytes checked after every batch.
TEST_F(IndexFileTest, RandomWorkAgreesWithTheModelAndKeepsTheFileSound) {
  const int batches = UnderWine() ? 4 : 12;
  db::IndexFile x;
  Create(x, true);
  std::set<std::pair<std::string, std::int32_t>> model;
  std::mt19937 rng(77);
  std::int32_t next = 1;
  for (int batch = 0; batch < batches; ++batch) {
    bool growing = batch < batches * 2 / 3;
    for (int i = 0; i < 400; ++i) {
      if (model.empty() || static_cast<int>(rng() % 10) < (growing ? 7 : 3)) {
        std::string key = K(static_cast<int>(rng() % 500));
        db::InsertKey(x, next, key);
        ASSERT_TRUE(db::DbOk());
        model.emplace(key, next++);
      } else {
        auto it = std::next(model.begin(), static_cast<long>(rng() % model.size()));
        std::int32_t ref = it->second;
        db::RemoveKey(x, ref, it->first);
        ASSERT_TRUE(db::DbOk());
        model.erase(it);
      }
    }
    ASSERT_EQ(CheckFile("T.IDX", true), "") << "batch " << batch;
    ASSERT_EQ(Scan(x), Items(model.begin(), model.end()));
  }
}

// ---- A change cut short, as the disk holds it -------------------------------------------

// Every file handed out is the system's file; just before each page write
// to an index (not to its journal) the hook sees where it goes and what it
// puts there, while the disk still holds what came before.
class IndexWriteWatch {
 public:
  using Hook = std::function<void(std::int64_t offset, std::string_view bytes)>;
  explicit IndexWriteWatch(Hook hook)
      : guard_([hook = std::make_shared<Hook>(std::move(hook))] {
          return std::make_unique<WatchedFile>(hook);
        }) {}

 private:
  class WatchedFile final : public test_support::ForwardingFile {
   public:
    explicit WatchedFile(std::shared_ptr<Hook> hook) : hook_(std::move(hook)) {}
    int WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
                std::size_t& written) override {
      if (Path().ends_with(".IDX")) (*hook_)(offset, {static_cast<const char*>(buffer), size});
      return file_->WriteAt(offset, buffer, size, written);
    }

   private:
    std::shared_ptr<Hook> hook_;
  };
  platform::FileMakerGuard guard_;
};

// What the disk holds when the writer of a change dies: the index and its
// journal as they are just before one of its page writes, or with that
// write cut at a 4096-byte block boundary.
struct DeadWriter {
  std::string What, Index, Journal;
};

class CutShortTest : public IndexFileTest {
 protected:
  // Runs change on T.IDX (opened after the fixture was made, so that its
  // file is watched) and keeps what the disk would hold had the writer
  // died at each moment of it: before each page write; in the middle of a
  // write that crosses a block boundary; and, before the first write of a
  // page the change found in the file, with the last byte of that page's
  // journal entry (its pre-image) damaged, as a journal write cut short
  // leaves it (that entry is the journal's last: the write changes the
  // page). Counts the pages written a second time in the change and the
  // writes cut short.
  std::vector<DeadWriter> CutShortEverywhere(const std::function<void()>& change) {
    deaths_.clear();
    written_.clear();
    length_ = static_cast<std::int64_t>(Bytes("T.IDX").size());
    recording_ = true;
    change();
    recording_ = false;
    EXPECT_TRUE(db::DbOk());
    return deaths_;
  }
  // Each death is judged as a change to roll back to exactly before.
  void ExpectEachRolledBackTo(const std::vector<DeadWriter>& deaths, const std::string& before) {
    for (const DeadWriter& death : deaths) {
      SCOPED_TRACE(death.What);
      db::JournalVerdict verdict = db::JudgeJournal(death.Journal, death.Index);
      EXPECT_TRUE(verdict.Pending);
      EXPECT_FALSE(verdict.RebuildNeeded) << verdict.Reason;
      EXPECT_TRUE(verdict.RolledBack == before) << "the rollback is not the index before the change";
    }
  }

  int secondWrites = 0, tornWrites = 0;

 private:
  void BeforeWrite(std::int64_t offset, std::string_view bytes) {
    if (!recording_) return;
    std::string index = Bytes("T.IDX"), journal = Bytes("T.IDX.jrn");
    std::string at = " at byte " + std::to_string(offset);
    deaths_.push_back({"before the write" + at, index, journal});
    bool first = written_.insert(offset).second;
    if (!first) ++secondWrites;
    bool changesAPageFound = offset > 0 && offset < length_ &&
                             index.compare(std::size_t(offset), bytes.size(), bytes) != 0;
    if (first && changesAPageFound && !journal.empty()) {
      std::string damaged = journal;
      damaged.back() = static_cast<char>(damaged.back() ^ 0x5A);
      deaths_.push_back({"with a damaged journal entry" + at, index, damaged});
    }
    std::int64_t boundary = (offset / 4096 + 1) * 4096;
    if (boundary < offset + std::int64_t(bytes.size()) && boundary <= std::int64_t(index.size())) {
      std::size_t whole = std::size_t(boundary - offset);
      index.replace(std::size_t(offset), whole, bytes.substr(0, whole));
      deaths_.push_back({"in the write" + at, index, journal});
      ++tornWrites;
    }
  }

  IndexWriteWatch watch_{[this](std::int64_t offset, std::string_view bytes) { BeforeWrite(offset, bytes); }};
  bool recording_ = false;
  std::vector<DeadWriter> deaths_;
  std::set<std::int64_t> written_;
  std::int64_t length_ = 0;
};

// A split (32 keys fill a leaf), then removals from every leaf of 200 keys,
// some of which rebalance: whenever the writer dies, the journal rolls the
// index back byte for byte, also where a page straddles a disk block, and
// never applies a pre-image whose bytes were damaged. Some change writes a
// page twice, so the second write's "before" is the first one's result.
TEST_F(CutShortTest, AChangeCutShortAnywhereRollsBackToTheBytesBeforeIt) {
  db::IndexFile x;
  Create(x);
  Fill(x, 32);
  int changes = 0;
  auto cutShort = [&](const std::function<void()>& change) {
    SCOPED_TRACE("change " + std::to_string(++changes));
    const std::string before = Bytes("T.IDX");
    std::vector<DeadWriter> deaths = CutShortEverywhere(change);
    ASSERT_GE(deaths.size(), 2u);
    ExpectEachRolledBackTo(deaths, before);
  };
  cutShort([&] { db::InsertKey(x, 33, K(33)); });
  for (int i = 34; i <= 200; ++i) db::InsertKey(x, i, K(i));
  int removed = 0;
  for (int i = 1; i <= 200; i += 3, ++removed) {
    std::int32_t ref = i;
    cutShort([&] { db::RemoveKey(x, ref, K(i)); });
  }
  EXPECT_GT(secondWrites, 0);
  EXPECT_GT(tornWrites, 0);
  EXPECT_EQ(Scan(x).size(), std::size_t(200 - removed));
  EXPECT_EQ(CheckFile(), "");
}

}  // namespace
}  // namespace db_test
