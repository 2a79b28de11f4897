// Data files within one process: layout, the free chain, the open modes,
// the table of open files and the faults that end the program.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>

#include "../full_disk.h"
#include "db_fixture.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/file.h"

using namespace platform::literals;
using db_test::EngineTest;
using db_test::Image;
using db_test::Int32At;

namespace {

constexpr int kRec = 40;

class DataFileTest : public EngineTest {
 protected:
  void OpenShared(db::DataFile& f, const std::string& name = "T.DAT") {
    EXPECT_TRUE(db::OpenDataFile(f, name, kRec).Ok());
    ASSERT_TRUE(db::DbOk()) << db::LastIOResult();
  }
  std::int32_t Append(db::DataFile& f, std::uint8_t fill) {
    std::int32_t n = -1;
    auto image = Image(kRec, fill);
    db::AppendRecord(f, n, image.data());
    return n;
  }
};

TEST_F(DataFileTest, NewFileHoldsOnlyItsHeader) {
  db::DataFile f;
  ASSERT_TRUE(db::CreateDataFile(f, "T.DAT", kRec).Ok());
  std::string bytes = Bytes("T.DAT");
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(kRec));
  EXPECT_EQ(Int32At(bytes, 0), -1);  // FreeHead
  EXPECT_EQ(Int32At(bytes, 4), 0);   // FreeCount
  EXPECT_EQ(Int32At(bytes, 8), 0);   // RootPage
  EXPECT_EQ(Int32At(bytes, 12), 1);  // RecordTotal
  EXPECT_EQ(bytes[16], 0);
  EXPECT_EQ(bytes[17], 0);
  EXPECT_EQ(bytes[18], 0);
  EXPECT_EQ(db::RecordCount(f), 1);
  EXPECT_EQ(db::LiveRecordCount(f), 0);
  EXPECT_EQ(db::OpenFileCount(), 1);
}

// Every field at its offset, edge values of its width included, and back.
TEST(FileHeaderTest, EncodesEveryFieldAtItsOffsetAndBack) {
  const db::FileHeader headers[] = {
      {.FreeHead = INT32_MIN, .FreeCount = INT32_MAX, .RootPage = -1, .RecordTotal = 0x12345678,
       .TxFlag = 0xFF, .ShareCount = INT16_MIN},
      {.FreeHead = INT32_MAX, .FreeCount = -1, .RootPage = INT32_MIN, .RecordTotal = -2,
       .TxFlag = 1, .ShareCount = INT16_MAX},
      {.ShareCount = -1},
  };
  for (const db::FileHeader& h : headers) {
    std::array<std::uint8_t, db::kHeaderSize + 1> bytes;
    bytes.fill(0xA5);
    h.Encode(bytes.data());
    std::string image(bytes.begin(), bytes.end());
    EXPECT_EQ(Int32At(image, 0), h.FreeHead);
    EXPECT_EQ(Int32At(image, 4), h.FreeCount);
    EXPECT_EQ(Int32At(image, 8), h.RootPage);
    EXPECT_EQ(Int32At(image, 12), h.RecordTotal);
    EXPECT_EQ(bytes[16], h.TxFlag);
    EXPECT_EQ(static_cast<std::int16_t>(bytes[17] | bytes[18] << 8), h.ShareCount);
    EXPECT_EQ(bytes[19], 0xA5);  // nothing beyond the header
    EXPECT_TRUE(db::FileHeader::Decode(bytes.data()) == h);
  }
  std::array<std::uint8_t, db::kHeaderSize> any{}, again{};
  for (std::size_t i = 0; i < any.size(); ++i) any[i] = static_cast<std::uint8_t>(0x80 + 13 * i);
  db::FileHeader::Decode(any.data()).Encode(again.data());
  EXPECT_EQ(again, any);  // every byte kept
}

