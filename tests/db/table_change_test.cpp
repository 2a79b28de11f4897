// Table changes settled after their station stopped. Two stations are two
// opens of the same table in this process (locks belong to handles); a
// station stops when its files are closed without ending its change.
#include <memory>

#include "db_fixture.h"
#include "platform/codepage.h"
#include "platform/file.h"

using namespace platform::literals;

namespace {

constexpr int kRec = 300;  // record 13 spans the file's first 4096-byte boundary

// One station's open table: the data file and its two indexes (by code,
// unique; by name, equal keys allowed).
struct Station {
  db::DataFile F;
  db::IndexFile ByCode, ByName;
  Station() {
    EXPECT_TRUE(db::OpenOrCreateDataFile(F, "T.DAT", kRec).Ok());
    EXPECT_TRUE(db::OpenOrCreateIndex(ByCode, "T1.IDX", 6, 0).Ok());
    EXPECT_TRUE(db::OpenOrCreateIndex(ByName, "T2.IDX", 20, 1).Ok());
  }
  // Stops: its files closed, whatever change it has under way not ended.
  void Stop() {
    EXPECT_TRUE(db::CloseIndex(ByCode).Ok());
    EXPECT_TRUE(db::CloseIndex(ByName).Ok());
    EXPECT_TRUE(db::CloseDataFile(F).Ok());
  }
  // The keys' change for the two images (empty: none).
  db::TableChange Change(db::TableChangeKind kind, std::int32_t n, const std::vector<std::uint8_t>& before,
                         const std::vector<std::uint8_t>& after) {
    auto code = [](const auto& r) { return r.empty() ? std::nullopt : std::optional<std::string>(std::string(r.begin() + 5, r.begin() + 11)); };
    auto name = [](const auto& r) { return r.empty() ? std::nullopt : std::optional<std::string>(std::string(r.begin() + 11, r.begin() + 31)); };
    return {kind, n, before, after, {{&ByCode, code(before), code(after)}, {&ByName, name(before), name(after)}}};
  }
  std::int32_t Add(const std::vector<std::uint8_t>& image) {
    std::int32_t n = 0;
    db::AllocRecord(F, n);
    EXPECT_TRUE(db::BeginTableChange(F, Change(db::TableChangeKind::kAdd, n, {}, image)));
    db::WriteRecordHeld(F, n, image.data());
    db::InsertKey(ByCode, n, std::string(image.begin() + 5, image.begin() + 11));
    db::InsertKey(ByName, n, std::string(image.begin() + 11, image.begin() + 31));
    db::EndTableChange(F);
    db::UnlockRecord(F, n);
    return n;
  }
  bool Has(db::IndexFile& x, std::int32_t n, const std::string& key) {
    std::string probe = key;
    db::SeekEntry(x, n, probe);
    return db::DbOk();
  }
  std::vector<std::uint8_t> Read(std::int32_t n) {
    std::vector<std::uint8_t> record(kRec);
    db::PeekRecord(F, n, record.data());
    return record;
  }
};

// A record of code (6 characters), name (20) and fill (the rest).
std::vector<std::uint8_t> Partner(const std::string& code, const std::string& name, char fill) {
  std::vector<std::uint8_t> record(kRec, static_cast<std::uint8_t>(fill));
  record[4] = 1;
  std::copy(code.begin(), code.end(), record.begin() + 5);
  std::copy(name.begin(), name.end(), record.begin() + 11);
  return record;
}

class TableChangeTest : public db_test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    a = std::make_unique<Station>();
    b = std::make_unique<Station>();
    for (int i = 1; i <= 14; ++i)
      a->Add(Partner("C" + std::to_string(100 + i) + "XX", "NAME " + std::to_string(100 + i) + "               ", 'a'));
  }
  int Settle() { return db::RecoverTableChanges(b->F, {&b->ByCode, &b->ByName}); }
  std::unique_ptr<Station> a, b;
};

