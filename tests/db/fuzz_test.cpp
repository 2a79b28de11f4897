// Damaged data files: thousands of randomly mutated copies of a sound file
// (fixed seed, bounded time) are opened and worked on by the engine, which
// may end the program through its error paths but must not crash, and are
// checked by dbcheck, which must name a fault or call the file sound.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "child_process.h"
#include "db_fixture.h"

using db_test::EngineTest;

namespace {

constexpr int kRec = 24;

class FuzzTest : public EngineTest {
 protected:
  // A sound file of 30 records with a free chain of 8.
  std::string SoundFile() {
    MakeFile("BASE.DAT", kRec, 30);
    db::DataFile f;
    EXPECT_TRUE(db::OpenDataFile(f, "BASE.DAT", kRec).Ok());
    for (int n : {3, 7, 8, 15, 22, 23, 29, 30}) db::FreeRecord(f, n);
    EXPECT_TRUE(db::CloseDataFile(f).Ok());
    return Bytes("BASE.DAT");
  }

  // One to four changes: bytes of the header and of record heads (links and
  // in-use flags) mostly, any byte sometimes, or a length change.
  static std::string Damage(std::string bytes, std::mt19937& random) {
    int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      std::size_t records = bytes.size() / kRec;
      switch (random() % 8) {
        case 0:
          bytes.resize(bytes.size() + random() % 5 - 2 * (bytes.size() > 2));
          break;
        case 1:
          if (!bytes.empty()) bytes[random() % bytes.size()] = static_cast<char>(random());
          break;
        case 2:
          bytes.resize(kRec * (random() % 3));  // header only, or nothing
          break;
        default: {
          if (records == 0) break;
          std::size_t at = (random() % 2 ? 0 : random() % records) * kRec + random() % 19;
          if (at < bytes.size()) bytes[at] = static_cast<char>(random() % 3 == 0 ? 0xFF : random() % 40);
        }
      }
    }
    return bytes;
  }

  // Works on the damaged file as a program would; the end code, -1 when the
  // engine went through without ending the program.
  int Work(std::mt19937& random) {
    PressEnter();
    int code = EndCode([&] {
      db::DataFile f;
      EXPECT_TRUE(db::OpenDataFile(f, "FUZZ.DAT", kRec).Ok());
      if (!db::DbOk()) return;
      std::vector<std::uint8_t> buf(kRec, 1);
      for (int op = 0; op < 6; ++op) {
        std::int32_t count = db::RecordCount(f), n = 0;
        switch (random() % 3) {
          case 0: db::AppendRecord(f, n, buf.data()); break;
          case 1: if (count > 1) db::FreeRecord(f, 1 + static_cast<std::int32_t>(random() % (count - 1))); break;
          default: if (count > 1) db::PeekRecord(f, static_cast<std::int32_t>(random() % count), buf.data());
        }
      }
      EXPECT_TRUE(db::CloseDataFile(f).Ok());
    });
    platform::Event event;
    while (console::ReadKeyEvent(event)) {
    }
    return code;
  }
};

TEST_F(FuzzTest, DamagedFilesNeverCrashTheEngineOrDbcheck) {
  const bool wine = db_test::UnderWine();
  const int files = wine ? 400 : 3000, checkEvery = wine ? 20 : 4;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wine ? 150 : 60);
  std::string sound = SoundFile();
  std::mt19937 random(20240611);
  int ends = 0, faults = 0, checks = 0;
  testing::internal::CaptureStdout();
  for (int i = 0; i < files && std::chrono::steady_clock::now() < deadline; ++i) {
    std::string damaged = Damage(sound, random);
    Put("FUZZ.DAT", damaged);
    if (i % checkEvery == 0) {
      std::string out;
      int code = db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH),
                                   {"data", "FUZZ.DAT", std::to_string(kRec)}, out);
      ASSERT_TRUE(code == 0 || code == 1) << "dbcheck ended with " << code << " on file " << i;
      ASSERT_FALSE(out.empty());
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
  EXPECT_LT(faults, checks);  // some damage leaves a sound file
  EXPECT_EQ(db::OpenFileCount(), 0);
}

}  // namespace
