// The in-memory pages of an index held alone: a small least-recently-used
// set of packed page records in front of the index's own store.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "db/index_internal.h"

namespace db {

struct ExclusivePages::Slot {
  std::int32_t Number = 0;  // 0: empty
  bool Dirty = false;
  std::uint64_t Used = 0;
  std::vector<std::uint8_t> Record;
};

ExclusivePages::ExclusivePages(std::unique_ptr<PageStore> inner, int recLen, std::size_t capacity)
    : inner_(std::move(inner)), recLen_(static_cast<std::size_t>(recLen)),
      slots_(std::max<std::size_t>(capacity, 1)) {
  for (Slot& slot : slots_) slot.Record.resize(recLen_);
}

// A fatal error ends the program through an exception: the pages are then
// dropped, not written.
ExclusivePages::~ExclusivePages() = default;

ExclusivePages::Slot* ExclusivePages::Find(std::int32_t n) {
  for (Slot& slot : slots_)
    if (slot.Number == n) return &slot;
  return nullptr;
}

void ExclusivePages::WriteBack(Slot& slot) {
  if (slot.Number != 0 && slot.Dirty) inner_->Write(slot.Number, slot.Record.data());
  slot.Dirty = false;
}

// The slot for page n: its own, or the least recently used one, emptied.
ExclusivePages::Slot& ExclusivePages::Claim(std::int32_t n) {
  Slot* slot = Find(n);
  if (!slot) {
    slot = &*std::min_element(slots_.begin(), slots_.end(),
                              [](const Slot& a, const Slot& b) { return a.Used < b.Used; });
    WriteBack(*slot);
    slot->Number = 0;
  }
  slot->Used = ++clock_;
  return *slot;
}

void ExclusivePages::Read(std::int32_t n, std::uint8_t* record) {
  Slot& slot = Claim(n);
  if (slot.Number != n) {
    inner_->Read(n, slot.Record.data());
    slot.Number = n;
  }
  std::memcpy(record, slot.Record.data(), recLen_);
}

void ExclusivePages::Write(std::int32_t n, const std::uint8_t* record) {
  Slot& slot = Claim(n);
  std::memcpy(slot.Record.data(), record, recLen_);
  slot.Number = n;
  slot.Dirty = true;
}

void ExclusivePages::Free(std::int32_t n) {
  if (Slot* slot = Find(n)) {
    slot->Number = 0;
    slot->Dirty = false;
  }
  inner_->Free(n);
}

void ExclusivePages::Fault(std::int32_t n) {
  inner_->Fault(n);
  std::abort();  // not reached: the wrapped store ends the program
}

std::unique_ptr<PageStore> ExclusivePages::Detach() {
  for (Slot& slot : slots_) WriteBack(slot);
  return std::move(inner_);
}

}  // namespace db
