// Whole-file locks, shared use, groups, the switches and stale markers,
// with two handles of one process standing for two stations.
#include <gtest/gtest.h>

#include "db/internal.h"
#include "db_fixture.h"
#include "platform/codepage.h"
#include "platform/file.h"

using namespace platform::literals;
using db_test::EngineTest;
using db_test::Int32At;

namespace {

constexpr int kRec = 30;

class LockingTest : public EngineTest {
 protected:
  void Open(db::DataFile& f, const std::string& name = "T.DAT") {
    ASSERT_TRUE(db::OpenDataFile(f, name, kRec).Ok());
  }
  int TxFlagOnDisk(const std::string& name = "T.DAT") { return Bytes(name)[16]; }
  int ShareCountOnDisk(const std::string& name = "T.DAT") {
    std::string b = Bytes(name);
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(b[17]) | (static_cast<std::uint8_t>(b[18]) << 8));
  }
};

TEST_F(LockingTest, NestedWholeFileLocksNeedAsManyUnlocks) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  Open(f);
  ASSERT_TRUE(db::LockWholeFile(f));
  ASSERT_TRUE(db::LockWholeFile(f));
  EXPECT_EQ(TxFlagOnDisk(), 1);
  db::UnlockWholeFile(f);
  EXPECT_EQ(TxFlagOnDisk(), 1);
  db::UnlockWholeFile(f);
  EXPECT_EQ(TxFlagOnDisk(), 0);
  EXPECT_EQ(f.LockDepth, 0);
}

TEST_F(LockingTest, WholeFileLockOfASharedFileIsTakenAsGranted) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  Open(f);
  ASSERT_TRUE(db::ShareFile(f));
  EXPECT_EQ(ShareCountOnDisk(), 1);
  EXPECT_TRUE(db::LockWholeFile(f));
  EXPECT_EQ(TxFlagOnDisk(), 0);
  EXPECT_EQ(f.LockDepth, 0);
  db::UnlockWholeFile(f);  // nothing to undo: the share stays
  EXPECT_EQ(f.ShareDepth, 1);
  db::UnshareFile(f);
  EXPECT_EQ(ShareCountOnDisk(), 0);
}

TEST_F(LockingTest, UnbalancedUnlockShowsTheProgrammersMessage) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile f;
  Open(f);
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("A programozó elrontotta"_cp) &&
                ScreenShows("a tranzakció kezelést"_cp) &&
                ScreenShows("Értesítse (kíméletesen)!"_cp);
        PressEnter();
      },
      1);
  db::UnlockWholeFile(f);
  EXPECT_TRUE(shown);
  EXPECT_EQ(f.LockDepth, 0);
  shown = false;
  db::UnshareFile(f);
  EXPECT_TRUE(shown);
  EXPECT_EQ(f.ShareDepth, 0);
  ui::SetIdle(nullptr, 0);
}

TEST_F(LockingTest, EscGivesUpTheWaitForAFileInSharedUse) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile user, locker;
  Open(user);
  Open(locker);
  ASSERT_TRUE(db::ShareFile(user));
  PressEsc();
  EXPECT_FALSE(db::LockWholeFile(locker));
  EXPECT_EQ(locker.LockDepth, 0);
  EXPECT_EQ(TxFlagOnDisk(), 0);
  EXPECT_EQ(ShareCountOnDisk(), 1);
  EXPECT_TRUE(locker.Held.empty());  // the header's lock is not kept
  EXPECT_EQ(Row(13).substr(29, 30), std::string(30, ' '));  // the box is gone
}

TEST_F(LockingTest, EscGivesUpTheWaitForShareDuringATransaction) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile locker, user;
  Open(locker);
  Open(user);
  ASSERT_TRUE(db::LockWholeFile(locker));
  PressEsc();
  EXPECT_FALSE(db::ShareFile(user));
  EXPECT_EQ(ShareCountOnDisk(), 0);
  EXPECT_EQ(user.ShareDepth, 0);
  PressEsc();
  EXPECT_FALSE(db::LockWholeFile(user));
  db::UnlockWholeFile(locker);
  EXPECT_TRUE(db::ShareFile(user));
}

TEST_F(LockingTest, ClosingClearsOnlyThisStationsMarkers) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile a, b;
  Open(a);
  Open(b);
  ASSERT_TRUE(db::ShareFile(a));
  ASSERT_TRUE(db::ShareFile(b));
  ASSERT_TRUE(db::ShareFile(b));  // nested: counted once
  EXPECT_EQ(ShareCountOnDisk(), 2);
  EXPECT_TRUE(db::CloseDataFile(b).Ok());
  EXPECT_EQ(ShareCountOnDisk(), 1);
  EXPECT_TRUE(db::CloseDataFile(a).Ok());
  EXPECT_EQ(ShareCountOnDisk(), 0);

  db::DataFile c;
  Open(c);
  ASSERT_TRUE(db::LockWholeFile(c));
  EXPECT_TRUE(db::CloseDataFile(c).Ok());
  EXPECT_EQ(TxFlagOnDisk(), 0);
}

