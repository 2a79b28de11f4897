#include "db/index_page.h"

#include <algorithm>
#include <cstring>

namespace db {

namespace {

// Copies n bytes (at most a key's 246) with fixed-size moves: keys are
// short, and a general copy's start-up cost would dominate unpacking.
// Never touches a byte outside the n of either side.
inline void CopyKeyBytes(void* to, const void* from, int n) {
  auto* d = static_cast<std::uint8_t*>(to);
  const auto* s = static_cast<const std::uint8_t*>(from);
  for (; n >= 16; n -= 16, d += 16, s += 16) std::memcpy(d, s, 16);
  if (n >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + n - 8, s + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else {
    for (int i = 0; i < n; ++i) d[i] = s[i];
  }
}

}  // namespace

void PageKey::Assign(std::string_view s) {
  Length = static_cast<std::uint8_t>(std::min<std::size_t>(s.size(), kMaxKeyLen));
  std::memcpy(Bytes.data(), s.data(), Length);
}

void PackPage(const IndexPage& page, int keyLen, std::uint8_t* record) {
  int count = std::min<int>(page.ItemCount, kPageItems);
  record[0] = page.ItemCount;
  StoreInt32(record + 1, page.LeftChild);
  std::uint8_t* slot = record + kPageHead;
  for (int i = 1; i <= count; ++i, slot += keyLen + 9) {
    const IndexItem& item = page.Item(i);
    StoreInt32(slot, item.RecordRef);
    StoreInt32(slot + 4, item.ChildPage);
    int length = std::min<int>(item.Key.Length, keyLen);
    slot[8] = static_cast<std::uint8_t>(length);
    CopyKeyBytes(slot + 9, item.Key.Bytes.data(), length);
    if (length < keyLen) std::memset(slot + 9 + length, 0, keyLen - length);
  }
  std::memset(slot, 0, (kPageItems - count) * (keyLen + 9));
}

bool UnpackPage(const std::uint8_t* record, int keyLen, IndexPage& page) {
  page.ItemCount = record[0];
  page.LeftChild = LoadInt32(record + 1);
  if (page.ItemCount > kPageItems) return false;
  const std::uint8_t* slot = record + kPageHead;
  for (int i = 1; i <= page.ItemCount; ++i, slot += keyLen + 9) {
    IndexItem& item = page.Item(i);
    item.RecordRef = LoadInt32(slot);
    item.ChildPage = LoadInt32(slot + 4);
    int length = slot[8];
    if (length > keyLen) return false;
    item.Key.Length = static_cast<std::uint8_t>(length);
    CopyKeyBytes(item.Key.Bytes.data(), slot + 9, length);
  }
  return true;
}

bool SlotsBeyondCountClear(const std::uint8_t* record, int keyLen) {
  int count = std::min<int>(record[0], kPageItems);
  const std::uint8_t* from = record + kPageHead + count * (keyLen + 9);
  const std::uint8_t* end = record + IndexRecLen(keyLen);
  return std::all_of(from, end, [](std::uint8_t b) { return b == 0; });
}

int ItemWithoutRecord(const IndexPage& page) {
  for (int i = 1; i <= page.ItemCount; ++i)
    if (page.Item(i).RecordRef < 1) return i;
  return 0;
}

int CompareKey(std::string_view k1, std::int32_t r1, const IndexItem& item, bool duplicates) {
  std::string_view k2 = item.Key.View();
  std::size_t common = std::min(k1.size(), k2.size());
  int c = common ? std::memcmp(k1.data(), k2.data(), common) : 0;
  if (c == 0) c = (k1.size() > k2.size()) - (k1.size() < k2.size());
  if (c != 0) return c;
  // The sign of r1 - r2, without the overflow of the subtraction.
  return duplicates ? (r1 > item.RecordRef) - (r1 < item.RecordRef) : 0;
}

PageSearch SearchPage(const IndexPage& page, std::string_view key, std::int32_t recordRef,
                      bool duplicates) {
  int l = 1, r = page.ItemCount;
  while (l <= r) {
    int k = (l + r) / 2;
    int c = CompareKey(key, recordRef, page.Item(k), duplicates);
    if (c <= 0) r = k - 1;
    if (c >= 0) l = k + 1;
  }
  return {r, l - r > 1};
}

}  // namespace db
