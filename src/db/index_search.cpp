// Searches and steps through an index, and the reads of key and record
// together.
//
// The current position is a path from the root: one entry per level, each
// a page and an item index; the position is the item of the last entry.
// An entry above the last with item index r means "inside the subtree
// left of item r + 1". Searches and steps take no locks; they start from
// the root as the header names it at that moment.
#include "db/index_internal.h"

namespace db {
namespace {

void ReturnItem(const IndexItem& item, std::int32_t& recordRef, std::string& key) {
  recordRef = item.RecordRef;
  key.assign(item.Key.View());
}

IndexPathEntry& Top(IndexFile& x) { return x.Path[x.PathDepth - 1]; }

// Enters page n below the current path with item index i.
void Push(IndexFile& x, std::int32_t n, int i) {
  CheckDepth(x, x.PathDepth + 1, n);
  x.Path[x.PathDepth] = {n, static_cast<std::int16_t>(i)};
  x.PathDepth += 1;
}

// The root as the header names it now.
std::int32_t FreshRoot(IndexFile& x) {
  x.Root = x.Pages->PeekRoot();
  return x.Root;
}

// Positions on the exact key (with record number 0: with duplicates this
// never hits, and the position stands just before the first equal key).
// Without a hit the position stands just before where the key would be,
// or is cleared when that is before the first item.
void SeekCore(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  bool found = false;
  x.PathDepth = 0;
  std::int32_t n = FreshRoot(x);
  while (n != 0 && !found) {
    Push(x, n, 0);
    const IndexPage& page = FetchPage(x, n);
    PageSearch s = SearchPage(page, key, 0, x.AllowDuplicates);
    int r = s.R;
    if (s.Hit) {
      r += 1;
      ReturnItem(page.Item(r), recordRef, key);
      found = true;
    }
    n = page.Child(r);
    Top(x).ItemIndex = static_cast<std::int16_t>(r);
  }
  if (!found && x.PathDepth > 0) {
    while (x.PathDepth > 1 && Top(x).ItemIndex == 0) x.PathDepth -= 1;
    if (Top(x).ItemIndex == 0) x.PathDepth = 0;
  }
  State().DbOk = found;
}

void NextCore(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  std::int32_t n;
  if (x.PathDepth == 0) {
    n = FreshRoot(x);
  } else {
    n = FetchPage(x, Top(x).PageRef).Child(Top(x).ItemIndex);
  }
  while (n != 0) {
    Push(x, n, 0);
    n = FetchPage(x, n).LeftChild;
  }
  if (x.PathDepth > 0) {
    const IndexPage* page = &FetchPage(x, Top(x).PageRef);
    while (x.PathDepth > 1 && Top(x).ItemIndex == page->ItemCount) {
      x.PathDepth -= 1;
      page = &FetchPage(x, Top(x).PageRef);
    }
    if (Top(x).ItemIndex < page->ItemCount) {
      Top(x).ItemIndex += 1;
      ReturnItem(page->Item(Top(x).ItemIndex), recordRef, key);
    } else {
      x.PathDepth = 0;
    }
  }
  State().DbOk = x.PathDepth != 0;
}

void PrevCore(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  std::int32_t n;
  if (x.PathDepth == 0) {
    n = FreshRoot(x);
  } else {
    const IndexPage& page = FetchPage(x, Top(x).PageRef);
    if (Top(x).ItemIndex > 0) Top(x).ItemIndex -= 1;
    n = page.Child(Top(x).ItemIndex);
  }
  while (n != 0) {
    const IndexPage& page = FetchPage(x, n);
    Push(x, n, page.ItemCount);
    n = page.Child(page.ItemCount);
  }
  if (x.PathDepth > 0) {
    while (x.PathDepth > 1 && Top(x).ItemIndex == 0) x.PathDepth -= 1;
    if (Top(x).ItemIndex > 0)
      ReturnItem(FetchPage(x, Top(x).PageRef).Item(Top(x).ItemIndex), recordRef, key);
    else
      x.PathDepth = 0;
  }
  State().DbOk = x.PathDepth != 0;
}

void SeekAtLeastCore(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  SeekCore(x, recordRef, key);
  if (!State().DbOk) NextCore(x, recordRef, key);
}

// Runs one search or step as a public operation: without pages no result;
// otherwise locking suspended, the key normalised when the search reads it,
// and the pages dropped at the end.
template <class Core>
void Search(IndexFile& x, std::int32_t& recordRef, std::string& key, bool readsKey, Core core) {
  if (!x.Pages) {
    State().DbOk = false;
    return;
  }
  IndexScope scope(x, true);
  if (readsKey) key = NormaliseKey(x, key);
  core(x, recordRef, key);
  DropIndexPages(x);
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

void SeekKey(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Search(x, recordRef, key, true, [](IndexFile& x, std::int32_t& recordRef, std::string& key) {
    SeekCore(x, recordRef, key);
    if (State().DbOk || !x.AllowDuplicates) return;
    std::string wanted = key;
    NextCore(x, recordRef, key);
    State().DbOk = State().DbOk && key == wanted;
  });
}

void SeekKeyAtLeast(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Search(x, recordRef, key, true, SeekAtLeastCore);
}

void StepNext(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Search(x, recordRef, key, false, NextCore);
}

void StepPrev(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Search(x, recordRef, key, false, PrevCore);
}

void ResetPosition(IndexFile& x) { x.PathDepth = 0; }

void SeekEntry(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  std::int32_t wantedRef = recordRef;
  std::string wantedKey = NormaliseKey(x, key);
  SeekKey(x, recordRef, key);
  while (State().DbOk && key == wantedKey && recordRef != wantedRef)
    StepNext(x, recordRef, key);
  State().DbOk = State().DbOk && key == wantedKey && recordRef == wantedRef;
}

void SeekLastWithPrefix(IndexFile& x, std::int32_t& recordRef, std::string& key) {
  Search(x, recordRef, key, true, [](IndexFile& x, std::int32_t& recordRef, std::string& key) {
    // The least key above every key with this prefix: the prefix without
    // its trailing 0xFF bytes, its last byte raised by one. Nothing is left
    // of an empty prefix or one of 0xFF bytes only: every key qualifies.
    while (!key.empty() && static_cast<unsigned char>(key.back()) == 0xFF) key.pop_back();
    if (key.empty()) {
      x.PathDepth = 0;
    } else {
      key.back() = static_cast<char>(static_cast<unsigned char>(key.back()) + 1);
      SeekAtLeastCore(x, recordRef, key);
    }
    PrevCore(x, recordRef, key);
  });
}

void NextRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  do StepNext(x, recordRef, key);
  while (State().DbOk && !ReadItemRecord(f, recordRef, buf));
}

void PrevRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  do StepPrev(x, recordRef, key);
  while (State().DbOk && !ReadItemRecord(f, recordRef, buf));
}

void FindRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  SeekKey(x, recordRef, key);
  if (State().DbOk) State().DbOk = ReadItemRecord(f, recordRef, buf);
}

void SeekRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf) {
  SeekKeyAtLeast(x, recordRef, key);
  if (State().DbOk && !ReadItemRecord(f, recordRef, buf))
    NextRecordByKey(x, key, f, recordRef, buf);
}

}  // namespace db
