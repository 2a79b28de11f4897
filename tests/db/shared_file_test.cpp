// The platform's shared files: sharing flags between handles, byte-range
// locks that bind every other handle, and the read-only attribute.
#include <gtest/gtest.h>

#include "db_fixture.h"
#include "platform/file_handle.h"

using db_test::EngineTest;
using platform::SharedFile;
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
  SharedFile holder, other;
  ASSERT_EQ(holder.Open("F.DAT", share::kReadWriteDenyWrite), 0);
  EXPECT_EQ(other.Open("F.DAT", share::kReadWriteDenyNone), platform::kSharingViolation);
  EXPECT_EQ(other.Open("F.DAT", share::kReadWriteDenyWrite), platform::kSharingViolation);
  EXPECT_EQ(other.Create("F.DAT", share::kReadWriteDenyNone), platform::kSharingViolation);
  EXPECT_EQ(Bytes("F.DAT").size(), 100u);  // a refused create empties nothing
  EXPECT_EQ(other.Open("F.DAT", share::kReadOnlyDenyNone), 0);
  other.Close();
  holder.Close();
  EXPECT_EQ(other.Open("F.DAT", share::kReadWriteDenyNone), 0);
}

TEST_F(SharedFileTest, DenyWriteIsRefusedWhileAnotherHandleWrites) {
  SharedFile writer, reader, other;
  ASSERT_EQ(writer.Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(reader.Open("F.DAT", share::kReadOnlyDenyNone), 0);
  EXPECT_EQ(other.Open("F.DAT", share::kReadWriteDenyWrite), platform::kSharingViolation);
  writer.Close();
  EXPECT_EQ(other.Open("F.DAT", share::kReadWriteDenyWrite), 0);  // readers may stay
}

TEST_F(SharedFileTest, LocksAreExclusiveAndNotRecursive) {
  SharedFile a, b;
  ASSERT_EQ(a.Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(b.Open("F.DAT", share::kReadOnlyDenyNone), 0);
  ASSERT_EQ(a.Lock(10, 1), 0);
  EXPECT_EQ(a.Lock(10, 1), platform::kLockViolation);
  EXPECT_EQ(a.Lock(5, 10), platform::kLockViolation);
  EXPECT_EQ(b.Lock(10, 1), platform::kLockViolation);
  EXPECT_EQ(b.Lock(11, 1), 0);              // a reading handle locks too
  EXPECT_EQ(a.Lock(11, 1), platform::kLockViolation);
  EXPECT_EQ(a.Lock(5000, 1), 0);            // beyond the end of the file
  EXPECT_NE(a.Unlock(10, 2), 0);  // only the exact range unlocks
  EXPECT_NE(b.Unlock(10, 1), 0);  // and only through its holder
  EXPECT_EQ(a.Unlock(10, 1), 0);
  EXPECT_EQ(b.Lock(10, 1), 0);
  a.Close();                                // closing releases
  SharedFile c;
  ASSERT_EQ(c.Open("F.DAT", share::kReadWriteDenyNone), 0);
  EXPECT_EQ(c.Lock(5000, 1), 0);
}

TEST_F(SharedFileTest, LockedBytesRefuseTransfersThroughOtherHandles) {
  SKIP_UNDER_WINE_READS();
  SharedFile a, b;
  ASSERT_EQ(a.Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(b.Open("F.DAT", share::kReadWriteDenyNone), 0);
  ASSERT_EQ(a.Lock(9, 1), 0);
  char buf[10] = {};
  std::size_t n = 99;
  EXPECT_EQ(b.ReadAt(0, buf, 10, n), platform::kLockViolation);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(b.WriteAt(9, "x", 1, n), platform::kLockViolation);
  EXPECT_EQ(b.ReadAt(0, buf, 9, n), 0);
  EXPECT_EQ(n, 9u);
  EXPECT_EQ(a.ReadAt(0, buf, 10, n), 0);  // the holder itself reads on
  EXPECT_EQ(a.WriteAt(9, "x", 1, n), 0);
}

TEST_F(SharedFileTest, ReadOnlyHandlesRefuseWritesAndShortReadsAreCounted) {
  SharedFile r;
  ASSERT_EQ(r.Open("F.DAT", share::kReadOnlyDenyNone), 0);
  std::size_t n = 0;
  EXPECT_EQ(r.WriteAt(0, "x", 1, n), 5);
  char buf[20];
  EXPECT_EQ(r.ReadAt(90, buf, 20, n), 0);
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(r.ReadAt(500, buf, 20, n), 0);
  EXPECT_EQ(n, 0u);
  std::int64_t size = 0;
  EXPECT_EQ(r.Size(size), 0);
  EXPECT_EQ(size, 100);
  EXPECT_EQ(SharedFile().Open("NONE.DAT", share::kReadOnlyDenyNone), 2);
}

TEST_F(SharedFileTest, ReadOnlyFilesAreNotWrittenWhoeverAsks) {
  if (db_test::UnderWine()) GTEST_SKIP() << "Wine does not refuse root a read-only file";
  ASSERT_EQ(platform::SetAttributes("F.DAT", platform::attr::kReadOnly), 0);
  SharedFile f;
  EXPECT_EQ(f.Open("F.DAT", share::kReadWriteDenyNone), 5);
  EXPECT_EQ(f.Create("F.DAT", share::kReadWriteDenyNone), 5);
  EXPECT_EQ(f.Open("F.DAT", share::kReadOnlyDenyNone), 0);
  f.Close();
  platform::SetAttributes("F.DAT", 0);
  EXPECT_EQ(Bytes("F.DAT").size(), 100u);
}

}  // namespace
