// InsertKey and RemoveKey: the changes of the B-tree.
//
// Both hold the index's header lock from the start to the final header
// write. They work down the tree recursively and repair it on the way back
// up: an insert carries an item up while pages split, a removal carries an
// underflow up while pages borrow from or merge with a sibling. Page
// references from the cache are taken again after every step that may
// fetch other pages.
#include <algorithm>

#include "db/index_internal.h"

namespace db {
namespace {

// The state of one change, shared by its recursive steps.
struct Change {
  Change(IndexFile& index, std::string_view k)
      : x(index), key(NormaliseKey(index, k)), duplicates(index.AllowDuplicates) {}

  IndexFile& x;
  std::string key;  // normalised
  std::int32_t recordRef = 0;
  bool duplicates;
  // Insert: CarryItem is to be inserted into the page above.
  bool carry = false;
  IndexItem carryItem;
  // Remove: the page below has fallen under 16 items.
  bool underflow = false;
  // Remove: where the item to remove was found in an inner page.
  std::int32_t hitPage = 0;
  int hitIndex = 0;
};

// Moves items from..to of page by delta places (either direction).
void ShiftItems(IndexPage& page, int from, int to, int delta) {
  if (from > to) return;
  auto first = page.Items.begin() + (from - 1), last = page.Items.begin() + to;
  if (delta > 0)
    std::move_backward(first, last, last + delta);
  else
    std::move(first, last, first + delta);
}

// Copies items from..to of source to target starting at item at.
void CopyItems(const IndexPage& source, int from, int to, IndexPage& target, int at) {
  if (from > to) return;
  std::copy(source.Items.begin() + (from - 1), source.Items.begin() + to,
            target.Items.begin() + (at - 1));
}

// ---- Insert ----------------------------------------------------------------

// Splits the full page n: CarryItem goes after item r; the lower 16 items
// stay, the upper 16 move to a new page, and the middle item becomes the
// CarryItem for the page above, pointing at the new page.
void Split(Change& c, IndexPage& page, int r) {
  std::int32_t b;
  IndexPage& right = AllocPage(c.x, b);
  IndexItem middle;
  if (r <= kMinItems) {
    if (r == kMinItems) {
      middle = c.carryItem;
    } else {
      middle = page.Item(kMinItems);
      ShiftItems(page, r + 1, kMinItems - 1, 1);
      page.Item(r + 1) = c.carryItem;
    }
    CopyItems(page, kMinItems + 1, kPageItems, right, 1);
  } else {
    r -= kMinItems;
    middle = page.Item(kMinItems + 1);
    CopyItems(page, kMinItems + 2, r + kMinItems, right, 1);
    right.Item(r) = c.carryItem;
    CopyItems(page, r + kMinItems + 1, kPageItems, right, r + 1);
  }
  page.ItemCount = kMinItems;
  right.ItemCount = kMinItems;
  right.LeftChild = middle.ChildPage;
  middle.ChildPage = b;
  c.carryItem = middle;
  MarkPageDirty(right);
}

// Puts CarryItem after item r of page n, splitting a full page.
void InsertAt(Change& c, std::int32_t n, int r) {
  IndexPage& page = FetchPage(c.x, n);
  if (page.ItemCount < kPageItems) {
    ShiftItems(page, r + 1, page.ItemCount, 1);
    page.Item(r + 1) = c.carryItem;
    page.ItemCount += 1;
    c.carry = false;
  } else {
    Split(c, page, r);
  }
  MarkPageDirty(page);
}

void Descend(Change& c, std::int32_t n, int depth) {
  if (n == 0) {
    c.carry = true;
    c.carryItem = IndexItem{c.recordRef, 0, {}};
    c.carryItem.Key.Assign(c.key);
    return;
  }
  CheckDepth(c.x, depth, n);
  IndexPage& page = FetchPage(c.x, n);
  PageSearch s = SearchPage(page, c.key, c.recordRef, c.duplicates);
  if (s.Hit) {
    State().DbOk = false;
    c.carry = false;
    return;
  }
  Descend(c, page.Child(s.R), depth + 1);
  if (c.carry) InsertAt(c, n, s.R);
}

// ---- Remove ----------------------------------------------------------------

// Page a (child s of parent p) has 15 items: it borrows from a sibling
// through the parent, or merges with it, which takes an item from the
// parent (whose own underflow is then reported).
void Rebalance(Change& c, std::int32_t p, std::int32_t a, int s) {
  IndexPage& parent = FetchPage(c.x, p);
  IndexPage& page = FetchPage(c.x, a);
  if (parent.ItemCount == 0) PageFault(c.x, p);
  if (s < parent.ItemCount) {  // the right sibling
    s += 1;
    std::int32_t b = parent.Item(s).ChildPage;
    IndexPage& right = FetchPage(c.x, b);
    int k = (right.ItemCount - 15) / 2;
    page.Item(16) = parent.Item(s);
    page.Item(16).ChildPage = right.LeftChild;
    if (k > 0) {
      CopyItems(right, 1, k - 1, page, 17);
      IndexItem up = right.Item(k);
      right.LeftChild = up.ChildPage;
      up.ChildPage = b;
      parent.Item(s) = up;
      ShiftItems(right, k + 1, right.ItemCount, -k);
      right.ItemCount -= k;
      page.ItemCount = 15 + k;
      c.underflow = false;
      MarkPageDirty(right);
    } else {
      CopyItems(right, 1, 16, page, 17);
      ShiftItems(parent, s + 1, parent.ItemCount, -1);
      page.ItemCount = kPageItems;
      parent.ItemCount -= 1;
      ReturnPage(right);
      c.underflow = parent.ItemCount < kMinItems;
    }
    MarkPageDirty(page);
  } else {  // the left sibling
    IndexPage& left = FetchPage(c.x, parent.Child(s - 1));
    int m = left.ItemCount + 1;
    int k = (m - 16) / 2;
    if (k > 0) {
      ShiftItems(page, 1, 15, k);
      page.Item(k) = parent.Item(s);
      page.Item(k).ChildPage = page.LeftChild;
      m -= k;
      CopyItems(left, m + 1, m + k - 1, page, 1);
      page.LeftChild = left.Item(m).ChildPage;
      parent.Item(s) = left.Item(m);
      parent.Item(s).ChildPage = a;
      left.ItemCount = static_cast<std::uint8_t>(m - 1);
      page.ItemCount = static_cast<std::uint8_t>(15 + k);
      c.underflow = false;
      MarkPageDirty(page);
    } else {
      left.Item(m) = parent.Item(s);
      left.Item(m).ChildPage = page.LeftChild;
      CopyItems(page, 1, 15, left, m + 1);
      left.ItemCount = kPageItems;
      parent.ItemCount -= 1;
      ReturnPage(page);
      c.underflow = parent.ItemCount < kMinItems;
    }
    MarkPageDirty(left);
  }
  MarkPageDirty(parent);
}

// Puts the greatest item of subtree p in place of the item being removed
// (item hitIndex of page hitPage).
void Replace(Change& c, std::int32_t p, int depth) {
  CheckDepth(c.x, depth, p);
  IndexPage& page = FetchPage(c.x, p);
  if (page.ItemCount == 0) PageFault(c.x, p);
  std::int32_t q = page.Last().ChildPage;
  if (q != 0) {
    int m = page.ItemCount;
    Replace(c, q, depth + 1);
    if (c.underflow) Rebalance(c, p, q, m);
    return;
  }
  IndexPage& hit = FetchPage(c.x, c.hitPage);
  IndexItem last = page.Last();
  last.ChildPage = hit.Item(c.hitIndex).ChildPage;
  hit.Item(c.hitIndex) = last;
  page.ItemCount -= 1;
  c.underflow = page.ItemCount < kMinItems;
  MarkPageDirty(page);
  MarkPageDirty(hit);
}

void Remove(Change& c, std::int32_t n, int depth) {
  if (n == 0) {
    State().DbOk = false;
    c.underflow = false;
    return;
  }
  CheckDepth(c.x, depth, n);
  IndexPage& page = FetchPage(c.x, n);
  PageSearch s = SearchPage(page, c.key, c.recordRef, c.duplicates);
  std::int32_t q = page.Child(s.R);
  if (!s.Hit) {
    Remove(c, q, depth + 1);
  } else {
    int k = s.R + 1;
    c.recordRef = page.Item(k).RecordRef;
    if (q == 0) {
      ShiftItems(page, k + 1, page.ItemCount, -1);
      page.ItemCount -= 1;
      c.underflow = page.ItemCount < kMinItems;
      MarkPageDirty(page);
      return;
    }
    c.hitPage = n;
    c.hitIndex = k;
    Replace(c, q, depth + 1);
  }
  if (c.underflow) Rebalance(c, n, q, s.R);
}

// Steps 1-2 of both changes: refuses a read-only index, takes the header
// lock and the current root. False when refused.
bool BeginChange(Change& c) {
  if (c.x.OpenMode == kModeReadOnly) {
    IllegalOperation(c.x);
    State().DbOk = false;
    return false;
  }
  State().DbOk = true;
  c.x.Root = c.x.Pages->BeginChange();
  return true;
}

// The end of both changes: pages written back, header written with the
// root and released.
void EndChange(Change& c) {
  DropIndexPages(c.x);
  c.x.Pages->EndChange(c.x.Root);
}

}  // namespace

namespace {

// One change of an index, refused without pages: the header lock is held
// from before `step` to after the pages are written back. Returns the
// change's record number when the engine is still sound, else recordRef.
template <typename Step>
std::int32_t RunChange(IndexFile& x, std::int32_t recordRef, std::string_view key, Step step) {
  if (!x.Pages) {
    State().DbOk = false;
    return recordRef;
  }
  IndexScope scope(x, false);
  Change c(x, key);
  c.recordRef = recordRef;
  if (!BeginChange(c)) return recordRef;
  step(c);
  EndChange(c);
  return State().DbOk ? c.recordRef : recordRef;
}

}  // namespace

bool InsertKey(IndexFile& x, std::int32_t recordRef, std::string_view key) {
  RunChange(x, recordRef, key, [&x](Change& c) {
    Descend(c, x.Root, 1);
    if (!c.carry) return;
    std::int32_t root;
    IndexPage& page = AllocPage(x, root);
    page.ItemCount = 1;
    page.LeftChild = x.Root;
    page.Item(1) = c.carryItem;
    x.Root = root;
    MarkPageDirty(page);
  });
  return State().DbOk;
}

bool RemoveKey(IndexFile& x, std::int32_t& recordRef, std::string_view key) {
  recordRef = RunChange(x, recordRef, key, [&x](Change& c) {
    Remove(c, x.Root, 1);
    if (!c.underflow) return;
    IndexPage& root = FetchPage(x, x.Root);
    if (root.ItemCount == 0) {
      x.Root = root.LeftChild;
      ReturnPage(root);
    }
  });
  return State().DbOk;
}

}  // namespace db