TEST_F(DataFileTest, FreedRecordsAreReusedLastFreedFirst) {
  MakeFile("T.DAT", kRec, 3);
  db::DataFile f;
  OpenShared(f);
  db::FreeRecord(f, 2);
  db::FreeRecord(f, 3);
  std::string bytes = Bytes("T.DAT");
  EXPECT_EQ(Int32At(bytes, 0), 3);
  EXPECT_EQ(Int32At(bytes, 4), 2);
  EXPECT_EQ(Int32At(bytes, 3 * kRec), 2);   // record 3 links to 2
  EXPECT_EQ(bytes[3 * kRec + 4], 0);        // and is free
  EXPECT_EQ(Int32At(bytes, 2 * kRec), -1);  // record 2 ends the chain
  EXPECT_EQ(db::LiveRecordCount(f), 1);

  EXPECT_EQ(Append(f, 'x'), 3);
  EXPECT_EQ(Int32At(Bytes("T.DAT"), 4), 1);
  EXPECT_EQ(Append(f, 'y'), 2);
  EXPECT_EQ(Append(f, 'z'), 4);  // chain empty: appended
  bytes = Bytes("T.DAT");
  EXPECT_EQ(bytes.size(), 5u * kRec);
  EXPECT_EQ(Int32At(bytes, 0), -1);
  EXPECT_EQ(Int32At(bytes, 4), 0);
  EXPECT_EQ(Int32At(bytes, 12), 5);
  EXPECT_EQ(bytes[2 * kRec + 10], 'y');
}

TEST_F(DataFileTest, FreeRecordWithKeepsTheCallersBytes) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  OpenShared(f);
  auto image = Image(kRec, 'q');
  db::FreeRecordWith(f, 1, image.data());
  std::string record = Bytes("T.DAT").substr(kRec, kRec);
  EXPECT_EQ(Int32At(record, 0), -1);
  EXPECT_EQ(record[4], 0);
  EXPECT_EQ(record.substr(5), std::string(kRec - 5, 'q'));
}

TEST_F(DataFileTest, TwoStationsOnOneFileNeverHandOutOneNumberTwice) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile a, b;
  OpenShared(a);
  OpenShared(b);
  EXPECT_EQ(Append(a, 'a'), 1);
  EXPECT_EQ(Append(b, 'b'), 2);  // b's cached length follows the header
  EXPECT_EQ(Append(a, 'a'), 3);
  db::FreeRecord(b, 1);
  EXPECT_EQ(Append(a, 'c'), 1);
  EXPECT_EQ(db::RecordCount(b), 4);
  EXPECT_EQ(db::LiveRecordCount(b), 3);
}

TEST_F(DataFileTest, SizeComesFromTheOpenFileWhateverTheNameCase) {
  MakeFile("small.dat", kRec, 2);
  db::DataFile f;
  OpenShared(f, "small.dat");
  EXPECT_EQ(f.CachedLength, 3);
  EXPECT_EQ(Append(f, 'n'), 3);
  EXPECT_EQ(Int32At(Bytes("small.dat"), 12), 4);  // the header survived
}

TEST_F(DataFileTest, LengthNotAMultipleOfTheRecordStopsWithTheMessage) {
  MakeFile("T.DAT", kRec, 1);
  Put("T.DAT", Bytes("T.DAT") + "xyz");
  PressEnter();
  db::DataFile f;
  EXPECT_EQ(EndCode([&] { (void)db::OpenDataFile(f, "T.DAT", kRec); }), 1);
  EXPECT_FALSE(f.Handle->IsOpen());
  EXPECT_EQ(db::OpenFileCount(), 0);
}

