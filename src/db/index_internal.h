// What the index operations share. Internal to db/.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db.h"
#include "db/page_cache.h"

namespace db {

// A key as every public key operation takes it: upper-cased, cut to 246,
// then to x's KeyLength.
std::string NormaliseKey(const IndexFile& x, std::string_view key);

// The frame of one public index operation. A search or step (suspend set)
// runs with locking suspended; afterwards the suspend depth and LockingOn
// are put back to their values from before. Whatever pages of x the cache
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
  bool suspended_;
  bool lockingOn_ = false;
  std::int16_t suspendDepth_ = 0;
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

// The pages of an index that this station holds alone (opened deny-write,
// header kept in memory, locking suspended): up to capacity packed pages
// stay in memory, and a changed page reaches the file when it leaves the
// memory or at Detach. It wraps the index's own store; everything but page
// reads and writes goes straight to that store, and a page put on the free
// chain is dropped from memory first (the store writes the chain link).
class ExclusivePages : public PageStore {
 public:
  ExclusivePages(std::unique_ptr<PageStore> inner, int recLen, std::size_t capacity);
  ~ExclusivePages() override;

  void Read(std::int32_t n, std::uint8_t* record) override;
  void Write(std::int32_t n, const std::uint8_t* record) override;
  void Release(std::int32_t) override {}
  std::int32_t Allocate() override { return inner_->Allocate(); }
  void Free(std::int32_t n) override;
  std::int32_t BeginChange() override { return inner_->BeginChange(); }
  void EndChange(std::int32_t root) override { inner_->EndChange(root); }
  std::int32_t PeekRoot() override { return inner_->PeekRoot(); }
  bool Holds(std::int32_t n) override { return inner_->Holds(n); }
  [[noreturn]] void Fault(std::int32_t n) override;

  // Writes every changed page and gives the wrapped store back.
  std::unique_ptr<PageStore> Detach();

 private:
  struct Slot;
  Slot* Find(std::int32_t n);
  Slot& Claim(std::int32_t n);
  void WriteBack(Slot& slot);

  std::unique_ptr<PageStore> inner_;
  std::size_t recLen_;
  std::vector<Slot> slots_;
  std::uint64_t clock_ = 0;
};

}  // namespace db
