// Searches and steps through an index, and the reads of key and record
// together.
//
// The current position is a path from the root: one entry per level, each
// a page and an item index; the position is the item of the last entry.
// An entry above the last with item index r means "inside child r", the
// subtree between items r and r + 1. The cursor keeps a copy of every page
// on the path, so a step within a leaf reads nothing.
//
// Searches and steps take no locks: other stations may change the tree
// while they read it, and its pages reach the file one by one. Three rules
// keep a reader right:
//  - a page is taken only when it can be on its path (ReadPage): a page
//    just taken from the free chain by a change in progress is not yet
//    locked nor written, and still holds the items it had when it was freed;
//  - a leaf reached by a descent is confirmed by reading the pages above it
//    again, up to those holding its bounding items, and finding that they
//    still lead to it between the same items (ConfirmLeaf). At that moment
//    the leaf held every key between its bounds, so its items and then its
//    bounds may be returned in order from the copies;
//  - a change holds the header lock while it writes its pages one by one,
//    in no set order, so pages that agree with each other may still be
//    half of a change. The pages of a descent count only when no change
//    was under way before the first of them was read nor after the leaf
//    was confirmed (RefuseWhileChanging);
//  - anything else, a page that cannot be or a bound that moved, starts the
//    search again from the root, from the item the position stood on
//    (Recover).
#include <cstdlib>
#include <utility>

#include "db/index_internal.h"
#include "db/internal.h"