TEST_F(DataFileTest, RecordLengthMessageNamesSizeAndRecord) {
  Put("T.DAT", std::string(1234567, '\0'));
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Hibás rekordhossz a(z) T.DAT állománynál!"_cp) &&
                ScreenShows("Fileméret  :   1.234.567"_cp) &&
                ScreenShows("Rekordméret:   40  Nem osztható!"_cp);
        PressEnter();
      },
      1);
  db::DataFile f;
  EXPECT_EQ(EndCode([&] { (void)db::OpenDataFile(f, "T.DAT", kRec); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
}

TEST_F(DataFileTest, RecordLengthsOutsideTheBufferAreRefused) {
  MakeFile("T.DAT", kRec, 0);
  db::DataFile f;
  EXPECT_FALSE(db::OpenDataFile(f, "T.DAT", 18).Ok());
  EXPECT_FALSE(db::OpenDataFile(f, "T.DAT", db::kMaxRecLen + 1).Ok());
  EXPECT_FALSE(db::CreateDataFile(f, "U.DAT", db::kMaxRecLen + 1).Ok());
  EXPECT_FALSE(Exists("U.DAT"));
  ASSERT_EQ(db::LastIOResult(), db::kBadRecLen);
  EXPECT_EQ(db::ErrorText(db::LastIOResult()), "Hibás rekordhossz"_cp);
}

TEST_F(DataFileTest, MissingFileFailsQuietlyWithItsCode) {
  db::DataFile f;
  EXPECT_FALSE(db::OpenDataFile(f, "NONE.DAT", kRec).Ok());
  EXPECT_EQ(db::LastIOResult(), 2);
  EXPECT_TRUE(db::OpenOrCreateDataFile(f, "NONE.DAT", kRec).Ok());
  EXPECT_EQ(Bytes("NONE.DAT").size(), static_cast<std::size_t>(kRec));
}

TEST_F(DataFileTest, ReadOnlyModeRefusesChangesWithTheMessage) {
  MakeFile("T.DAT", kRec, 2);
  std::string before = Bytes("T.DAT");
  db::SetOpenMode(db::kModeReadOnly, 0);
  db::DataFile f;
  OpenShared(f);
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Illegális file müvelet!"_cp) && ScreenShows("T.DAT");
        PressEnter();
      },
      1);
  std::int32_t n = -1;
  auto image = Image(kRec, 'r');
  db::AppendRecord(f, n, image.data());
  EXPECT_TRUE(shown);
  shown = false;
  db::FreeRecord(f, 1);
  EXPECT_TRUE(shown);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(db::CloseDataFile(f).Ok());
  EXPECT_EQ(Bytes("T.DAT"), before);
}

TEST_F(DataFileTest, ExclusiveModeKeepsTheHeaderUntilCloseAndRefusesSharers) {
  MakeFile("T.DAT", kRec, 1);
  db::SetOpenMode(db::kModeExclusive, 0);
  db::DataFile f;
  OpenShared(f);
  EXPECT_EQ(f.OpenMode, db::kModeExclusive);
  EXPECT_EQ(Append(f, 'e'), 2);
  EXPECT_EQ(Int32At(Bytes("T.DAT"), 12), 2);  // header not yet written

  db::ResetOpenMode();
  db::DataFile other;
  EXPECT_FALSE(db::OpenDataFile(other, "T.DAT", kRec).Ok());
  EXPECT_EQ(db::LastIOResult(), 5);
  db::SetOpenMode(db::kModeReadOnly, 0);
  EXPECT_TRUE(db::OpenDataFile(other, "T.DAT", kRec).Ok());  // readers are let in
  EXPECT_TRUE(db::CloseDataFile(other).Ok());

  EXPECT_TRUE(db::CloseDataFile(f).Ok());
  EXPECT_EQ(Int32At(Bytes("T.DAT"), 12), 3);
}

TEST_F(DataFileTest, PrivateModeWorksOnAFreshCopyNamedForTheStation) {
  MakeFile("SZAMLAK.DAT", kRec, 2);
  std::string original = Bytes("SZAMLAK.DAT");
  db::SetOpenMode(db::kModePrivate, 0);
  db::DataFile f;
  OpenShared(f, "SZAMLAK.DAT");
  EXPECT_TRUE(Exists("SZAMLATEST_1.DAT"));
  EXPECT_EQ(db::RecordCount(f), 1);  // created empty
  EXPECT_EQ(Append(f, 'p'), 1);
  EXPECT_TRUE(db::CloseDataFile(f).Ok());
  EXPECT_FALSE(Exists("SZAMLATEST_1.DAT"));
  EXPECT_EQ(Bytes("SZAMLAK.DAT"), original);
}

TEST_F(DataFileTest, EmptyDataFileStartsOverInTheSameModeAndGroup) {
  MakeFile("T.DAT", kRec, 3);
  db::SetOpenMode(db::kModeShared, 1);
  db::DataFile f;
  OpenShared(f);
  db::ResetOpenMode();
  ASSERT_TRUE(db::EmptyDataFile(f).Ok());
  EXPECT_EQ(db::RecordCount(f), 1);
  EXPECT_EQ(Bytes("T.DAT").size(), static_cast<std::size_t>(kRec));
  EXPECT_EQ(db::State().OpenFileTable[f.TableSlot].group, 1);
  EXPECT_EQ(db::State().OpenMode, 0);
}

