// Damaged index files (fixed seed, bounded time): mutated copies of a sound
// index are opened and worked on by the engine, which may end the program
// through its error paths but must not crash, and are checked by
// "dbcheck index", which must call the file sound or name a fault.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <random>

#include "child_process.h"
#include "db_fixture.h"

namespace db_test {
namespace {

constexpr int kKeyLen = 4;
const int kPage = db::IndexRecLen(kKeyLen);

std::string Key(std::mt19937& random) {
  std::string key;
  for (int i = 0, n = 1 + random() % kKeyLen; i < n; ++i)
    key += static_cast<char>('A' + random() % 10);
  return key;
}

class IndexFileFuzzTest : public EngineTest {
 protected:
  // A sound index of three levels with freed pages.
  std::string SoundFile() {
    std::mt19937 random(11);
    db::IndexFile x;
    EXPECT_TRUE(db::CreateIndex(x, "BASE.IDX", kKeyLen, 1).Ok());
    for (int i = 1; i <= 1500; ++i) db::InsertKey(x, i, Key(random));
    for (int i = 1; i <= 600; ++i) {
      std::int32_t ref = i * 2;
      db::RemoveKey(x, ref, Key(random));
    }
    EXPECT_TRUE(db::CloseIndex(x).Ok());
    return Bytes("BASE.IDX");
  }

  // One to four damages: the header's counters, page heads (item counts,
  // left children), item links and key lengths, any byte, the length.
  static std::string Damage(std::string bytes, std::mt19937& random) {
    for (int i = 0, n = 1 + random() % 4; i < n; ++i) {
      std::size_t pages = bytes.size() / kPage;
      if (pages == 0) break;
      std::size_t page = (random() % pages) * kPage;
      std::size_t item = 5 + (random() % 32) * (kKeyLen + 9);
      const std::int32_t links[] = {-1, 0, 1, static_cast<std::int32_t>(pages),
                                    static_cast<std::int32_t>(pages) + 3, INT_MAX, INT_MIN};
      std::int32_t link = random() % 2 ? links[random() % 7]
                                       : static_cast<std::int32_t>(random() % pages);
      auto put = [&](std::size_t at) {
        if (at + 4 <= bytes.size()) std::memcpy(bytes.data() + at, &link, 4);
      };
      switch (random() % 7) {
        case 0: put(4 * (random() % 4)); break;
        case 1: bytes[page] = static_cast<char>(random() % 3 ? random() % 40 : random()); break;
        case 2: put(page + 1); break;
        case 3: put(page + item + 4); break;
        case 4: bytes[page + item + 8] = static_cast<char>(random() % 8); break;
        case 5: bytes[random() % bytes.size()] = static_cast<char>(random()); break;
        default: bytes.resize(bytes.size() + (random() % 2 ? kPage : 7) - kPage); break;
      }
    }
    return bytes;
  }

  // Works on the damaged index as a program would; the end code, -1 when
  // the engine went through without ending the program.
  int Work(std::mt19937& random) {
    PressEnter();
    int code = EndCode([&] {
      db::IndexFile x;
      EXPECT_TRUE(db::OpenIndex(x, "FUZZ.IDX", kKeyLen, 1).Ok());
      if (!db::DbOk()) return;
      std::int32_t ref = 0;
      std::string key;
      for (int i = 0; i < 2000; ++i) {
        db::StepNext(x, ref, key);
        if (!db::DbOk()) break;
      }
      for (int i = 0; i < 5; ++i) {
        key = Key(random);
        db::SeekKey(x, ref, key);
        db::StepPrev(x, ref, key);
        db::InsertKey(x, 9000 + i, Key(random));
        ref = static_cast<std::int32_t>(random() % 1500);
        db::RemoveKey(x, ref, Key(random));
      }
      EXPECT_TRUE(db::CloseIndex(x).Ok());
    });
    platform::Event event;
    while (console::ReadKeyEvent(event)) {
    }
    return code;
  }
};

TEST_F(IndexFileFuzzTest, DamagedIndexesNeverCrashTheEngineOrDbcheck) {
  const bool wine = UnderWine();
  const int files = wine ? 150 : 1000, checkEvery = wine ? 15 : 5;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wine ? 120 : 60);
  std::string sound = SoundFile();
  ASSERT_EQ(db::CheckIndexImage(sound, kKeyLen, true).Fault, "");
  std::mt19937 random(4242);
  int ends = 0, faults = 0, checks = 0;
  testing::internal::CaptureStdout();
  for (int i = 0; i < files && std::chrono::steady_clock::now() < deadline; ++i) {
    Put("FUZZ.IDX", Damage(sound, random));
    if (i % checkEvery == 0) {
      std::string out;
      int code = RunToEnd(ProgramPath(DB_DBCHECK_PATH), {"index", "FUZZ.IDX", "4", "dups"}, out);
      ASSERT_TRUE(code == 0 || code == 1) << "dbcheck ended with " << code << " on file " << i;
      ASSERT_EQ(code == 0, db::CheckIndexImage(Bytes("FUZZ.IDX"), kKeyLen, true).Fault.empty());
      ASSERT_NE(out.find("FUZZ.IDX: "), std::string::npos);
      faults += code;
      ++checks;
    }
    int code = Work(random);
    EXPECT_TRUE(code == -1 || code == 1 || code == db::kDamagedData || code == db::kReadError)
        << "file " << i << " ended with " << code;
    ends += code != -1;
  }
  testing::internal::GetCapturedStdout();
  EXPECT_GT(ends, 0);
  EXPECT_GT(faults, 0);
  EXPECT_EQ(db::OpenFileCount(), 0);
}

TEST_F(IndexFileFuzzTest, DbcheckIndexNamesTheFaultAndRefusesBadArguments) {
  std::string sound = SoundFile();
  Put("GOOD.IDX", sound);
  std::string out;
  const std::string dbcheck = ProgramPath(DB_DBCHECK_PATH);
  EXPECT_EQ(RunToEnd(dbcheck, {"index", "GOOD.IDX", "4", "dups"}, out), 0);
  db::IndexCheck check = db::CheckIndexImage(sound, kKeyLen, true);
  EXPECT_NE(out.find("GOOD.IDX: sound, " + std::to_string(check.Keys) + " keys in 3 levels"),
            std::string::npos)
      << out;

  std::string bad = sound;
  bad[std::size_t(Int32At(sound, 8)) * kPage] = 0;  // a root of no items
  Put("BAD.IDX", bad);
  out.clear();
  EXPECT_EQ(RunToEnd(dbcheck, {"index", "BAD.IDX", "4", "dups"}, out), 1);
  EXPECT_NE(out.find("BAD.IDX: "), std::string::npos) << out;

  out.clear();  // without duplicates, equal keys are out of order
  EXPECT_EQ(RunToEnd(dbcheck, {"index", "GOOD.IDX", "4"}, out), 1);
  EXPECT_NE(out.find("out of order"), std::string::npos) << out;

  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"index"}, {"index", "GOOD.IDX"}, {"index", "GOOD.IDX", "0"},
           {"index", "GOOD.IDX", "247"}, {"index", "GOOD.IDX", "4", "twice"}}) {
    out.clear();
    EXPECT_EQ(RunToEnd(dbcheck, args, out), 2) << args.size();
  }
  out.clear();
  EXPECT_EQ(RunToEnd(dbcheck, {"index", "MISSING.IDX", "4"}, out), 1);
}

}  // namespace
}  // namespace db_test
