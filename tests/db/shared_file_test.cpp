// The platform's shared files: sharing flags between handles, byte-range
// locks that bind every other handle, and the read-only attribute.
#include <gtest/gtest.h>

#include <cstdio>

#include "../full_disk.h"
#include "db_fixture.h"
#include "platform/errors.h"
#include "platform/file.h"

using db_test::EngineTest;
using platform::NewFile;
namespace share = platform::share;

namespace {

class SharedFileTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Put("F.DAT", std::string(100, 'f'));
  }
};

TEST_F(SharedFileTest, DenyWriteShutsOutWritersButNotReaders) {
  auto holder = NewFile(), other = NewFile();
  ASSERT_EQ(holder->Open("F.DAT", share::kReadWriteDenyWrite), 0);
  EXPECT_EQ(other->Open("F.DAT", share::kReadWriteDenyNone), platform::error::kSharingViolation);
  EXPECT_EQ(other->Open("F.DAT", share::kReadWriteDenyWrite), platform::error::kSharingViolation);
  EXPECT_EQ(other->Create("F.DAT", share::kReadWriteDenyNone), platform::error::kSharingViolation);
  EXPECT_EQ(Bytes("F.DAT").size(), 100u);  // a refused create empties nothing
  EXPECT_EQ(other->Open("F.DAT", share::kReadOnlyDenyNone), 0);
  other->Close();
  holder->Close();
  EXPECT_EQ(other->Open("F.DAT", share::kReadWriteDenyNone), 0);
}