namespace db {
namespace {

// Thrown within a search or step: page n cannot be on its path.
struct Inconsistent {
  std::int32_t page;
};

// Restarts made before a reader holds changes off to tell a change running
// from damage.
constexpr int kRestartsAlone = 4;

IndexCursor& CursorOf(IndexFile& x) {
  if (!x.Cursor) x.Cursor = std::make_shared<IndexCursor>();
  return *x.Cursor;
}

IndexPage& Copy(IndexFile& x, int level) { return *x.Cursor->Pages[level]; }
IndexPathEntry& Top(IndexFile& x) { return x.Path[x.PathDepth - 1]; }
const IndexItem& CurrentItem(IndexFile& x) {
  return Copy(x, x.PathDepth - 1).Item(Top(x).ItemIndex);
}

void ReturnItem(const IndexItem& item, std::int32_t& recordRef, std::string& key) {
  recordRef = item.RecordRef;
  key.assign(item.Key.View());
}

bool Below(const IndexItem& a, const IndexItem& b, bool duplicates) {
  return CompareKey(a.Key.View(), a.RecordRef, b, duplicates) < 0;
}

bool SameItem(const IndexItem& a, const IndexItem& b) {
  return a.RecordRef == b.RecordRef && a.Key.View() == b.Key.View();
}

// The items just before and just after the subtree of the page at level, as
// the copies above it give them (null: no bound on that side).
struct Bounds {
  const IndexItem* low = nullptr;
  const IndexItem* high = nullptr;
};

Bounds BoundsOf(IndexFile& x, int level) {
  Bounds b;
  for (int k = level - 1; k >= 0 && !(b.low && b.high); --k) {
    const IndexPage& page = Copy(x, k);
    int i = x.Path[k].ItemIndex;
    if (!b.low && i > 0) b.low = &page.Item(i);
    if (!b.high && i < page.ItemCount) b.high = &page.Item(i + 1);
  }
  return b;
}

// Whether a page can stand at level of a path within bounds: children all
// present (inner page) or all absent (leaf), items in strictly rising
// order and between the bounds; only the root may be without items. A
// child outside the file is found when it is entered.
bool CanBeOnPath(const IndexPage& page, int level, const Bounds& b, bool duplicates) {
  if (page.ItemCount == 0) return level == 0;
  bool leaf = page.LeftChild == 0;
  for (int i = 1; i <= page.ItemCount; ++i) {
    const IndexItem& item = page.Item(i);
    if ((item.ChildPage == 0) != leaf) return false;
    if (i > 1 && !Below(page.Item(i - 1), item, duplicates)) return false;
  }
  return (!b.low || Below(*b.low, page.Item(1), duplicates)) &&
         (!b.high || Below(page.Item(page.ItemCount), *b.high, duplicates));
}

// Reads page n, meant for level of the path, into page.
void ReadPage(IndexFile& x, std::int32_t n, int level, IndexPage& page) {
  if (level >= kMaxTreeDepth || !x.Pages->Holds(n)) throw Inconsistent{n};
  std::uint8_t* record = Cache().Record.data();
  x.Pages->Read(n, record);
  x.Pages->Release(n);
  if (!UnpackPage(record, x.KeyLength, page) || !SlotsBeyondCountClear(record, x.KeyLength) ||
      ItemWithoutRecord(page) != 0 || !CanBeOnPath(page, level, BoundsOf(x, level), x.AllowDuplicates))
    throw Inconsistent{n};
}

// Reads page n as the path's new last level, its item index 0.
void Enter(IndexFile& x, std::int32_t n) {
  IndexCursor& c = *x.Cursor;
  int level = x.PathDepth;
  if (level >= kMaxTreeDepth) throw Inconsistent{n};
  if (c.Pages.size() <= static_cast<std::size_t>(level))
    c.Pages.push_back(std::make_unique<IndexPage>());
  ReadPage(x, n, level, *c.Pages[level]);
  x.Path[level] = {n, 0};
  x.PathDepth += 1;
}

// Stops a descent (as an inconsistency) while another station is changing
// x.
void RefuseWhileChanging(IndexFile& x) {
  if (x.Pages->ChangeRunning()) throw Inconsistent{x.Root};
}

// Confirms the bounds of the path's last page (see the top of the file).
// The pages above it are read again from its parent up to those holding
// both its bounding items, or up to the root, which must then still be the
// header's; the copies are replaced by the pages as read.
void ConfirmLeaf(IndexFile& x) {
  IndexCursor& c = *x.Cursor;
  if (!c.Spare) c.Spare = std::make_unique<IndexPage>();
  bool low = false, high = false;
  for (int k = x.PathDepth - 2; k >= 0 && !(low && high); --k) {
    IndexPage& fresh = *c.Spare;
    ReadPage(x, x.Path[k].PageRef, k, fresh);
    const IndexPage& old = Copy(x, k);
    int i = x.Path[k].ItemIndex;
    bool same = i <= fresh.ItemCount && fresh.Child(i) == x.Path[k + 1].PageRef;
    if (same && !low && i > 0) {
      same = SameItem(fresh.Item(i), old.Item(i));
      low = true;
    }
    if (same && !high) {
      high = i < old.ItemCount;
      same = high ? i < fresh.ItemCount && SameItem(fresh.Item(i + 1), old.Item(i + 1))
                  : fresh.ItemCount == i;
    }
    if (!same) throw Inconsistent{x.Path[k].PageRef};
    std::swap(c.Pages[k], c.Spare);
  }
  if (!(low && high)) {
    x.Root = x.Pages->PeekRoot();
    if (x.Root != x.Path[0].PageRef) throw Inconsistent{x.Path[0].PageRef};
  }
  RefuseWhileChanging(x);
  c.LeafConfirmed = true;
}

// Descends from the root, entering at each page the child that choose
// picks (PageSearch: R items passed; Hit: item R + 1 ends the descent and
// the position stands on it, unconfirmed). Without a hit the descent ends
// in a leaf, confirmed, the last item index counting the leaf's items
// before the gap; an empty tree leaves no position. True on a hit. A hit
// needs no confirmation: with mayHit the descent is first tried without
// asking whether a change is under way.
template <class Choose>
bool DescendFromRoot(IndexFile& x, Choose choose, bool mayHit = false) {
  IndexCursor& c = CursorOf(x);
  c.Current = true;
  c.LeafConfirmed = false;
  x.PathDepth = 0;
  if (!mayHit) RefuseWhileChanging(x);
  if (x.Root == 0) x.Root = x.Pages->PeekRoot();
  for (std::int32_t n = x.Root; n != 0;) {
    Enter(x, n);
    const IndexPage& page = Copy(x, x.PathDepth - 1);
    PageSearch s = choose(page);
    Top(x).ItemIndex = static_cast<std::int16_t>(s.Hit ? s.R + 1 : s.R);
    if (s.Hit) return true;
    n = page.Child(s.R);
  }
  if (mayHit) return DescendFromRoot(x, choose);
  if (x.PathDepth > 0) ConfirmLeaf(x);
  return false;
}

// From the gap after item r of the path's last page (a leaf): stands on the
// item after the gap (forward) or before it. False, and no position, when
// there is none.
bool LeaveGap(IndexFile& x, int r, bool forward) {
  if (x.PathDepth == 0) return false;
  for (;;) {
    const IndexPage& page = Copy(x, x.PathDepth - 1);
    if (forward ? r < page.ItemCount : r > 0) {
      Top(x).ItemIndex = static_cast<std::int16_t>(forward ? r + 1 : r);
      return true;
    }
    if (x.PathDepth == 1) break;
    x.PathDepth -= 1;
    r = Top(x).ItemIndex;
  }
  x.PathDepth = 0;
  return false;
}

// The first (forward) or the last item of the index.
bool SeekEdge(IndexFile& x, bool forward) {
  DescendFromRoot(x, [forward](const IndexPage& page) {
    return PageSearch{forward ? 0 : page.ItemCount, false};
  });
  return x.PathDepth > 0 && LeaveGap(x, Top(x).ItemIndex, forward);
}

// The first item after (forward) or the last item before (key, ref).
bool SeekBeside(IndexFile& x, std::string_view key, std::int32_t ref, bool forward) {
  bool duplicates = x.AllowDuplicates;
  DescendFromRoot(x, [&](const IndexPage& page) {
    PageSearch s = SearchPage(page, key, ref, duplicates);
    return PageSearch{s.R + (forward && s.Hit ? 1 : 0), false};
  });
  return x.PathDepth > 0 && LeaveGap(x, Top(x).ItemIndex, forward);
}

// The first item whose key is at least key (from record number 0). With
// exact, an equal item found on the way is taken at once; without a hit the
// position stands on the item before the gap (forward false) or after it.
// True when it stands on an item.
bool SeekAtLeast(IndexFile& x, const std::string& key, bool exact, bool forward) {
  bool duplicates = x.AllowDuplicates;
  bool hit = DescendFromRoot(x, [&](const IndexPage& page) {
    PageSearch s = SearchPage(page, key, 0, duplicates);
    s.Hit = s.Hit && exact;
    return s;
  }, exact);
  if (hit) return true;
  return x.PathDepth > 0 && LeaveGap(x, Top(x).ItemIndex, forward);
}

// A step within the leaf the position stands on, from the copy: true when
// it could be made so.
bool StepWithinLeaf(IndexFile& x, bool forward) {
  const IndexCursor* c = x.Cursor.get();
  if (!c || !c->Current || x.PathDepth == 0) return false;
  const IndexPage& page = Copy(x, x.PathDepth - 1);
  int i = Top(x).ItemIndex;
  if (page.LeftChild != 0 || !(forward ? i < page.ItemCount : i > 1)) return false;
  Top(x).ItemIndex = static_cast<std::int16_t>(forward ? i + 1 : i - 1);
  return true;
}

// From the item the position stands on to the next (forward) or the
// previous one; false, and no position, past the end.
bool Advance(IndexFile& x, bool forward) {
  IndexCursor& c = *x.Cursor;
  const IndexPage& page = Copy(x, x.PathDepth - 1);
  int i = Top(x).ItemIndex;
  if (page.LeftChild == 0) {
    if (StepWithinLeaf(x, forward)) return true;
    if (!c.LeafConfirmed) return SeekBeside(x, c.AnchorKey, c.AnchorRef, forward);
    return LeaveGap(x, forward ? i : i - 1, forward);
  }
  int r = forward ? i : i - 1;
  Top(x).ItemIndex = static_cast<std::int16_t>(r);
  RefuseWhileChanging(x);
  for (std::int32_t n = page.Child(r); n != 0;) {
    Enter(x, n);
    const IndexPage& below = Copy(x, x.PathDepth - 1);
    Top(x).ItemIndex = static_cast<std::int16_t>(forward ? 0 : below.ItemCount);
    n = below.Child(Top(x).ItemIndex);
  }
  ConfirmLeaf(x);
  return LeaveGap(x, Top(x).ItemIndex, forward);
}

// Holds other stations' changes of x off while it lives, when asked and
// granted.
class ChangesHeld {
 public:
  ChangesHeld(IndexFile& x, bool ask) : x_(x), held_(ask && x.Pages->HoldChanges()) {}
  ~ChangesHeld() { Release(); }
  ChangesHeld(const ChangesHeld&) = delete;
  ChangesHeld& operator=(const ChangesHeld&) = delete;
  bool Held() const { return held_; }
  void Release() {
    if (held_) x_.Pages->ReleaseChanges();
    held_ = false;
  }

