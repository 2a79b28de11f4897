// The structure check of an index file, made on the file's bytes alone (no
// engine state, no locks), so that any damage gives a fault, never a crash.
#include <memory>
#include <vector>

#include "db/db.h"
#include "db/index_page.h"

namespace db {
namespace {

std::string KeyText(const IndexItem& item) {
  return "\"" + std::string(item.Key.View()) + "\"/" + std::to_string(item.RecordRef);
}

class IndexChecker {
 public:
  IndexChecker(std::string_view image, int keyLen, bool duplicates, const IndexItemVisit& each)
      : image_(image), keyLen_(keyLen), duplicates_(duplicates), recLen_(IndexRecLen(keyLen)), each_(each) {}

  IndexCheck Run() {
    Check();
    result_.Fault = fault_;
    result_.Depth = leafDepth_;
    result_.Pages = records_ > 0 ? records_ - 1 : 0;
    return result_;
  }

 private:
  enum : std::uint8_t { kUnseen, kInTree, kFree };

  const std::uint8_t* Record(std::int32_t n) const {
    return reinterpret_cast<const std::uint8_t*>(image_.data()) +
           static_cast<std::size_t>(n) * recLen_;
  }
  bool IsPage(std::int32_t n) const { return n >= 1 && n < records_; }
  bool Check() {
    if (keyLen_ < 1 || keyLen_ > kMaxKeyLen) return Fail("key length outside 1..246");
    if (image_.empty() || image_.size() % recLen_ != 0)
      return Fail("file length " + std::to_string(image_.size()) + " is not a whole number of " +
                  std::to_string(recLen_) + "-byte pages");
    if (image_.size() / recLen_ > 0x7FFFFFFF) return Fail("file too long");
    records_ = static_cast<std::int32_t>(image_.size() / recLen_);
    seen_.assign(records_, kUnseen);
    if (!CheckHeader() || !CheckFreeChain()) return false;
    if (root_ != 0 && !CheckPage(root_, 1, nullptr, nullptr)) return false;
    for (std::int32_t n = 1; n < records_; ++n)
      if (seen_[n] == kUnseen) return Fail(UnseenPage(n));
    return true;
  }

  // The fault of page n, which the walk from the root did not reach: when
  // the header's root is not the top of the tree (0 while pages hold
  // items, or a page below another), it names the root.
  std::string UnseenPage(std::int32_t n) const {
    std::string root = "header: root page " + std::to_string(root_) + " is not the top of the tree";
    if (root_ == 0) return root + ": page " + std::to_string(n) + " holds items";
    for (std::int32_t m = 1; m < records_; ++m) {
      if (seen_[m] != kUnseen) continue;
      auto page = std::make_unique<IndexPage>();
      if (!UnpackPage(Record(m), keyLen_, *page)) continue;
      for (int i = 0; i <= page->ItemCount; ++i)
        if (page->Child(i) == root_) return root + ": page " + std::to_string(m) + " points to it";
    }
    return "page " + std::to_string(n) + " is neither in the tree nor on the free chain";
  }

  bool Fail(std::string fault) {
    fault_ = std::move(fault);
    return false;
  }

  bool CheckHeader() {
    FileHeader h = FileHeader::Decode(Record(0));
    freeHead_ = h.FreeHead;
    freeCount_ = h.FreeCount;
    root_ = h.RootPage;
    if (h.RecordTotal != records_)
      return Fail("header: RecordTotal " + std::to_string(h.RecordTotal) + ", but the file holds " +
                  std::to_string(records_) + " records");
    if (root_ != 0 && !IsPage(root_))
      return Fail("header: root page " + std::to_string(root_) + " outside the file");
    return true;
  }