// A rewrite cut by a kill within the record (its first part new up to the
// 4096-byte boundary, the rest old) after one key moved: the record and
// both keys are as before the change, and the log says the record was torn.
TEST_F(TableChangeTest, ATornRewriteIsPutBackWithItsKeys) {
  const auto before = a->Read(13), after = Partner("C999XX", "NEW NAME            ", 'z');
  std::vector<std::uint8_t> held(kRec);
  db::ReadRecord(a->F, 13, held.data());
  ASSERT_TRUE(db::BeginTableChange(a->F, a->Change(db::TableChangeKind::kChange, 13, before, after)));
  std::int32_t ref = 13;
  db::RemoveKey(a->ByCode, ref, "C113XX");
  db::InsertKey(a->ByCode, 13, "C999XX");
  const std::size_t cut = 4096 - 13 * kRec;
  std::vector<std::uint8_t> torn(after.begin(), after.begin() + static_cast<long>(cut));
  torn.insert(torn.end(), before.begin() + static_cast<long>(cut), before.end());
  db::WriteRecordHeld(a->F, 13, torn.data());
  a->Stop();
  EXPECT_EQ(b->Read(13), torn);

  EXPECT_EQ(Settle(), 1);
  EXPECT_EQ(b->Read(13), before);
  EXPECT_TRUE(b->Has(b->ByCode, 13, "C113XX"));
  EXPECT_FALSE(b->Has(b->ByCode, 13, "C999XX"));
  EXPECT_TRUE(b->Has(b->ByName, 13, "NAME 113            "));
  EXPECT_NE(Bytes("DBACCESS.ERR").find("visszaállítva (a rekord félig volt írva). Leállt állomás: TEST_1"_cp),
            std::string::npos);
  EXPECT_EQ(Settle(), 0) << "settled once";
}

// Writes cut short over a record whose bytes were not the change's images:
// an add into a freed record, torn at the 4096-byte boundary (its new part,
// then the freed record's old bytes), is undone; a delete whose free was
// cut after the chain's link (the link new, the record still in use) gets
// its keys and its record back whole.
TEST_F(TableChangeTest, CutWritesOverAFreedRecordOrItsLinkAreUndone) {
  std::int32_t ref = 13;
  db::RemoveKey(a->ByCode, ref, "C113XX");
  ref = 13;
  db::RemoveKey(a->ByName, ref, "NAME 113            ");
  db::FreeRecord(a->F, 13);
  const auto freed = a->Read(13), image = Partner("C300XX", "ADDED               ", 'n');
  std::int32_t n = 0;
  db::AllocRecord(a->F, n);
  ASSERT_EQ(n, 13) << "the freed record is taken again";
  ASSERT_TRUE(db::BeginTableChange(a->F, a->Change(db::TableChangeKind::kAdd, n, {}, image)));
  const auto cut = static_cast<long>(4096 - 13 * kRec);
  std::vector<std::uint8_t> torn(image.begin(), image.begin() + cut);
  torn.insert(torn.end(), freed.begin() + cut, freed.end());
  db::WriteRecordHeld(a->F, 13, torn.data());
  db::InsertKey(a->ByCode, 13, "C300XX");
  a->Stop();
  EXPECT_EQ(Settle(), 1);
  EXPECT_TRUE(db::RecordIsFree(b->Read(13).data()));
  EXPECT_FALSE(b->Has(b->ByCode, 13, "C300XX"));
  EXPECT_EQ(db_test::LinesWith(Bytes("DBACCESS.ERR"), "visszaállítva (a rekord félig volt írva)"_cp), 1);

  Station c;
  const auto before = c.Read(9);
  std::vector<std::uint8_t> held(kRec);
  db::ReadRecord(c.F, 9, held.data());
  ASSERT_TRUE(db::BeginTableChange(c.F, c.Change(db::TableChangeKind::kDelete, 9, held, {})));
  ref = 9;
  db::RemoveKey(c.ByCode, ref, "C109XX");
  auto linked = before;
  linked[0] = 13;  // the free chain's head, written before the kill cut the rest
  db::WriteRecordHeld(c.F, 9, linked.data());
  c.Stop();
  EXPECT_EQ(Settle(), 1);
  EXPECT_EQ(b->Read(9), before);
  EXPECT_TRUE(b->Has(b->ByCode, 9, "C109XX"));
  EXPECT_TRUE(b->Has(b->ByName, 9, "NAME 109            "));
}