TEST_F(DataFileTest, LockingReadHoldsInUseRecordsAndReleasesFreeOnes) {
  MakeFile("T.DAT", kRec, 2);
  db::DataFile f;
  OpenShared(f);
  db::FreeRecord(f, 2);
  std::unique_ptr<platform::File> probe = platform::NewFile();
  ASSERT_EQ(probe->Open("T.DAT", platform::share::kReadWriteDenyNone), 0);
  std::vector<std::uint8_t> buf(kRec);

  db::ReadRecord(f, 1, buf.data());
  EXPECT_TRUE(db::RecordInUse());
  EXPECT_EQ(probe->Lock(2 * kRec - 1, 1), platform::error::kLockViolation);
  db::ReadRecord(f, 1, buf.data());  // a second locking read of a held record
  db::WriteRecord(f, 1, buf.data());
  EXPECT_EQ(probe->Lock(2 * kRec - 1, 1), 0);
  EXPECT_EQ(probe->Unlock(2 * kRec - 1, 1), 0);

  db::ReadRecord(f, 2, buf.data());
  EXPECT_FALSE(db::RecordInUse());
  EXPECT_TRUE(db::RecordIsFree(buf.data()));
  EXPECT_EQ(probe->Lock(3 * kRec - 1, 1), 0);
}

TEST_F(DataFileTest, NoLockModeTakesNoRecordLock) {
  MakeFile("T.DAT", kRec, 1);
  db::SetOpenMode(db::kModeNoLocks, 0);
  db::DataFile f;
  OpenShared(f);
  std::vector<std::uint8_t> buf(kRec);
  db::ReadRecord(f, 1, buf.data());
  EXPECT_TRUE(f.Held.empty());
}

TEST_F(DataFileTest, PeekOfARecordLockedElsewhereReadsAllButItsLastByte) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  OpenShared(f);
  std::unique_ptr<platform::File> other = platform::NewFile();
  ASSERT_EQ(other->Open("T.DAT", platform::share::kReadWriteDenyNone), 0);
  ASSERT_EQ(other->Lock(2 * kRec - 1, 1), 0);
  std::vector<std::uint8_t> buf(kRec, '#');
  db::PeekRecord(f, 1, buf.data());
  EXPECT_EQ(db::LastIOResult(), 0);
  EXPECT_TRUE(db::RecordInUse());
  EXPECT_EQ(buf[5], 'a');
  EXPECT_EQ(buf[kRec - 2], 'a');
  EXPECT_EQ(buf[kRec - 1], '#');
  EXPECT_TRUE(f.Held.empty());
}

TEST_F(DataFileTest, RecordLockedElsewhereSeesOnlyOtherHandlesLocks) {
  MakeFile("T.DAT", kRec, 2);
  db::DataFile f;
  OpenShared(f);
  std::unique_ptr<platform::File> other = platform::NewFile();
  ASSERT_EQ(other->Open("T.DAT", platform::share::kReadWriteDenyNone), 0);
  ASSERT_EQ(other->Lock(2 * kRec - 1, 1), 0);
  EXPECT_TRUE(db::RecordLockedElsewhere(f, 1));
  EXPECT_FALSE(db::RecordLockedElsewhere(f, 2));
  EXPECT_FALSE(db::RecordLockedElsewhere(f, -1));
  std::vector<std::uint8_t> buf(kRec);
  db::ReadRecord(f, 2, buf.data());  // held by f itself
  EXPECT_FALSE(db::RecordLockedElsewhere(f, 2));
}

