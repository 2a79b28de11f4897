// Indexes whose pages live in memory, in the index file's own format, for
// the tests of the tree: record 0 is the header, freed pages form the free
// chain as a data file keeps it, so CheckIndexImage reads the image as it
// reads a file.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/db.h"

namespace db_test {

// Thrown by MemoryPages::Fault: the engine found record n making no sense.
struct PageFaultSeen {
  std::int32_t N;
};

class MemoryPages : public db::PageStore {
 public:
  // An empty index.
  explicit MemoryPages(int keyLen) : recLen_(db::IndexRecLen(keyLen)), image_(recLen_, '\0') {
    PutHeader(0, std::uint32_t(-1));
    PutHeader(4, 0);
    PutHeader(8, 0);
    PutHeader(12, 1);
  }
  // An index of given bytes (a whole number of records assumed).
  MemoryPages(int keyLen, std::string image)
      : recLen_(db::IndexRecLen(keyLen)), image_(std::move(image)) {}

  const std::string& Image() const { return image_; }
  // The pages become image (as another station's change leaves them).
  void Replace(std::string image) { image_ = std::move(image); }
  std::int32_t Records() const { return static_cast<std::int32_t>(image_.size() / recLen_); }
  std::int32_t Header(int offset) const {
    std::int32_t v;
    std::memcpy(&v, image_.data() + offset, 4);
    return v;
  }
  // Page n's bytes.
  const char* Record(std::int32_t n) const { return image_.data() + std::size_t(n) * recLen_; }
  char* Record(std::int32_t n) { return image_.data() + std::size_t(n) * recLen_; }

  void Read(std::int32_t n, std::uint8_t* record) override {
    std::memcpy(record, Record(n), recLen_);
  }
  void Write(std::int32_t n, const std::uint8_t* record) override {
    std::memcpy(Record(n), record, recLen_);
  }
  void Release(std::int32_t) override {}
  std::int32_t Allocate() override {
    std::int32_t n = Header(0);
    if (n != -1 && !Holds(n)) Fault(n);
    if (n == -1) {
      n = Records();
      image_.append(recLen_, '\0');
      PutHeader(12, Records());
    } else {
      std::int32_t next;
      std::memcpy(&next, Record(n), 4);
      PutHeader(0, next);
      PutHeader(4, Header(4) - 1u);
    }
    return n;
  }
  void Free(std::int32_t n) override {
    std::int32_t head = Header(0);
    std::memcpy(Record(n), &head, 4);
    Record(n)[4] = 0;
    PutHeader(0, n);
    PutHeader(4, Header(4) + 1u);
  }
  std::int32_t BeginChange() override { return Header(8); }
  void EndChange(std::int32_t root) override { PutHeader(8, root); }
  std::int32_t PeekRoot() override { return Header(8); }
  bool Holds(std::int32_t n) override { return n >= 1 && n < Records(); }
  [[noreturn]] void Fault(std::int32_t n) override { throw PageFaultSeen{n}; }

 private:
  void PutHeader(int offset, std::uint32_t v) { std::memcpy(image_.data() + offset, &v, 4); }

  int recLen_;
  std::string image_;
};

// An index over MemoryPages (empty, or of the given bytes).
inline std::unique_ptr<db::IndexFile> MemoryIndex(int keyLen, bool duplicates,
                                                  std::string image = "") {
  auto x = std::make_unique<db::IndexFile>();
  x->KeyLength = static_cast<std::int16_t>(keyLen);
  x->AllowDuplicates = duplicates;
  if (image.empty())
    x->Pages = std::make_unique<MemoryPages>(keyLen);
  else
    x->Pages = std::make_unique<MemoryPages>(keyLen, std::move(image));
  x->Root = x->Pages->PeekRoot();
  return x;
}

inline MemoryPages& PagesOf(db::IndexFile& x) { return static_cast<MemoryPages&>(*x.Pages); }

// The structure check of x's pages: "" when sound.
inline std::string Check(db::IndexFile& x) {
  return db::CheckIndexImage(PagesOf(x).Image(), x.KeyLength, x.AllowDuplicates).Fault;
}

// Every item of x in order, read with StepNext from the start.
inline std::vector<std::pair<std::string, std::int32_t>> Scan(db::IndexFile& x) {
  std::vector<std::pair<std::string, std::int32_t>> items;
  db::ResetPosition(x);
  std::int32_t ref = 0;
  std::string key;
  for (db::StepNext(x, ref, key); db::DbOk(); db::StepNext(x, ref, key))
    items.emplace_back(key, ref);
  return items;
}

}  // namespace db_test
