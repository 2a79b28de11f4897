// What the index operations share. Internal to db/.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/db.h"
#include "db/internal.h"
#include "db/page_cache.h"

namespace db {

// A key as every public key operation takes it: upper-cased, cut to 246,
// then to x's KeyLength.
std::string NormaliseKey(const IndexFile& x, std::string_view key);

// The frame of one public index operation. A search or step (suspend set)
// runs with locking suspended; afterwards the switch is put back as it was. Whatever pages of x the cache
// still holds when the frame ends (only after a fatal error: operations
// drop their pages themselves) are forgotten, so no page of an abandoned
// operation outlives it.
class IndexScope {
 public:
  IndexScope(IndexFile& x, bool suspend);
  ~IndexScope();
  IndexScope(const IndexScope&) = delete;
  IndexScope& operator=(const IndexScope&) = delete;

 private:
  IndexFile& x_;
  std::optional<internal::LockingSwitch> locking_;  // put back after the pages are forgotten
};

// Stops the program when a path from the root reaches depth levels: no
// sound tree is that deep. n is the page about to be entered.
void CheckDepth(IndexFile& x, int depth, std::int32_t n);

// A reader's copies of the pages on its current path: Pages[k] is page
// x.Path[k].PageRef as last read. They outlive the call that read them, so
// that a step within a leaf reads nothing.
struct IndexCursor {
  std::vector<std::unique_ptr<IndexPage>> Pages;
  std::unique_ptr<IndexPage> Spare;  // a page read again, before it replaces its copy
  // The last level's bounds were confirmed by the pages above when it was
  // read: leaving it towards its neighbours needs no new descent.
  bool LeafConfirmed = false;
  // False once this station changed the index: the copies only tell where
  // the position stood.
  bool Current = false;
  // The item the position stands on when a search or step began, from
  // which it starts again after meeting an inconsistency.
  std::string AnchorKey;
  std::int32_t AnchorRef = 0;
};

// The copies stop being current: this station is changing x.
void OutdateCursor(IndexFile& x);

}  // namespace db

namespace db {

// Builds the tree of a new index, created empty and held alone, from its
// items in the index's order (keys normalised; equal keys, where allowed,
// by record number), bottom-up in one pass: pages are written in page
// number order as they are completed, each level's pages but the last two
// holding fill items (16..32), and those last two (or the one they are
// joined into) 16 to 32 items; the root holds 1 to 32. Finish writes the
// last pages and sets the index's root and length, which CloseIndex then
// writes in the header. A failed write ends the program (CheckIndexIO).
class IndexBuilder {
 public:
  IndexBuilder(IndexFile& x, int fill);
  ~IndexBuilder();
  IndexBuilder(const IndexBuilder&) = delete;
  IndexBuilder& operator=(const IndexBuilder&) = delete;

  // The next item: key normalised, after every item added before.
  void Add(std::int32_t recordRef, std::string_view key);
  void Finish();

 private:
  struct Level;
  static constexpr std::size_t kWriteBytes = std::size_t{1} << 20;  // pages written at once

  void AddItem(std::size_t level, const IndexItem& item);
  void AddChild(std::size_t level, std::int32_t page);
  void WriteFilled(std::size_t level);
  void Join(std::size_t level);
  std::int32_t WritePage(const IndexPage& page);
  void Flush();

  IndexFile& x_;
  int fill_;
  std::size_t recLen_;
  std::vector<std::unique_ptr<Level>> levels_;  // [0] the leaves
  std::vector<std::uint8_t> buffer_;            // packed pages not yet written
  std::size_t used_ = 0;
  std::int32_t pages_ = 0;  // pages written or packed
};

}  // namespace db