  bool CheckFreeChain() {
    std::int32_t count = 0;
    for (std::int32_t n = freeHead_; n != -1; n = LoadInt32(Record(n))) {
      if (!IsPage(n)) return Fail("free chain: link " + std::to_string(n) + " outside the file");
      if (seen_[n] != kUnseen)
        return Fail("free chain: page " + std::to_string(n) + " twice (the chain runs in a cycle)");
      if (Record(n)[4] != 0)
        return Fail("free chain: page " + std::to_string(n) + " is marked in use");
      seen_[n] = kFree;
      ++count;
      ++result_.FreePages;
    }
    if (count != freeCount_)
      return Fail("header: FreeCount " + std::to_string(freeCount_) + ", but the free chain holds " +
                  std::to_string(count) + " pages");
    return true;
  }

  // Page n at depth (root = 1), all of whose keys must sort after low and
  // before high (null: unbounded).
  bool CheckPage(std::int32_t n, int depth, const IndexItem* low, const IndexItem* high) {
    std::string at = "page " + std::to_string(n) + ": ";
    if (depth > kMaxTreeDepth) return Fail(at + "the tree is deeper than any sound tree");
    if (seen_[n] == kFree) return Fail(at + "in the tree and on the free chain");
    if (seen_[n] == kInTree) return Fail(at + "reached twice in the tree");
    seen_[n] = kInTree;
    auto page = std::make_unique<IndexPage>();
    bool sound = UnpackPage(Record(n), keyLen_, *page);
    int count = page->ItemCount;
    result_.Keys += count;
    if (count > kPageItems) return Fail(at + std::to_string(count) + " items, more than 32");
    if (!sound) return Fail(at + "a key longer than " + std::to_string(keyLen_) + " bytes");
    if (!SlotsBeyondCountClear(Record(n), keyLen_))
      return Fail(at + "bytes in the slots beyond its " + std::to_string(count) + " items");
    if (int i = ItemWithoutRecord(*page))
      return Fail(at + "key " + KeyText(page->Item(i)) + " names record " +
                  std::to_string(page->Item(i).RecordRef) + ", which is no data record");
    if (count < (depth == 1 ? 1 : kMinItems))
      return Fail(at + std::to_string(count) + " items, fewer than " +
                  (depth == 1 ? "1 in the root" : "16 below the root"));
    if (each_)
      for (int i = 1; i <= count; ++i) each_(page->Item(i).RecordRef, page->Item(i).Key.View());
    bool leaf = page->LeftChild == 0;
    for (int i = 0; i <= count; ++i) {
      std::int32_t child = page->Child(i);
      if ((child == 0) != leaf) return Fail(at + "leaf and inner page at once");
      if (!leaf && !IsPage(child))
        return Fail(at + "child page " + std::to_string(child) + " outside the file");
    }
    for (int i = 1; i <= count + 1; ++i) {
      const IndexItem* before = i == 1 ? low : &page->Item(i - 1);
      const IndexItem* after = i == count + 1 ? high : &page->Item(i);
      if (before && after && CompareKey(before->Key.View(), before->RecordRef, *after,
                                        duplicates_) >= 0)
        return Fail(at + "key " + KeyText(*after) + " out of order after " + KeyText(*before));
    }
    if (leaf) {
      if (leafDepth_ == 0) leafDepth_ = depth;
      if (depth != leafDepth_)
        return Fail(at + "a leaf at depth " + std::to_string(depth) + ", others at " +
                    std::to_string(leafDepth_));
      return true;
    }
    for (int i = 0; i <= count; ++i) {
      const IndexItem* before = i == 0 ? low : &page->Item(i);
      const IndexItem* after = i == count ? high : &page->Item(i + 1);
      if (!CheckPage(page->Child(i), depth + 1, before, after)) return false;
    }
    return true;
  }

  std::string_view image_;
  int keyLen_;
  bool duplicates_;
  int recLen_;
  const IndexItemVisit& each_;
  std::int32_t records_ = 0;
  std::int32_t freeHead_ = -1, freeCount_ = 0, root_ = 0;
  int leafDepth_ = 0;
  std::vector<std::uint8_t> seen_;
  std::string fault_;
  IndexCheck result_;
};

}  // namespace

IndexCheck CheckIndexImage(std::string_view image, int keyLen, bool duplicates,
                           const IndexItemVisit& each) {
  return IndexChecker(image, keyLen, duplicates, each).Run();
}

}  // namespace db
