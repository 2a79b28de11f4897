// Damaged indexes: thousands of mutations of a sound index (header fields,
// item counts, page links, key lengths, stray bytes, lengths) go through
// the structure check and through searches, steps, inserts and removes.
// Nothing may crash or read outside the file; the engine stops at a page
// that makes no sense; and an index the check calls sound works.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>

#include "index_fixture.h"

namespace db_test {
namespace {

using db::DbOk;

#ifdef _WIN32
constexpr int kMutants = 1500;
#else
constexpr int kMutants = 4000;
#endif
constexpr int kKeyLen = 3;
constexpr int kRecLen = db::IndexRecLen(kKeyLen);

std::string Key(std::mt19937& rng) {
  std::string key;
  for (int i = 0, n = 1 + rng() % kKeyLen; i < n; ++i) key += static_cast<char>('A' + rng() % 12);
  return key;
}

// A sound index of three levels with a free chain.
std::string SoundImage() {
  std::mt19937 rng(5);
  auto x = MemoryIndex(kKeyLen, true);
  for (int i = 1; i <= 1400; ++i) db::InsertKey(*x, i, Key(rng));
  for (int i = 1; i <= 700; ++i) {
    std::int32_t ref = i * 2;
    std::string key;
    db::RemoveKey(*x, ref, Key(rng));
  }
  return PagesOf(*x).Image();
}

void PutInt32(std::string& image, std::size_t at, std::int32_t v) {
  if (at + 4 <= image.size()) std::memcpy(image.data() + at, &v, 4);
}

// One to four random damages.
void Mutate(std::string& image, std::mt19937& rng) {
  auto records = static_cast<std::int32_t>(image.size() / kRecLen);
  auto page = [&] { return std::size_t(rng() % records) * kRecLen; };
  auto item = [&] { return 5 + std::size_t(rng() % 32) * (kKeyLen + 9); };
  const std::int32_t links[] = {-1, 0, 1, records - 1, records, records + 7, INT_MAX, INT_MIN};
  auto link = [&] {
    return rng() % 2 ? links[rng() % 8] : static_cast<std::int32_t>(rng() % records);
  };
  for (int i = 0, n = 1 + rng() % 4; i < n; ++i) {
    switch (rng() % 8) {
      case 0: image[rng() % image.size()] = static_cast<char>(rng()); break;
      case 1: image[page()] = static_cast<char>(rng() % 3 ? rng() % 40 : rng()); break;
      case 2: PutInt32(image, page() + 1, link()); break;
      case 3: PutInt32(image, page() + item() + 4, link()); break;
      case 4: image[page() + item() + 8] = static_cast<char>(rng() % 2 ? rng() % 8 : rng()); break;
      case 5: PutInt32(image, 4 * (rng() % 4), link()); break;
      case 6: image.resize(image.size() + (rng() % 2 ? kRecLen : 1 + rng() % 50)); break;
      default: image.resize(std::max<std::size_t>(1, image.size() - 1 - rng() % kRecLen)); break;
    }
  }
}

// Searches, steps and changes on the index; false when the engine stopped at
// a page that makes no sense. Walks are bounded: a damaged tree may lead a
// scan through shared pages many times over.
bool Exercise(db::IndexFile& x, std::mt19937& rng) {
  try {
    std::int32_t ref = 0;
    std::string key;
    db::ResetPosition(x);
    for (int i = 0; i < 3000; ++i) {
      db::StepNext(x, ref, key);
      if (!DbOk()) break;
    }
    db::ResetPosition(x);
    for (int i = 0; i < 100; ++i) db::StepPrev(x, ref, key);
    for (int i = 0; i < 10; ++i) {
      key = Key(rng);
      db::SeekKey(x, ref, key);
      db::StepNext(x, ref, key);
      key = Key(rng);
      db::SeekLastWithPrefix(x, ref, key);
    }
    for (int i = 0; i < 20; ++i) {
      db::InsertKey(x, 5000 + i, Key(rng));
      ref = static_cast<std::int32_t>(rng() % 1400);
      db::RemoveKey(x, ref, Key(rng));
    }
    return true;
  } catch (const PageFaultSeen&) {
    return false;
  }
}

TEST(IndexFuzz, DamagedIndexesAreCheckedAndWorkedOnWithoutACrash) {
  const std::string sound = SoundImage();
  ASSERT_EQ(db::CheckIndexImage(sound, kKeyLen, true).Fault, "");
  std::mt19937 rng(99);
  int faultsFound = 0, engineStops = 0;
  for (int m = 0; m < kMutants; ++m) {
    std::string image = sound;
    Mutate(image, rng);
    std::string fault = db::CheckIndexImage(image, kKeyLen, true).Fault;
    if (!fault.empty()) ++faultsFound;
    if (image.size() % kRecLen != 0) continue;  // the open refuses such a file
    auto x = MemoryIndex(kKeyLen, true, image);
    bool worked = Exercise(*x, rng);
    if (!worked) ++engineStops;
    // What the check calls sound, the engine works on without a stop, and
    // leaves sound.
    if (fault.empty()) {
      ASSERT_TRUE(worked) << "mutant " << m;
      ASSERT_EQ(Check(*x), "") << "mutant " << m;
    }
  }
  EXPECT_GT(faultsFound, kMutants / 2);
  EXPECT_GT(engineStops, kMutants / 20);
}

// The check on lengths and key lengths that hold no index.
TEST(IndexFuzz, CheckNamesFilesThatAreNoIndex) {
  EXPECT_NE(db::CheckIndexImage("", kKeyLen, false).Fault, "");
  EXPECT_NE(db::CheckIndexImage(std::string(kRecLen - 1, '\0'), kKeyLen, false).Fault, "");
  EXPECT_NE(db::CheckIndexImage(std::string(kRecLen, '\0'), 0, false).Fault, "");
  EXPECT_NE(db::CheckIndexImage(std::string(kRecLen, '\0'), 247, false).Fault, "");
}

}  // namespace
}  // namespace db_test
