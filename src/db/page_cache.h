// The process-wide cache of three index pages. Internal to db/.
//
// Every index operation works on its pages through this cache. An entry
// holds one unpacked page of one index; the LRU order decides which entry a
// fetch of a page not held reuses. A page reference handed out stays valid
// only until a later fetch or allocation may reuse its entry: the tree
// algorithms never need more than three pages at once (a rebalance needs
// parent, page and sibling; a split two). Each public index operation ends
// by writing back or releasing its pages, so no page is carried from one
// operation to the next.
#pragma once
#include <array>
#include <cstdint>

#include "db/index_page.h"

namespace db {

struct IndexFile;

struct CachedPage {
  IndexPage Page;
  IndexFile* Owner = nullptr;  // null: the entry is empty
  std::int32_t Number = 0;
  bool Dirty = false;
};

struct PageCache {
  std::array<CachedPage, 3> Entries{};
  // Entry numbers from least to most recently used.
  std::array<std::uint8_t, 3> Lru{0, 1, 2};
  // Packing buffer: one page record of the longest keys.
  std::array<std::uint8_t, IndexRecLen(kMaxKeyLen)> Record{};
};

// The engine's cache (EngineState::Cache, made by InitDatabase, or here on
// first use).
PageCache& Cache();

// Page n of x: the cached entry, else read into the least recently used
// entry (which is first written back when dirty, else released). A page
// number outside the file or a page that makes no sense stops the program
// through x's store.
IndexPage& FetchPage(IndexFile& x, std::int32_t n);
// A new page of x in the least recently used entry, its number in n: no
// items, no left child.
IndexPage& AllocPage(IndexFile& x, std::int32_t& n);
// Puts a cached page on its index's free chain and empties its entry.
void ReturnPage(IndexPage& page);
void MarkPageDirty(IndexPage& page);
// Empties x's entries without writing them: for an operation abandoned by
// a fatal error (the program is ending).
void ForgetIndexPages(IndexFile& x);
// Stops the program: record n of x makes no sense. x's entries are
// forgotten first, then x's store has its say (PageStore::Fault), then the
// program ends as CheckIndexIO ends it, with kDamagedData.
[[noreturn]] void PageFault(IndexFile& x, std::int32_t n);

}  // namespace db
