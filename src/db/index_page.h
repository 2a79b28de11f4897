// Index pages: the unpacked form the tree algorithms work on, the packed
// form a page has as a record of the index file, and the key order.
// Internal to db/.
//
// A packed page is one record of (KeyLen + 9) * 32 + 5 bytes, little-endian:
//   0       uint8   ItemCount (0..32)
//   1       int32   LeftChild (page of the keys below item 1; 0 = leaf)
//   5 + (i-1) * (KeyLen + 9), i = 1..32: item i =
//           int32 RecordRef, int32 ChildPage, uint8 key length, KeyLen bytes
// Item slots beyond ItemCount carry no meaning. Page 0 is the file's header,
// so 0 doubles as "no page".
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "db/db.h"

namespace db {

inline constexpr int kMinItems = 16;  // items of every page but the root at least

// A key as a page holds it: at most 246 bytes.
struct PageKey {
  std::uint8_t Length = 0;
  std::array<char, kMaxKeyLen> Bytes{};

  std::string_view View() const { return {Bytes.data(), Length}; }
  // Takes s cut to 246 bytes.
  void Assign(std::string_view s);
};

struct IndexItem {
  std::int32_t RecordRef = 0;
  std::int32_t ChildPage = 0;
  PageKey Key;
};

struct IndexPage {
  std::uint8_t ItemCount = 0;
  std::int32_t LeftChild = 0;
  std::array<IndexItem, kPageItems> Items{};

  // Items are counted from 1, as the tree algorithms count them.
  IndexItem& Item(int i) { return Items[i - 1]; }
  const IndexItem& Item(int i) const { return Items[i - 1]; }
  // The page of the keys after item r: r = 0 is LeftChild.
  std::int32_t& Child(int r) { return r == 0 ? LeftChild : Item(r).ChildPage; }
  std::int32_t Child(int r) const { return r == 0 ? LeftChild : Item(r).ChildPage; }
  IndexItem& Last() { return Item(ItemCount); }
};

// Writes page into record (IndexRecLen(keyLen) bytes): its items cut to
// keyLen, the rest of every key and the slots beyond the count zero.
void PackPage(const IndexPage& page, int keyLen, std::uint8_t* record);

// Reads a packed page. False when the record makes no sense as a page: more
// than 32 items, or an item whose key is longer than keyLen. Only the items
// within the count are read; the page's other slots keep what they held.
bool UnpackPage(const std::uint8_t* record, int keyLen, IndexPage& page);

// Whether the slots beyond the record's item count are all zero, as
// PackPage leaves them. A page on the free chain keeps the items it had
// (only its first five bytes change), so this tells most free pages from a
// page in use.
bool SlotsBeyondCountClear(const std::uint8_t* record, int keyLen);

// The first item (1-based) that names no data record (record number below
// 1: record 0 is the data file's header), 0 when every item names one.
int ItemWithoutRecord(const IndexPage& page);

// The key order: k1 with record number r1 against an item. Keys compare byte
// by byte as unsigned characters, a proper prefix first; equal keys compare
// by record number when duplicates are allowed and are equal otherwise.
// Negative, 0 or positive as k1 sorts before, with or after the item.
int CompareKey(std::string_view k1, std::int32_t r1, const IndexItem& item, bool duplicates);

// Binary search of one page for (key, recordRef). R is the number of items
// that sort before the argument; hit means item R + 1 equals it. Child(R)
// is then the subtree where the argument belongs (or where the items just
// below a hit live).
struct PageSearch {
  int R = 0;
  bool Hit = false;
};
PageSearch SearchPage(const IndexPage& page, std::string_view key, std::int32_t recordRef,
                      bool duplicates);

}  // namespace db