// A station that read a record another one had rewritten before it
// stopped holds an image that the settling takes back: its change is
// refused. A delete that freed its record before its station stopped
// stands.
TEST_F(TableChangeTest, AStaleImageIsRefusedAndADeleteThatFreedItsRecordStands) {
  const auto before = a->Read(7), after = Partner("C107XX", "RENAMED             ", 'q');
  std::vector<std::uint8_t> held(kRec);
  db::ReadRecord(a->F, 7, held.data());
  ASSERT_TRUE(db::BeginTableChange(a->F, a->Change(db::TableChangeKind::kChange, 7, before, after)));
  db::WriteRecordHeld(a->F, 7, after.data());
  a->Stop();
  std::vector<std::uint8_t> seen(kRec);
  db::ReadRecord(b->F, 7, seen.data());
  EXPECT_EQ(seen, after);
  EXPECT_FALSE(db::BeginTableChange(b->F, b->Change(db::TableChangeKind::kChange, 7, seen, before)));
  EXPECT_EQ(b->Read(7), before);

  Station c;
  db::ReadRecord(c.F, 5, held.data());
  ASSERT_TRUE(db::BeginTableChange(c.F, c.Change(db::TableChangeKind::kDelete, 5, held, {})));
  std::int32_t ref = 5;
  db::RemoveKey(c.ByCode, ref, "C105XX");
  ref = 5;
  db::RemoveKey(c.ByName, ref, "NAME 105            ");
  db::FreeRecord(c.F, 5);
  c.Stop();
  EXPECT_EQ(Settle(), 1);
  EXPECT_TRUE(db::RecordIsFree(b->Read(5).data()));
  EXPECT_FALSE(b->Has(b->ByCode, 5, "C105XX"));
  EXPECT_NE(Bytes("DBACCESS.ERR").find("táblamódosítás befejezve"_cp), std::string::npos);
}

// A data file created anew forgets what the old one's stations left: no
// pending change of the old records meets the new ones.
TEST_F(TableChangeTest, ADataFileCreatedAnewForgetsThePendingChanges) {
  std::vector<std::uint8_t> held(kRec);
  db::ReadRecord(a->F, 3, held.data());
  ASSERT_TRUE(db::BeginTableChange(a->F, a->Change(db::TableChangeKind::kDelete, 3, held, {})));
  a->Stop();
  b->Stop();
  ASSERT_GT(Bytes("T.DAT.tjr").size(), 0u);
  db::DataFile f;
  EXPECT_TRUE(db::CreateDataFile(f, "T.DAT", kRec).Ok());
  EXPECT_EQ(Bytes("T.DAT.tjr"), "");
}

// A journal that cannot be opened (here a folder holds its name) leaves
// the changes to go on unguarded, said once in the log.
TEST_F(TableChangeTest, AJournalThatCannotBeOpenedLeavesTheChangesUnguarded) {
  a->Stop();
  b->Stop();
  std::filesystem::remove("T.DAT.tjr");
  std::filesystem::create_directory("T.DAT.tjr");
  Station c;
  std::int32_t n = c.Add(Partner("C201XX", "UNGUARDED           ", 'u'));
  c.Add(Partner("C202XX", "UNGUARDED TOO       ", 'u'));
  EXPECT_TRUE(c.Has(c.ByCode, n, "C201XX"));
  EXPECT_EQ(db_test::LinesWith(Bytes("DBACCESS.ERR"), "táblanapló nem használható"_cp), 1);
}

// With the journal off (the previous release's way) the bracket writes
// nothing.
TEST_F(TableChangeTest, ThePreviousReleasesWayKeepsNoTableJournal) {
  a->Stop();
  b->Stop();
  std::filesystem::remove("T.DAT.tjr");
  db::JournalSwitch previousRelease(false);
  Station c;
  c.Add(Partner("C200XX", "OLD WAY             ", 'o'));
  EXPECT_FALSE(Exists("T.DAT.tjr"));
  EXPECT_EQ(db::RecoverTableChanges(c.F, {&c.ByCode, &c.ByName}), 0);
}

}  // namespace
