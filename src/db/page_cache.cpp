#include "db/page_cache.h"

#include <algorithm>

#include "db/db.h"
#include "db/internal.h"

namespace db {
namespace {

// Makes entry e the most recently used.
void Touch(PageCache& cache, std::uint8_t e) {
  auto it = std::find(cache.Lru.begin(), cache.Lru.end(), e);
  std::rotate(it, it + 1, cache.Lru.end());
}

// Writes the entry's page back when dirty, else releases it; empties the
// entry.
void Vacate(PageCache& cache, CachedPage& entry) {
  IndexFile* owner = entry.Owner;
  bool dirty = entry.Dirty;
  entry.Owner = nullptr;
  entry.Dirty = false;
  if (!owner) return;
  if (dirty) {
    PackPage(entry.Page, owner->KeyLength, cache.Record.data());
    owner->Pages->Write(entry.Number, cache.Record.data());
  } else {
    owner->Pages->Release(entry.Number);
  }
}

CachedPage& EntryOf(IndexPage& page) {
  for (CachedPage& entry : Cache().Entries)
    if (&entry.Page == &page) return entry;
  return Cache().Entries[0];  // not reached: pages come from the cache
}

// Vacates the least recently used entry and makes it the most recently
// used; the caller fills it.
CachedPage& Claim() {
  PageCache& cache = Cache();
  std::uint8_t e = cache.Lru[0];
  Vacate(cache, cache.Entries[e]);
  Touch(cache, e);
  return cache.Entries[e];
}

}  // namespace

PageCache& Cache() {
  std::unique_ptr<PageCache>& cache = State().Cache;
  if (!cache) cache = std::make_unique<PageCache>();  // before InitDatabase
  return *cache;
}

IndexPage& FetchPage(IndexFile& x, std::int32_t n) {
  PageCache& cache = Cache();
  for (std::uint8_t e = 0; e < cache.Entries.size(); ++e) {
    CachedPage& entry = cache.Entries[e];
    if (entry.Owner == &x && entry.Number == n) {
      Touch(cache, e);
      return entry.Page;
    }
  }
  if (!x.Pages->Holds(n)) PageFault(x, n);
  CachedPage& entry = Claim();
  x.Pages->Read(n, cache.Record.data());
  if (!UnpackPage(cache.Record.data(), x.KeyLength, entry.Page)) {
    x.Pages->Release(n);
    PageFault(x, n);
  }
  entry.Owner = &x;
  entry.Number = n;
  return entry.Page;
}

IndexPage& AllocPage(IndexFile& x, std::int32_t& n) {
  CachedPage& entry = Claim();
  n = x.Pages->Allocate();
  entry.Owner = &x;
  entry.Number = n;
  entry.Page.ItemCount = 0;
  entry.Page.LeftChild = 0;
  return entry.Page;
}

void ReturnPage(IndexPage& page) {
  CachedPage& entry = EntryOf(page);
  IndexFile* owner = entry.Owner;
  entry.Owner = nullptr;
  entry.Dirty = false;
  if (owner) owner->Pages->Free(entry.Number);
}

void MarkPageDirty(IndexPage& page) {
  CachedPage& entry = EntryOf(page);
  if (entry.Owner) entry.Dirty = true;
}

void FlushIndexPages(IndexFile& x) {
  DropIndexPages(x);
  x.Header.RootPage = x.Root;
}

void DropIndexPages(IndexFile& x) {
  for (CachedPage& entry : Cache().Entries)
    if (entry.Owner == &x) Vacate(Cache(), entry);
}

void ForgetIndexPages(IndexFile& x) {
  for (CachedPage& entry : Cache().Entries) {
    if (entry.Owner != &x) continue;
    entry.Owner = nullptr;
    entry.Dirty = false;
  }
}

void PageFault(IndexFile& x, std::int32_t n) {
  ForgetIndexPages(x);
  x.Pages->Fault(n);
  State().LastIOResult = kDamagedData;
  internal::EndOnIndexIO(x, n);
}

}  // namespace db
