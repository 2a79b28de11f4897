// Index files on disk: the pages of an open index are the records of its
// own data file, and opening, creating and closing an index is opening,
// creating and closing that data file with the page size as its RecLen.
#include "db/index_internal.h"
#include "db/internal.h"
#include "db/journal.h"

namespace db {
namespace {

// The pages of an open index: its data file's records, its header lock and
// counters (a page that makes no sense needs nothing of its own: PageFault
// reports it through the index's file). A change runs
// under the header lock from BeginChange to EndChange and goes through the
// index's journal when it has one: a dead writer's change is rolled back
// first, a header the change left as it was is not written again, and the
// journal is invalidated before the lock is released.
class FilePages : public PageStore {
 public:
  explicit FilePages(IndexFile& x) : x_(x) {}

  void Read(std::int32_t n, std::uint8_t* record) override {
    internal::ReadIndexPage(x_, n, record);
    if (x_.Journal) x_.Journal->Remember(n, record);
  }
  void Write(std::int32_t n, const std::uint8_t* record) override { internal::WriteIndexPage(x_, n, record); }
  void Release(std::int32_t n) override { UnlockRecord(x_, n); }
  std::int32_t Allocate() override {
    std::int32_t n = 0;
    AllocRecordHeld(x_, n);
    return n;
  }
  void Free(std::int32_t n) override { FreeRecordHeld(x_, n); }
  std::int32_t BeginChange() override {
    LockRecord(x_, 0);
    RollBackDeadWriter(x_);
    RefreshHeaderLocked(x_);
    if (x_.Journal) x_.Journal->Begin(x_.HeaderRecord.data());
    return x_.Header.RootPage;
  }
  void EndChange(std::int32_t root) override {
    x_.Header.RootPage = root;
    CopyHeader(x_);
    if (!x_.Journal || !x_.Journal->HeaderUnchanged(x_.HeaderRecord.data())) WriteHeaderHeld(x_);
    if (x_.Journal) x_.Journal->End();
    UnlockRecord(x_, 0);
  }
  std::int32_t PeekRoot() override {
    RefreshHeaderPeek(x_);
    return x_.Header.RootPage;
  }
  // The header's lock byte taken directly: searches run with locking
  // suspended, and a lock this station already holds counts as taken.
  bool HoldChanges() override {
    if (!HeaderShared(x_) || x_.Held.count(0) > 0) return true;
    if (x_.Handle->Lock(internal::LockByte(x_, 0), 1) != 0) return false;
    x_.Held.insert(0);
    tookHeader_ = true;
    return true;
  }
  bool ChangeRunning() override {
    if (!HeaderShared(x_) || x_.Held.count(0) > 0) return false;
    std::int64_t byte = internal::LockByte(x_, 0);
    if (x_.Handle->LockedElsewhere(byte, 1)) return true;
    // No change is under way: one that a station left half done when it
    // died is rolled back now, and what the reader saw of it does not count.
    if (!x_.Journal || !x_.Journal->MayHoldChange()) return false;
    if (x_.Handle->Lock(byte, 1) != 0) return true;
    bool rolledBack = x_.Journal->RollBackPending();
    (void)x_.Handle->Unlock(byte, 1);  // locked just above: cannot fail
    return rolledBack;
  }
  void ReleaseChanges() override {
    if (tookHeader_) UnlockRecord(x_, 0);
    tookHeader_ = false;
  }
  // A reader's idea of the file's length may be behind another station's
  // appends: a page beyond it is looked for again after a header peek.
  bool Holds(std::int32_t n) override {
    if (n < 1) return false;
    if (n >= x_.CachedLength) RefreshHeaderPeek(x_);
    return n < x_.CachedLength;
  }

 private:
  IndexFile& x_;
  bool tookHeader_ = false;
};

bool KeyLengthValid(int keyLen) { return keyLen >= 1 && keyLen <= kMaxKeyLen; }

// After a successful open or create: the index's own fields, its pages, and
// its table slot marked as an index's.
void Attach(IndexFile& x, int keyLen, int duplicates) {
  x.KeyLength = static_cast<std::int16_t>(keyLen);
  x.AllowDuplicates = duplicates != 0;
  x.Root = x.Header.RootPage;
  x.PathDepth = 0;
  x.Cursor.reset();
  x.Pages = std::make_unique<FilePages>(x);
  x.Journal = JournalsChanges(x) ? std::make_unique<ChangeJournal>(x) : nullptr;
  if (x.TableSlot >= 1 && x.TableSlot <= kTableSlots) State().OpenFileTable[x.TableSlot].kind = SlotKind::kIndex;
}

}  // namespace

Result CreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates) {
  if (!KeyLengthValid(keyLen)) return internal::Published({kBadRecLen, std::string(name)});
  Result created = CreateDataFile(x, name, IndexRecLen(keyLen));
  if (!created.Ok()) return created;
  DiscardJournal(x.Handle->Path());
  Attach(x, keyLen, duplicates);
  return created;
}

Result OpenIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates) {
  if (!KeyLengthValid(keyLen)) return internal::Published({kBadRecLen, std::string(name)});
  Result opened = OpenDataFile(x, name, IndexRecLen(keyLen));
  if (!opened.Ok()) return opened;
  Attach(x, keyLen, duplicates);
  if (RollBackDeadWriter(x) == kChangeRolledBack) x.Root = x.Header.RootPage;
  return internal::Published(opened);
}

Result OpenOrCreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates) {
  Result opened = OpenIndex(x, name, keyLen, duplicates);
  return opened.Ok() ? opened : CreateIndex(x, name, keyLen, duplicates);
}

Result OpenTable(std::string_view name, DataFile& f, IndexFile& x, int recLen, int keyLen,
                 int duplicates) {
  std::string data = std::string(name) + ".dat", index = std::string(name) + ".idx";
  if (Result opened = OpenDataFile(f, data, recLen); opened.Ok()) return OpenIndex(x, index, keyLen, duplicates);
  Result dataCreated = CreateDataFile(f, data, recLen);
  Result indexCreated = CreateIndex(x, index, keyLen, duplicates);
  if (dataCreated.Ok()) ReopenFile(f);
  if (indexCreated.Ok()) ReopenFile(x);
  return internal::Published(dataCreated.Ok() ? indexCreated : dataCreated);
}

Result CloseIndex(IndexFile& x) {
  if (x.Pages) FlushIndexPages(x);
  Result closed = CloseDataFile(x);
  x.Pages.reset();
  x.Journal.reset();
  x.PathDepth = 0;
  x.Cursor.reset();
  return closed;
}

Result EmptyIndex(IndexFile& x) {
  if (x.Pages) FlushIndexPages(x);
  int keyLen = x.KeyLength, duplicates = x.AllowDuplicates;
  Result emptied = EmptyDataFile(x);
  if (!emptied.Ok()) return emptied;
  DiscardJournal(x.Handle->Path());
  Attach(x, keyLen, duplicates);
  return emptied;
}

}  // namespace db
