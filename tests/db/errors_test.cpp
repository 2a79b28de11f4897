// Error texts, the log line, the fatal checks and the guarded opens.
#include <gtest/gtest.h>

#include "db_fixture.h"
#include "platform/fs.h"
#include "platform/codepage.h"
#include "platform/file.h"

using namespace platform::literals;
using db_test::EngineTest;

namespace {

constexpr int kRec = 25;

TEST(ErrorText, ZeroIsEmptyAndUnknownCodesHaveTheirText) {
  EXPECT_EQ(db::ErrorText(0), "");
  EXPECT_EQ(db::ErrorText(7), "Hibaüzenet neve ismeretlen"_cp);
  EXPECT_EQ(db::ErrorText(-1), "Hibaüzenet neve ismeretlen"_cp);
  EXPECT_EQ(db::ErrorText(5), "A file nem hozzáférhetö"_cp);
  EXPECT_EQ(db::ErrorText(216), "General Protection fault");
}

class ErrorsTest : public EngineTest {};

TEST_F(ErrorsTest, LogLinesFollowTheFormatAndAppend) {
  platform::ManualClock clock;
  clock.Set(((9 * 60 + 5) * 60 + 7) * 100);
  clock.SetToday({2026, 3, 4});
  platform::SetClock(&clock);
  std::string name("SZAMLA.DAT  ");
  name += '\0';
  EXPECT_TRUE(db::LogDbError(name, 12, "first"));
  EXPECT_TRUE(db::LogDbError("B.DAT", -1, "second"));
  platform::SetClock(nullptr);
  EXPECT_EQ(Bytes("DBACCESS.ERR"),
            "Record Access Error 9:5:7 3/4/2026first File: SZAMLA.DAT Record: 12 Station:TEST_1\r\n"
            "Record Access Error 9:5:7 3/4/2026second File: B.DAT Record: -1 Station:TEST_1\r\n");
}

TEST_F(ErrorsTest, AnUnwritableLogIsSkipped) {
  if (db_test::UnderWine()) GTEST_SKIP() << "Wine does not refuse root a read-only file";
  ASSERT_EQ(platform::WriteFileBytes("DBACCESS.ERR", "old\r\n"), 0);
  ASSERT_EQ(platform::SetAttributes("DBACCESS.ERR", platform::attr::kReadOnly), 0);
  EXPECT_FALSE(db::LogDbError("A.DAT", 1, "x"));
  ASSERT_EQ(platform::SetAttributes("DBACCESS.ERR", 0), 0);
  EXPECT_EQ(Bytes("DBACCESS.ERR"), "old\r\n");
}

TEST_F(ErrorsTest, IndexCheckEndsWithTheErrorsNumberAndLeavesTheKey) {
  db::DataFile f;
  f.Name = "X.IDX";
  db::State().LastIOResult = 0;
  EXPECT_EQ(EndCode([&] { db::CheckIndexIO(f, 3); }), -1);
  db::State().LastIOResult = 101;
  term.PushChar('k');
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndCode([&] { db::CheckIndexIO(f, 3); }), 101);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nRECORD-access I/O error 101 \nFile X.IDX Record 3\nProgram aborted\n");
  EXPECT_TRUE(console::KeyPressed());
  EXPECT_NE(Bytes("DBACCESS.ERR").find("Record access I/O error :101:" + db::ErrorText(101)),
            std::string::npos);
}

TEST_F(ErrorsTest, FatalMessageShowsItsTextAndEndsWithOne) {
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Hiba:REJTELMES HIBA");
        PressEnter();
      },
      1);
  EXPECT_EQ(EndCode([] { db::FatalMessage("REJTELMES HIBA"); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
}

TEST_F(ErrorsTest, GuardedOpenCreatesAMissingFileWithoutAWord) {
  db::DataFile f;
  db::OpenDataFileGuarded(f, "NEW.DAT", kRec);
  EXPECT_TRUE(db::DbOk());
  EXPECT_TRUE(f.Handle->IsOpen());
  EXPECT_EQ(Bytes("NEW.DAT").size(), static_cast<std::size_t>(kRec));
  for (int row = 1; row <= 25; ++row) EXPECT_EQ(Row(row), std::string(80, ' '));
  EXPECT_EQ(db::OpenFileCount(), 1);
}

TEST_F(ErrorsTest, GuardedOpenOfAFileHeldExclusivelyStopsWithTheBusyBox) {
  MakeFile("T.DAT", kRec, 0);
  db::SetOpenMode(db::kModeExclusive, 0);
  db::DataFile holder, f;
  ASSERT_TRUE(db::OpenDataFile(holder, "T.DAT", kRec).Ok());
  db::ResetOpenMode();
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("FOGLALT A FILE, FELDOLGOZAS NEM VEGEZHETO") && ScreenShows("T.DAT");
        PressEnter();
      },
      1);
  EXPECT_EQ(EndCode([&] { db::OpenDataFileGuarded(f, "T.DAT", kRec); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
}

// A read-only file is not busy: waiting for other stations would not help,
// so the stop names the cause.
TEST_F(ErrorsTest, GuardedOpenOfAReadOnlyFileStopsNamingTheCause) {
  MakeFile("T.DAT", kRec, 0);
  ASSERT_EQ(platform::SetAttributes("T.DAT", platform::attr::kReadOnly), 0);
  if (db_test::UnderWine() && platform::NewFile()->Open("T.DAT", platform::share::kReadWriteDenyNone) == 0) {
    (void)platform::SetAttributes("T.DAT", 0);
    GTEST_SKIP() << "Wine run by root opens a read-only file for writing (the host's permissions decide)";
  }
  db::DataFile f;
  std::string screen;
  ui::SetIdle(
      [&] {
        for (int row = 1; row <= 25; ++row) screen += Row(row) + "\n";
        PressEnter();
      },
      1);
  EXPECT_EQ(EndCode([&] { db::OpenDataFileGuarded(f, "T.DAT", kRec); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_NE(screen.find("A FILE CSAK OLVASHATO (IRASVEDETT)"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("FOGLALT"), std::string::npos) << screen;
  ASSERT_EQ(platform::SetAttributes("T.DAT", 0), 0);  // the folder can go
}

TEST_F(ErrorsTest, GuardedCreateInAMissingFolderIsAMystery) {
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Hiba:REJTELMES HIBA");
        PressEnter();
      },
      1);
  db::DataFile f;
  EXPECT_EQ(EndCode([&] { db::CreateDataFileGuarded(f, "NOFOLDER\\X.DAT", kRec); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
}

}  // namespace