TEST_F(SharedFileTest, DenyWriteIsRefusedWhileAnotherHandleWrites) {
  auto writer = NewFile(), reader = NewFile(), other = NewFile();
  ASSERT_EQ(writer->Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(reader->Open("F.DAT", share::kReadOnlyDenyNone), 0);
  EXPECT_EQ(other->Open("F.DAT", share::kReadWriteDenyWrite), platform::error::kSharingViolation);
  writer->Close();
  EXPECT_EQ(other->Open("F.DAT", share::kReadWriteDenyWrite), 0);  // readers may stay
}

TEST_F(SharedFileTest, LocksAreExclusiveAndNotRecursive) {
  auto a = NewFile(), b = NewFile();
  ASSERT_EQ(a->Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(b->Open("F.DAT", share::kReadOnlyDenyNone), 0);
  ASSERT_EQ(a->Lock(10, 1), 0);
  EXPECT_EQ(a->Lock(10, 1), platform::error::kLockViolation);
  EXPECT_EQ(a->Lock(5, 10), platform::error::kLockViolation);
  EXPECT_EQ(b->Lock(10, 1), platform::error::kLockViolation);
  EXPECT_EQ(b->Lock(11, 1), 0);              // a reading handle locks too
  EXPECT_EQ(a->Lock(11, 1), platform::error::kLockViolation);
  EXPECT_EQ(a->Lock(5000, 1), 0);            // beyond the end of the file
  EXPECT_TRUE(b->LockedElsewhere(10, 1));    // the look sees other handles' locks,
  EXPECT_TRUE(b->LockedElsewhere(0, 5001));
  EXPECT_FALSE(b->LockedElsewhere(12, 100));  // not where none lies,
  EXPECT_EQ(b->Lock(12, 1), 0) << "and it leaves no lock behind";
  EXPECT_EQ(b->Unlock(12, 1), 0);
  EXPECT_NE(a->Unlock(10, 2), 0);  // only the exact range unlocks
  EXPECT_NE(b->Unlock(10, 1), 0);  // and only through its holder
  EXPECT_EQ(a->Unlock(10, 1), 0);
  EXPECT_EQ(b->Lock(10, 1), 0);
  a->Close();                                // closing releases
  auto c = NewFile();
  ASSERT_EQ(c->Open("F.DAT", share::kReadWriteDenyNone), 0);
  EXPECT_EQ(c->Lock(5000, 1), 0);
}

TEST_F(SharedFileTest, LockedBytesRefuseTransfersThroughOtherHandles) {
  SKIP_UNDER_WINE_READS();
  auto a = NewFile(), b = NewFile();
  ASSERT_EQ(a->Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(b->Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(a->Lock(9, 1), 0);
  char buf[10] = {};
  std::size_t n = 99;
  EXPECT_EQ(b->ReadAt(0, buf, 10, n), platform::error::kLockViolation);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(b->WriteAt(9, "x", 1, n), platform::error::kLockViolation);
  EXPECT_EQ(b->ReadAt(0, buf, 9, n), 0);
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(a->ReadAt(0, buf, 10, n), 0);  // the holder itself reads on
  EXPECT_EQ(a->WriteAt(9, "x", 1, n), 0);
  const platform::FileCalls before = platform::FileCallCount();
  EXPECT_EQ(a->ReadAtUnguarded(0, buf, 10, n), 0);  // the holder vouches: no look
  EXPECT_EQ(a->WriteAtUnguarded(9, "y", 1, n), 0);
  EXPECT_EQ(platform::FileCallCount().LockTests, before.LockTests);
  EXPECT_EQ(Bytes("F.DAT").substr(8, 2), "fy");
}

TEST_F(SharedFileTest, ReadOnlyHandlesRefuseWritesAndShortReadsAreCounted) {
  auto r = NewFile();
  ASSERT_EQ(r->Open("F.DAT", share::kReadOnlyDenyNone), 0);
  std::size_t n = 0;
  EXPECT_EQ(r->WriteAt(0, "x", 1, n), 5);
  char buf[20];
  EXPECT_EQ(r->ReadAt(90, buf, 20, n), 0);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(r->ReadAt(500, buf, 20, n), 0);
  EXPECT_EQ(n, 0u);
  std::int64_t size = 0;
  EXPECT_EQ(r->Size(size), 0);
  EXPECT_EQ(size, 100);
  EXPECT_EQ(NewFile()->Open("NONE.DAT", share::kReadOnlyDenyNone), 2);
}

TEST_F(SharedFileTest, ReadOnlyFilesAreNotWrittenWhoeverAsks) {
  if (db_test::UnderWine()) GTEST_SKIP() << "Wine does not refuse root a read-only file";
  ASSERT_EQ(platform::SetAttributes("F.DAT", platform::attr::kReadOnly), 0);
  auto f = NewFile();
  EXPECT_EQ(f->Open("F.DAT", share::kReadWriteDenyNone), 5);
  EXPECT_EQ(f->Create("F.DAT", share::kReadWriteDenyNone), 5);
  EXPECT_EQ(f->Open("F.DAT", share::kReadOnlyDenyNone), 0);
  f->Close();
  ASSERT_EQ(platform::SetAttributes("F.DAT", 0), 0);
  EXPECT_EQ(Bytes("F.DAT").size(), 100u);
}

// ---- The sharing table -----------------------------------------------------------
// What a file held open by another handle lets the operations on its name
// do, as Windows decides: no handle shares deletion, so erasing and renaming
// it are refused, and a rename onto it too; creating and copying over it
// follow the two handles' sharing. A refused operation leaves every file as
// it was.

enum class Op { kCreateOver, kErase, kRenameFrom, kRenameOnto, kCopyOver, kWriteBytesOver };

struct SharingCase {
  Op Operation;
  const char* Name;
  int DenyWrite, DenyNone, ReadOnlyDenyNone;  // the result against each holder
};

constexpr int kOk = platform::error::kNone, kShared = platform::error::kSharingViolation;
constexpr int kDenied = platform::error::kAccessDenied;
constexpr int kHolders[] = {share::kReadWriteDenyWrite, share::kReadWriteDenyNone,
                            share::kReadOnlyDenyNone};
constexpr SharingCase kSharingTable[] = {
    {Op::kCreateOver, "create over (0x42)", kShared, kOk, kOk},
    {Op::kErase, "erase", kShared, kShared, kShared},
    {Op::kRenameFrom, "rename from", kShared, kShared, kShared},
    {Op::kRenameOnto, "rename onto", kDenied, kDenied, kDenied},
    {Op::kCopyOver, "copy over", kShared, kShared, kOk},
    {Op::kWriteBytesOver, "WriteFileBytes over", kShared, kShared, kOk},
};

// Each guard puts back the maker it replaced: an inner full disk ends and
// the outer one counts again; when that ends too, the system's file writes.
TEST_F(SharedFileTest, AFileMakerGuardPutsBackTheMakerItReplaced) {
  {
    test_support::FullDisk outer(5);
    {
      test_support::FullDisk inner(0);
      EXPECT_EQ(platform::WriteFileBytes("A.DAT", "abc"), platform::error::kDiskFull);
    }
    EXPECT_EQ(platform::WriteFileBytes("A.DAT", "abc"), 0);
    EXPECT_EQ(platform::WriteFileBytes("A.DAT", "abc"), platform::error::kDiskFull);  // 2 left
    EXPECT_EQ(Bytes("A.DAT"), "ab");
  }
  EXPECT_EQ(platform::WriteFileBytes("A.DAT", "abcdef"), 0);
  EXPECT_EQ(Bytes("A.DAT"), "abcdef");
}

class SharingTableTest : public SharedFileTest {
 protected:
  void SetUp() override {
    SharedFileTest::SetUp();
    Put("N.DAT", "new");
  }

  static int Run(Op op) {
    switch (op) {
      case Op::kCreateOver: return NewFile()->Create("F.DAT", share::kReadWriteDenyNone);
      case Op::kErase: return platform::EraseFile("F.DAT");
      case Op::kRenameFrom: return platform::RenameFile("F.DAT", "G.DAT");
      case Op::kRenameOnto: return platform::RenameFile("N.DAT", "F.DAT");
      case Op::kCopyOver: return platform::CopyFileTo("N.DAT", "F.DAT", false);
      case Op::kWriteBytesOver: return platform::WriteFileBytes("F.DAT", "new");
    }
    return -1;
  }

  // The files as a refused operation leaves them.
  void ExpectUntouched() {
    EXPECT_EQ(Bytes("F.DAT"), std::string(100, 'f'));
    EXPECT_EQ(Bytes("N.DAT"), "new");
    EXPECT_FALSE(platform::FileExists("G.DAT"));
  }

  // The file as a granted operation leaves it; then as it was.
  void ExpectReplacedAndReset(Op op) {
    EXPECT_EQ(Bytes("F.DAT"), op == Op::kCreateOver ? "" : "new");
    Put("F.DAT", std::string(100, 'f'));
  }
};

TEST_F(SharingTableTest, AHeldFileIsChangedOnlyAsItsHolderShares) {
  for (const SharingCase& c : kSharingTable) {
    const int expected[] = {c.DenyWrite, c.DenyNone, c.ReadOnlyDenyNone};
    for (int h = 0; h < 3; ++h) {
      char what[64];
      std::snprintf(what, sizeof what, "%s against a holder 0x%02X", c.Name, kHolders[h]);
      SCOPED_TRACE(what);
      auto holder = NewFile();
      ASSERT_EQ(holder->Open("F.DAT", kHolders[h]), 0);
      EXPECT_EQ(Run(c.Operation), expected[h]);
      holder->Close();
      if (expected[h] == kOk) ExpectReplacedAndReset(c.Operation);
      else ExpectUntouched();
    }
  }
}

}  // namespace
