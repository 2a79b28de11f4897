// The bottom-up build of a new index's tree from its items in order.
//
// Each level of the tree keeps, in memory, the page it is filling (P), and
// once P holds the fill the item after it (the separator S) and the page
// after S (Q). P is written only when Q has reached 16 items: whatever
// follows, the level can then still end with pages of 16 to 32 items. On
// writing, P's number goes to the level above as a child and S as an item;
// Q becomes the page being filled. A level above the leaves thus receives
// child, item, child, item, ..., child, and every level holds at least one
// item. At the end each level, from the leaves up, joins P, S and Q into
// one page when they fit in 32 items, else shares them evenly between two
// pages (at least 33 items: 16 and more on each side of the new separator).
#include <algorithm>
#include <utility>
#include <vector>

#include "db/index_internal.h"
#include "db/internal.h"

namespace db {

struct IndexBuilder::Level {
  IndexPage Pages[2];
  int Filling = 0;  // Pages[Filling] is P, the other one Q
  bool HasSeparator = false;
  IndexItem Separator;

  IndexPage& P() { return Pages[Filling]; }
  IndexPage& Q() { return Pages[1 - Filling]; }
  // The page whose next child (after its last item, or its left child)
  // comes next from the level below.
  IndexPage& Receiving() { return HasSeparator ? Q() : P(); }
};

IndexBuilder::IndexBuilder(IndexFile& x, int fill)
    : x_(x), fill_(std::clamp(fill, kMinItems, kPageItems)),
      recLen_(static_cast<std::size_t>(x.RecLen)),
      buffer_(recLen_ * std::max<std::size_t>(1, kWriteBytes / recLen_)) {
  levels_.push_back(std::make_unique<Level>());
}

IndexBuilder::~IndexBuilder() = default;

void IndexBuilder::Add(std::int32_t recordRef, std::string_view key) {
  IndexItem item;
  item.RecordRef = recordRef;
  item.Key.Assign(key);
  AddItem(0, item);
}

void IndexBuilder::AddItem(std::size_t level, const IndexItem& item) {
  Level& l = *levels_[level];
  IndexPage& p = l.P();
  if (!l.HasSeparator && p.ItemCount < fill_) {
    p.Item(++p.ItemCount) = item;
    return;
  }
  if (!l.HasSeparator) {
    l.Separator = item;
    l.HasSeparator = true;
    l.Q().ItemCount = 0;
    l.Q().LeftChild = 0;
    return;
  }
  IndexPage& q = l.Q();
  q.Item(++q.ItemCount) = item;
  if (q.ItemCount == kMinItems) WriteFilled(level);
}

void IndexBuilder::AddChild(std::size_t level, std::int32_t page) {
  if (level == levels_.size()) levels_.push_back(std::make_unique<Level>());
  IndexPage& receiving = levels_[level]->Receiving();
  receiving.Child(receiving.ItemCount) = page;
}

// P goes to the file, its number and S to the level above; Q is filled on.
void IndexBuilder::WriteFilled(std::size_t level) {
  Level& l = *levels_[level];
  IndexItem separator = l.Separator;
  std::int32_t n = WritePage(l.P());
  l.Filling = 1 - l.Filling;
  l.HasSeparator = false;
  AddChild(level + 1, n);
  AddItem(level + 1, separator);
}

// The level's P, S and Q as one page, or as two pages of at least 16 items
// around a new separator, the first of them written.
void IndexBuilder::Join(std::size_t level) {
  Level& l = *levels_[level];
  IndexPage& p = l.P();
  IndexPage& q = l.Q();
  std::vector<IndexItem> items(p.Items.begin(), p.Items.begin() + p.ItemCount);
  items.push_back(l.Separator);
  items.back().ChildPage = q.LeftChild;
  items.insert(items.end(), q.Items.begin(), q.Items.begin() + q.ItemCount);
  const int total = static_cast<int>(items.size());
  l.HasSeparator = false;
  if (total <= kPageItems) {
    std::copy(items.begin(), items.end(), p.Items.begin());
    p.ItemCount = static_cast<std::uint8_t>(total);
    return;
  }
  const int first = (total - 1) / 2;
  std::copy(items.begin(), items.begin() + first, p.Items.begin());
  p.ItemCount = static_cast<std::uint8_t>(first);
  q.LeftChild = items[first].ChildPage;
  std::copy(items.begin() + first + 1, items.end(), q.Items.begin());
  q.ItemCount = static_cast<std::uint8_t>(total - 1 - first);
  l.Separator = items[first];
  l.HasSeparator = true;
  WriteFilled(level);
}

void IndexBuilder::Finish() {
  std::int32_t root = 0;
  for (std::size_t level = 0; level < levels_.size(); ++level) {
    if (levels_[level]->HasSeparator) Join(level);
    IndexPage& last = levels_[level]->P();
    if (level + 1 == levels_.size()) {  // the top level: one page, the root
      if (last.ItemCount > 0) root = WritePage(last);
      break;
    }
    AddChild(level + 1, WritePage(last));
  }
  Flush();
  x_.Root = root;
  x_.Header.RootPage = root;
  x_.CachedLength = x_.Header.RecordTotal = pages_ + 1;
}

std::int32_t IndexBuilder::WritePage(const IndexPage& page) {
  if (used_ == buffer_.size()) Flush();
  PackPage(page, x_.KeyLength, buffer_.data() + used_);
  used_ += recLen_;
  return ++pages_;
}

// The pages packed since the last flush, written at their place in one go.
void IndexBuilder::Flush() {
  if (used_ == 0) return;
  const auto count = static_cast<std::int32_t>(used_ / recLen_);
  const std::int32_t first = pages_ - count + 1;
  int result = internal::WriteAt(x_, internal::RecordOffset(x_, first), buffer_.data(), used_);
  used_ = 0;
  if (result == 0) return;
  State().LastIOResult = static_cast<std::int16_t>(internal::EngineResult(result));
  CheckIndexIO(x_, first);
}

}  // namespace db