 private:
  IndexFile& x_;
  bool held_;
};

// Page n stays inconsistent on a fresh descent while no station is changing
// x. Called with changes still held off: a change that a station left half
// done when it died is rolled back from its journal, and the caller
// searches again; otherwise the index is damaged, which is reported, and the
// program stops.
void RollBackOrReportDamage(IndexFile& x, ChangesHeld& hold, std::int32_t n) {
  if (RollBackDeadWriter(x) == kChangeRolledBack) {
    OutdateCursor(x);
    return;
  }
  hold.Release();
  PageFault(x, n);
}

// The way back after meeting a page that cannot be on the path: again()
// from the root as the header names it now, pausing between restarts. After
// kRestartsAlone restarts each further one first tries to hold changes off;
// an inconsistency met while they are held off is damage, one met while a
// change is running means another restart.
template <class Again>
bool Recover(IndexFile& x, Again again) {
  EngineState& s = State();
  for (int restart = 1;; ++restart) {
    ++s.SearchRestarts;
    if (restart > s.MostRestartsInOneSearch) s.MostRestartsInOneSearch = restart;
    if (restart > 1) internal::PollPause();
    ChangesHeld hold(x, restart > kRestartsAlone);
    x.Root = x.Pages->PeekRoot();
    try {
      return again();
    } catch (const Inconsistent& e) {
      if (hold.Held()) RollBackOrReportDamage(x, hold, e.page);
    }
  }
}

// Runs one search or step: move() from where the index stands, and after
// an inconsistency again() from the root. Without pages no result;
// otherwise with locking suspended and the key normalised when the search
// reads it. DbOk is what the search returns.
template <class Move, class Again>
bool RunSearch(IndexFile& x, std::string& key, bool readsKey, Move move, Again again) {
  if (!x.Pages) return State().DbOk = false;
  IndexScope scope(x, true);
  CursorOf(x);
  if (readsKey) key = NormaliseKey(x, key);
  bool found;
  try {
    found = move();
  } catch (const Inconsistent&) {
    found = Recover(x, again);
  }
  return State().DbOk = found;
}

template <class Seek>
bool RunSeek(IndexFile& x, std::string& key, Seek seek) {
  return RunSearch(x, key, true, seek, seek);
}

// StepNext and StepPrev: from the item the position stands on (noted as
// the anchor), else from the edge of the index.
void Step(IndexFile& x, std::int32_t& recordRef, std::string& key, bool forward) {
  if (x.Pages && StepWithinLeaf(x, forward)) {
    State().DbOk = true;
    ReturnItem(CurrentItem(x), recordRef, key);
    return;
  }
  IndexCursor* c = x.Cursor.get();
  bool placed = c && x.PathDepth > 0 && c->Pages.size() >= static_cast<std::size_t>(x.PathDepth);
  if (placed) {
    const IndexItem& at = CurrentItem(x);
    c->AnchorKey.assign(at.Key.View());
    c->AnchorRef = at.RecordRef;
  }
  auto again = [&x, forward, placed] {
    IndexCursor& cursor = *x.Cursor;
    return placed ? SeekBeside(x, cursor.AnchorKey, cursor.AnchorRef, forward)
                  : SeekEdge(x, forward);
  };
  auto move = [&x, forward, placed, again] {
    return placed && x.Cursor->Current ? Advance(x, forward) : again();
  };
  if (RunSearch(x, key, false, move, again)) ReturnItem(CurrentItem(x), recordRef, key);
}

// Reads the record of an item found (ReadRecord while locking is on, else
// PeekRecord); true when it is in use.
bool ReadItemRecord(DataFile& f, std::int32_t recordRef, void* buf) {
  if (State().LockingOn)
    ReadRecord(f, recordRef, buf);
  else
    PeekRecord(f, recordRef, buf);
  return State().RecordInUse;
}

}  // namespace

bool SeekKey(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  // Without duplicates a miss leaves the position on the item before the
  // key; with them the search stands on the first item from the key on, and
  // the arguments hold it.
  bool duplicates = x.AllowDuplicates;
  bool on = RunSeek(x, key, [&x, &key, duplicates] {
    return SeekAtLeast(x, key, !duplicates, duplicates);
  });
  bool equal = on && CurrentItem(x).Key.View() == key;
  if (equal || (on && duplicates)) ReturnItem(CurrentItem(x), recordRef, key);
  State().DbOk = equal;
  return State().DbOk;
}

bool SeekKeyAtLeast(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  if (RunSeek(x, key, [&x, &key] { return SeekAtLeast(x, key, true, true); }))
    ReturnItem(CurrentItem(x), recordRef, key);
  return State().DbOk;
}

bool StepNext(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Step(x, recordRef, key, true);
  return State().DbOk;
}

bool StepPrev(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Step(x, recordRef, key, false);
  return State().DbOk;
}

void ResetPosition(IndexFile& x) { x.PathDepth = 0; }

bool SeekEntry(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  std::int32_t wantedRef = recordRef;
  std::string wantedKey = NormaliseKey(x, key);
  SeekKey(x, recordRef, key);
  while (State().DbOk && key == wantedKey && recordRef != wantedRef)
    StepNext(x, recordRef, key);
  State().DbOk = State().DbOk && key == wantedKey && recordRef == wantedRef;
  return State().DbOk;
}

bool SeekLastWithPrefix(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  // The least key above every key with this prefix: the prefix without its
  // trailing 0xFF bytes, its last byte raised by one. Nothing is left of an
  // empty prefix or one of 0xFF bytes only: every key qualifies.
  bool on = RunSeek(x, key, [&x, &key] {
    std::string above = key;
    while (!above.empty() && static_cast<unsigned char>(above.back()) == 0xFF) above.pop_back();
    if (above.empty()) return SeekEdge(x, false);
    above.back() = static_cast<char>(static_cast<unsigned char>(above.back()) + 1);
    return SeekBeside(x, above, 0, false);
  });
  if (on) ReturnItem(CurrentItem(x), recordRef, key);
  return State().DbOk;
}

bool NextRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  do StepNext(x, recordRef, key);
  while (State().DbOk && !ReadItemRecord(f, recordRef, buf));
  return State().DbOk;
}

bool PrevRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  do StepPrev(x, recordRef, key);
  while (State().DbOk && !ReadItemRecord(f, recordRef, buf));
  return State().DbOk;
}

bool FindRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  SeekKey(x, recordRef, key);
  if (State().DbOk) State().DbOk = ReadItemRecord(f, recordRef, buf);
  return State().DbOk;
}

bool SeekRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  SeekKeyAtLeast(x, recordRef, key);
  if (State().DbOk && !ReadItemRecord(f, recordRef, buf))
    NextRecordByKey(x, key, f, recordRef, buf);
  return State().DbOk;
}

}  // namespace db
