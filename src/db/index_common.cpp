// What the index operations share: key normalisation, the operation frame,
// the depth guard.
#include <algorithm>

#include "db/index_internal.h"
#include "text/text.h"

namespace db {

std::string NormaliseKey(const IndexFile& x, std::string_view key) {
  std::string normal = text::UpperCaseText(key);
  std::size_t length = std::clamp<int>(x.KeyLength, 0, kMaxKeyLen);
  if (normal.size() > length) normal.resize(length);
  return normal;
}

IndexScope::IndexScope(IndexFile& x, bool suspend) : x_(x) {
  if (suspend) locking_.emplace(false);
  else OutdateCursor(x);
}

IndexScope::~IndexScope() { ForgetIndexPages(x_); }

void OutdateCursor(IndexFile& x) {
  if (x.Cursor) x.Cursor->Current = false;
}

void CheckDepth(IndexFile& x, int depth, std::int32_t n) {
  if (depth > kMaxTreeDepth) PageFault(x, n);
}

}  // namespace db
