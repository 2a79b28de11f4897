// What the index operations share. Internal to db/.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace db