TEST_F(LockingTest, WholeFileLockSkipsRecordLocksOfItsHolder) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  Open(f);
  ASSERT_TRUE(db::LockWholeFile(f));
  std::vector<std::uint8_t> buf(kRec);
  db::ReadRecord(f, 1, buf.data());
  EXPECT_TRUE(f.Held.empty());
  db::UnlockWholeFile(f);
}

TEST_F(LockingTest, LockGroupRefusedAtTheThirdFileReleasesTheFirstTwo) {
  for (const char* name : {"A.DAT", "B.DAT", "C.DAT"}) MakeFile(name, kRec, 0);
  db::DataFile a, b, c, other;
  Open(a, "A.DAT");
  Open(b, "B.DAT");
  Open(c, "C.DAT");
  Open(other, "C.DAT");
  for (db::DataFile* f : {&a, &b, &c}) db::SetFileGroup(*f, 1);
  ASSERT_TRUE(db::LockWholeFile(other));  // another station's transaction on C
  PressEsc();
  EXPECT_FALSE(db::LockGroup());
  EXPECT_EQ(TxFlagOnDisk("A.DAT"), 0);
  EXPECT_EQ(TxFlagOnDisk("B.DAT"), 0);
  EXPECT_EQ(a.LockDepth + b.LockDepth + c.LockDepth, 0);

  db::UnlockWholeFile(other);
  EXPECT_TRUE(db::LockGroup());
  EXPECT_EQ(TxFlagOnDisk("A.DAT") + TxFlagOnDisk("B.DAT") + TxFlagOnDisk("C.DAT"), 3);
  db::UnlockGroup();
  EXPECT_EQ(TxFlagOnDisk("A.DAT") + TxFlagOnDisk("B.DAT") + TxFlagOnDisk("C.DAT"), 0);
  db::ClearFileGroups();
  EXPECT_TRUE(db::LockGroup());  // no group: nothing to lock
  EXPECT_EQ(a.LockDepth, 0);
}

TEST_F(LockingTest, SuspendedLockingResumesOnlyAtTheOuterLevel) {
  {
    db::internal::LockingSwitch outer(false);
    {
      db::internal::LockingSwitch inner(false);
      EXPECT_EQ(db::State().SuspendDepth, 2);
    }
    EXPECT_FALSE(db::LockingOn());
  }
  EXPECT_TRUE(db::LockingOn());
  EXPECT_EQ(db::State().SuspendDepth, 0);
  db::SetLocking(false);
  EXPECT_EQ(db::State().SuspendDepth, 1);
  {
    db::internal::LockingSwitch on(true);
    EXPECT_TRUE(db::LockingOn());
  }
  EXPECT_FALSE(db::LockingOn());  // put back, depth included
  EXPECT_EQ(db::State().SuspendDepth, 1);
  db::SetLocking(true);
  EXPECT_TRUE(db::LockingOn());
}

TEST_F(LockingTest, OpenModeSavesOneLevel) {
  db::SetOpenMode(db::kModeExclusive, 5);
  db::SetOpenMode(db::kModeReadOnly, 7);
  db::RestoreOpenMode();
  EXPECT_EQ(db::State().OpenMode, db::kModeExclusive);
  EXPECT_EQ(db::State().FileGroup, 5);
  db::ResetOpenMode();
  EXPECT_EQ(db::State().OpenMode, 0);
  EXPECT_EQ(db::State().FileGroup, 0);
}

TEST_F(LockingTest, StaleMarkersAreReportedAndReset) {
  for (const char* name : {"SZAMLA.DAT", "TETEL.DAT", "TETELX.DAT", "NAPLO.DAT"}) MakeFile(name, kRec, 1);
  for (const char* name : {"SZAMLA.DAT", "TETEL.DAT", "TETELX.DAT"}) {
    std::string b = Bytes(name);
    b[16] = 1;
    b[17] = 2;
    Put(name, b);
  }
  std::string untouched = Bytes("TETELX.DAT");
  console::SetWindow(1, 1, 80, 25);
  console::GotoXY(1, 1);
  EXPECT_EQ(db::ClearStaleMarkers("*.DAT", "X", "SZAMLA.DAT TETEL.DAT tetelx.dat NAPLO.DAT"), 0);
  EXPECT_EQ(TxFlagOnDisk("SZAMLA.DAT"), 0);
  EXPECT_EQ(ShareCountOnDisk("SZAMLA.DAT"), 0);
  EXPECT_EQ(ShareCountOnDisk("TETEL.DAT"), 0);
  EXPECT_EQ(Bytes("TETELX.DAT"), untouched);  // excluded
  std::string marks = std::string(" Tranzakció!"_cp) + " Lock!";
  EXPECT_TRUE(ScreenShows(". SZAMLA.DAT" + marks));
  EXPECT_TRUE(ScreenShows(". TETEL.DAT" + marks));
  EXPECT_TRUE(ScreenShows(". NAPLO.DAT "));  // listed, nothing to reset
  EXPECT_FALSE(ScreenShows("TETELX"));
  int listed = 0;
  for (int row = 1; row <= 3; ++row)
    if (Row(row).substr(0, 7) == "    " + std::to_string(row) + ". ") ++listed;
  EXPECT_EQ(listed, 3);
}

}  // namespace