TEST_F(DataFileTest, SequentialReadGoesOnPastALockedRecord) {
  SKIP_UNDER_WINE_READS();
  MakeFile("T.DAT", kRec, 3);
  db::DataFile f;
  OpenShared(f);
  std::unique_ptr<platform::File> other = platform::NewFile();
  ASSERT_EQ(other->Open("T.DAT", platform::share::kReadWriteDenyNone), 0);
  ASSERT_EQ(other->Lock(3 * kRec - 1, 1), 0);  // record 2
  std::vector<std::uint8_t> buf(kRec);
  f.Position = kRec;
  db::SequentialRead(f, buf.data());
  EXPECT_EQ(buf[kRec - 1], 'a');
  db::SequentialRead(f, buf.data());
  EXPECT_EQ(buf[5], 'b');
  EXPECT_EQ(buf[kRec - 1], 0);
  db::SequentialRead(f, buf.data());
  EXPECT_EQ(buf[kRec - 1], 'c');
  EXPECT_EQ(f.Position, 4 * kRec);
}

TEST_F(DataFileTest, ReadPastTheEndIsLoggedReportedAndEndsWithItsCode) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  OpenShared(f);
  std::vector<std::uint8_t> buf(kRec);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  int code = EndCode([&] { db::ReadRecord(f, 5, buf.data()); });
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 100);
  EXPECT_EQ(out, "\nRECORD-access I/O error 100 \nFile T.DAT Record 5\nProgram aborted\n");
  std::string log = Bytes("DBACCESS.ERR");
  EXPECT_NE(log.find("Record access I/O error :100:" + db::ErrorText(100)), std::string::npos);
  EXPECT_NE(log.find(" File: T.DAT Record: 5 Station:TEST_1\r\n"), std::string::npos);
  EXPECT_FALSE(console::KeyPressed());  // the key was taken
}

TEST_F(DataFileTest, AnAppendOnAFullDiskIsAWriteErrorAndAddsNoRecord) {
  MakeFile("T.DAT", kRec, 2);
  test_support::FullDisk disk(SIZE_MAX);
  db::DataFile f;
  OpenShared(f);
  disk.SetRoom(kRec / 2);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndCode([&] { Append(f, 'z'); }), db::kWriteError);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(Bytes("T.DAT").size(), static_cast<std::size_t>(3 * kRec));  // not grown at all
}

// The file grows by its new size before the record is written: where the
// size is taken but the write is not (a disk that filled meanwhile, or a
// station stopped between the two), a whole free record stays, never a part.
TEST_F(DataFileTest, AnAppendWhoseWriteFailsLeavesAWholeFreeRecord) {
  MakeFile("T.DAT", kRec, 2);
  test_support::FullDisk disk(SIZE_MAX);
  db::DataFile f;
  OpenShared(f);
  disk.SetRoom(2 * kRec);  // the growth and the header fit, the record does not
  term.PushChar('x');
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndCode([&] { Append(f, 'z'); }), db::kWriteError);
  testing::internal::GetCapturedStdout();
  std::string bytes = Bytes("T.DAT");
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(4 * kRec));
  EXPECT_EQ(bytes[3 * kRec + 4], 0);  // record 3: free
}

// A disk that fails a read ends the program through the fatal path with the
// system's error number, which the report names (the log cannot be written
// on that disk).
TEST_F(DataFileTest, AFailingDiskEndsTheProgramWithItsErrorNumber) {
  MakeFile("T.DAT", kRec, 2);
  test_support::FullDisk disk(SIZE_MAX);
  db::DataFile f;
  OpenShared(f);
  disk.FailWith(platform::error::kGeneralFailure);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndCode([&] { db::PeekRecord(f, 1, db::RecordBuffer()); }),
            platform::error::kGeneralFailure);
  std::string report = testing::internal::GetCapturedStdout();
  EXPECT_NE(report.find("I/O error 31"), std::string::npos) << report;
}

