// Stations of every build share one set of files: the POSIX program, the
// 32-bit Windows product and the 64-bit Windows test build must write the
// same bytes for the same work. The same run of appends, key inserts,
// removals and frees is checked here, in each build, against one set of
// digests: the data file, the index, and the journal as each change left it
// just before its cut-back.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../forwarding_file.h"
#include "db_fixture.h"

namespace {

// FNV-1a, 64 bits: the same digest of the same bytes on every build.
std::uint64_t Digest(const std::string& bytes) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

// Every file handed out is the system's file, but a journal (*.jrn) being
// cut back leaves its whole content, as the change wrote it, in `cuts`.
class JournalWatch {
 public:
  JournalWatch()
      : guard_([cuts = cuts_] { return std::make_unique<WatchedFile>(cuts); }) {}
  const std::string& Cuts() const { return *cuts_; }

 private:
  class WatchedFile final : public test_support::ForwardingFile {
   public:
    explicit WatchedFile(std::shared_ptr<std::string> cuts) : cuts_(std::move(cuts)) {}
    int Truncate(std::int64_t size) override {
      std::int64_t now = 0;
      if (Path().ends_with(".jrn") && file_->Size(now) == 0 && now > size) {
        std::string bytes(static_cast<std::size_t>(now), '\0');
        std::size_t got = 0;
        if (file_->ReadAt(0, bytes.data(), bytes.size(), got) == 0) *cuts_ += bytes.substr(0, got);
      }
      return file_->Truncate(size);
    }

   private:
    std::shared_ptr<std::string> cuts_;
  };

  std::shared_ptr<std::string> cuts_ = std::make_shared<std::string>();
  platform::FileMakerGuard guard_;
};

class PortableFilesTest : public db_test::EngineTest {};

// 300 records with keys, every sixth removed with its record freed, then 40
// more that reuse the freed records and grow the file.
TEST_F(PortableFilesTest, EveryBuildWritesTheSameDataIndexAndJournalBytes) {
  constexpr int kRecLen = 100, kKeyLen = 20;
  JournalWatch watch;
  db::DataFile f;
  db::IndexFile x;
  EXPECT_TRUE(db::CreateDataFile(f, "P.DAT", kRecLen).Ok());
  ASSERT_TRUE(db::CreateIndex(x, "P.IDX", kKeyLen, 0).Ok());
  std::uint32_t seed = 12345;
  auto add = [&](int i) {
    std::vector<std::uint8_t> record(kRecLen);
    for (auto& b : record) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
    std::string key = "K" + std::to_string(seed % 100000 * 1000 + i);
    key.resize(kKeyLen, ' ');
    std::copy(key.begin(), key.end(), record.begin() + 10);
    std::int32_t n = 0;
    db::AppendRecord(f, n, record.data());
    db::InsertKey(x, n, key);
    return std::pair{n, key};
  };
  std::vector<std::pair<std::int32_t, std::string>> added;
  for (int i = 0; i < 300; ++i) added.push_back(add(i));
  for (std::size_t i = 0; i < added.size(); i += 6) {
    std::int32_t n = added[i].first;
    db::RemoveKey(x, n, added[i].second);
    db::FreeRecord(f, n);
  }
  for (int i = 300; i < 340; ++i) add(i);
  ASSERT_TRUE(db::DbOk());
  EXPECT_TRUE(db::CloseIndex(x).Ok());
  EXPECT_TRUE(db::CloseDataFile(f).Ok());

  EXPECT_EQ(Bytes("P.DAT").size(), 301u * kRecLen);  // the header, and no record left free
  EXPECT_GT(watch.Cuts().size(), 340u * (52 + db::IndexRecLen(kKeyLen)));
  // Record 0 beyond the header holds zeros from the creation on: nothing of
  // another record, another file or another station's memory reaches it.
  for (auto [name, recLen] : {std::pair{"P.DAT", kRecLen}, std::pair{"P.IDX", db::IndexRecLen(kKeyLen)}}) {
    std::string header = Bytes(name).substr(db::kHeaderSize, static_cast<std::size_t>(recLen - db::kHeaderSize));
    EXPECT_EQ(header.find_first_not_of('\0'), std::string::npos) << name;
  }
  EXPECT_EQ(Digest(Bytes("P.DAT")), 0xC7D5F9FF0154A93Bull);
  EXPECT_EQ(Digest(Bytes("P.IDX")), 0x93990259F478D0D1ull);
  EXPECT_EQ(Digest(Bytes("P.IDX.jrn")), 0x3332DD04F0CE93C2ull);
  EXPECT_EQ(Digest(watch.Cuts()), 0x36E0EEDAF7C4F6F7ull);
}

}  // namespace