// A close never ends the program (it may run while an end is on its way
// out): a header that cannot be written back is the close's result, and the
// file is closed all the same. The caller that cannot go on ends through
// EndOnFailure, with the report and the number of the fatal checks.
TEST_F(DataFileTest, AFailedCloseIsItsResultAndTheCallerMayEndWithIt) {
  MakeFile("T.DAT", kRec, 2);
  test_support::FullDisk disk(SIZE_MAX);
  db::DataFile f;
  OpenShared(f);
  ASSERT_TRUE(db::LockWholeFile(f));  // a marker the close must write back
  disk.FailWith(platform::error::kGeneralFailure);
  db::Result closed = db::CloseDataFile(f);
  EXPECT_EQ(closed.Code, platform::error::kGeneralFailure);
  EXPECT_EQ(closed.File, "T.DAT");
  EXPECT_FALSE(f.Handle->IsOpen());
  EXPECT_EQ(db::OpenFileCount(), 0);
  EXPECT_FALSE(db::DbOk());
  EXPECT_EQ(db::LastIOResult(), platform::error::kGeneralFailure);

  EXPECT_EQ(EndCode([] { db::EndOnFailure({}); }), -1);  // a done result ends nothing
  term.PushChar('x');
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndCode([&] { db::EndOnFailure(closed); }), platform::error::kGeneralFailure);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nRECORD-access I/O error 31 \nFile T.DAT Record 0\nProgram aborted\n");
}

TEST_F(DataFileTest, DamagedHeaderStopsTheOpenThroughTheErrorPath) {
  MakeFile("T.DAT", kRec, 2);
  std::string bytes = Bytes("T.DAT");
  bytes[0] = 9;  // FreeHead 9 in a file of 3 records
  bytes[1] = bytes[2] = bytes[3] = 0;
  bytes[4] = 1;
  Put("T.DAT", bytes);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  db::DataFile f;
  EXPECT_EQ(EndCode([&] { (void)db::OpenDataFile(f, "T.DAT", kRec); }), db::kDamagedData);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(Bytes("DBACCESS.ERR").find("Record access I/O error :154:"), std::string::npos);
}

TEST_F(DataFileTest, FreeLinkOutsideTheFileStopsTheAllocation) {
  MakeFile("T.DAT", kRec, 2);
  db::DataFile f;
  OpenShared(f);
  db::FreeRecord(f, 2);
  EXPECT_TRUE(db::CloseDataFile(f).Ok());
  std::string bytes = Bytes("T.DAT");
  bytes[2 * kRec] = 77;  // record 2's link
  Put("T.DAT", bytes);
  OpenShared(f);
  term.PushChar('x');
  testing::internal::CaptureStdout();
  std::int32_t n = 0;
  EXPECT_EQ(EndCode([&] { db::AllocRecord(f, n); }), db::kDamagedData);
  testing::internal::GetCapturedStdout();
}

TEST_F(DataFileTest, The201stOpenFileIsTooMany) {
  MakeFile("T.DAT", kRec, 0);
  std::vector<std::unique_ptr<db::DataFile>> files;
  for (int i = 0; i < db::kTableSlots; ++i) {
    files.push_back(std::make_unique<db::DataFile>());
    OpenShared(*files.back());
  }
  EXPECT_EQ(db::OpenFileCount(), 200);
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Túl sok file!"_cp);
        PressEnter();
      },
      1);
  db::DataFile extra;
  OpenShared(extra);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
  EXPECT_EQ(extra.TableSlot, 0);
  EXPECT_EQ(db::State().TableHigh, 200);
  EXPECT_EQ(db::OpenFileCount(), 200);

  EXPECT_TRUE(db::CloseDataFile(*files[10]).Ok());  // slot 11 becomes free and is reused
  db::DataFile again;
  OpenShared(again);
  EXPECT_EQ(again.TableSlot, 11);
  EXPECT_TRUE(db::CloseDataFile(extra).Ok());
  EXPECT_TRUE(db::CloseAllFiles().Ok());
  EXPECT_EQ(db::OpenFileCount(), 0);
  EXPECT_FALSE(files[0]->Handle->IsOpen());
  EXPECT_FALSE(again.Handle->IsOpen());
}

TEST_F(DataFileTest, ReopenFileDropsTheLocksItHeld) {
  MakeFile("T.DAT", kRec, 1);
  db::DataFile f;
  OpenShared(f);
  std::vector<std::uint8_t> buf(kRec);
  db::ReadRecord(f, 1, buf.data());
  db::ReopenFile(f);
  EXPECT_TRUE(f.Handle->IsOpen());
  std::unique_ptr<platform::File> probe = platform::NewFile();
  ASSERT_EQ(probe->Open("T.DAT", platform::share::kReadWriteDenyNone), 0);
  EXPECT_EQ(probe->Lock(2 * kRec - 1, 1), 0);
}

}  // namespace
