// Two stations on one table: the other station is a separate process (the
// records_station program) holding or deleting records while this one runs
// the list's delete and edit.
#include <array>
#include <chrono>
#include <filesystem>
#include <map>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "../db/child_process.h"
#include "records_fixture.h"

using namespace platform::literals;
using records_test::TableTest;
namespace key = records::key;

namespace {

const int kAnswerMs = 20000;  // generous: Wine starts slowly

// The other station, driven line by line.
class OtherStation {
 public:
  OtherStation(const std::string& folder, const std::string& id) {
    started_ = child_.Start(db_test::ProgramPath(RECORDS_STATION_PATH), {folder, id}) &&
               child_.WaitFor("ok ready", kAnswerMs).has_value();
  }
  ~OtherStation() { db_test::Dismiss(child_, "quit", "bye"); }
  OtherStation(const OtherStation&) = delete;
  OtherStation& operator=(const OtherStation&) = delete;

  bool Started() const { return started_; }
  void Send(const std::string& command) { child_.Send(command); }
  // The next answer ("ok ..."), "" when none came in time.
  std::string Answer() {
    auto line = child_.WaitFor("ok", kAnswerMs);
    return line ? *line : "";
  }
  std::string Ask(const std::string& command) {
    Send(command);
    return Answer();
  }
  const std::string& Transcript() const { return child_.Transcript(); }

 private:
  db_test::ChildProcess child_;
  bool started_ = false;
};

class StationsTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    platform::SetClock(nullptr);  // the waits for the other station take real time
    Seed();
    other = std::make_unique<OtherStation>(folder_.string(), "OTHER_1");
    ASSERT_TRUE(other->Started()) << other->Transcript();
    PositionOn(b);
  }
  void TearDown() override {
    other.reset();
    TableTest::TearDown();
  }

  std::unique_ptr<OtherStation> other;
};

TEST_F(StationsTest, ARecordHeldByTheOtherStationIsBusyToTheDelete) {
  ASSERT_EQ(other->Ask("lock B2"), "ok " + std::to_string(b));
  Answer("\r");
  records::ConfirmDelete();
  EXPECT_TRUE(Seen("Foglalt a rekord!"_cp));
  EXPECT_FALSE(Seen("Biztosan"));
  EXPECT_TRUE(InUse(b));
  EXPECT_EQ(IndexKeys(1).size(), 3u);

  ASSERT_EQ(other->Ask("release B2"), "ok");
  Answer("I");
  records::ConfirmDelete();
  EXPECT_FALSE(InUse(b)) << "free to delete once released";
}

TEST_F(StationsTest, ARecordHeldByTheOtherStationAsksWhetherTheEditShouldWait) {
  ASSERT_EQ(other->Ask("lock B2"), "ok " + std::to_string(b));
  for (const char* answer : {"N", "\x1b"}) {  // Esc gives up the wait as "N" does
    Answer(answer);
    EXPECT_EQ(records::EditCurrentRecord(*table, "F10-tárolás Esc-kilépés"_cp), 0);
    EXPECT_TRUE(Seen("Foglalt a rekord! Vár <I/N> ? "_cp));
    EXPECT_TRUE(table->Data.Held.empty()) << "nothing was read under a lock";
    EXPECT_EQ(Name(b), "Korte");
  }
}

TEST_F(StationsTest, AnEditThatWaitedForTheOtherStationGoesOnOnceTheRecordIsReleased) {
  ASSERT_EQ(other->Ask("lock B2"), "ok " + std::to_string(b));
  other->Send("release B2 500");
  Answer("I");  // waits for the other station
  Then([this] {
    Keys("\rBarack");
    Special(key::kF10);
  });
  EXPECT_EQ(records::EditCurrentRecord(*table, "F10-tárolás Esc-kilépés"_cp), key::kF10);
  EXPECT_EQ(other->Answer(), "ok");
  EXPECT_EQ(Name(b), "Barack");
  EXPECT_TRUE(table->Data.Held.empty());
}

TEST_F(StationsTest, ARecordDeletedWhileTheEditWaitedIsReportedAndTheNextOneBecomesCurrent) {
  ASSERT_EQ(other->Ask("lock B2"), "ok " + std::to_string(b));
  other->Send("delete B2 1000");
  Answer("I");  // waits for the other station
  Answer("\r");
  EXPECT_EQ(records::EditCurrentRecord(*table, "F10-tárolás Esc-kilépés"_cp), 0);
  EXPECT_TRUE(Seen("A rekordot idöközben törölték !"_cp));
  EXPECT_EQ(other->Answer(), "ok 1");
  EXPECT_TRUE(table->Data.Held.empty());
  EXPECT_FALSE(InUse(b));
  EXPECT_EQ(table->CurrentRecord, c);
  EXPECT_EQ(IndexKeys(2).size(), 2u) << "the other station removed every key";
}

}  // namespace

namespace {

TEST_F(StationsTest, AGroupEditPassesOverARecordDeletedWhileItWaitedAndGoesOn) {
  PositionOn(a);
  ASSERT_EQ(other->Ask("lock B2"), "ok " + std::to_string(b));
  std::vector<std::int32_t> offered;
  Then([&] {
    offered.push_back(table->CurrentRecord);
    other->Send("delete B2 1000");
    Special(key::kF10);  // A1 stored as it was
  });
  Answer("I");
  Answer("\r");  // "A rekordot idöközben törölték !"
  Then([&] {
    offered.push_back(table->CurrentRecord);
    Special(key::kF10);
  });
  Answer("\r");  // "Nincs következö !"
  records::GroupEdit(*table);
  EXPECT_EQ(other->Answer(), "ok 1");
  EXPECT_TRUE(Seen("A rekordot idöközben törölték !"_cp));
  EXPECT_EQ(offered, (std::vector<std::int32_t>{a, c})) << "the run went on after the deleted record";
  EXPECT_TRUE(table->Data.Held.empty());
}

}  // namespace

namespace {

// The list's row still says B2 while the other station deleted B2 and put a
// new partner into its freed record: the row's choice reads that record
// again (as the list's Choose does), and neither the delete nor the edit
// may touch the new partner.
TEST_F(StationsTest, AStaleRowWhoseRecordNowHoldsAnotherPartnerChangesNothing) {
  ASSERT_EQ(other->Ask("delete B2 0"), "ok 1");
  ASSERT_EQ(other->Ask("add ZZ Uj"), "ok " + std::to_string(b)) << "the freed record is reused";
  table->Record = Peek(b);

  Answer("I");   // "Biztosan törölni akart?"
  Answer("\r");  // the refusal
  records::ConfirmDelete();
  EXPECT_TRUE(Seen("A rekord idöközben megváltozott!"_cp));
  EXPECT_TRUE(InUse(b));
  EXPECT_EQ(Code(b), "ZZ    ");
  EXPECT_EQ(IndexKeys(1), (std::vector<std::string>{"A1    =" + std::to_string(a),
                                                    "C3    =" + std::to_string(c),
                                                    "ZZ    =" + std::to_string(b)}));
  EXPECT_TRUE(table->Data.Held.empty()) << "the lock is released";
  EXPECT_EQ(table->CurrentRecord, c) << "the position comes from the index again";

  seen.clear();
  PositionOn(b);
  table->CurrentKey = "B2    ";  // the stale row once more, now for the edit
  Answer("\r");
  EXPECT_EQ(records::EditCurrentRecord(*table, "F10-tárolás Esc-kilépés"_cp), 0);
  EXPECT_TRUE(Seen("A rekord idöközben megváltozott!"_cp));
  EXPECT_EQ(Name(b), "Uj");
  EXPECT_TRUE(table->Data.Held.empty());
}

TEST_F(StationsTest, AStaleRowWhoseRecordWasFreedIsNotDeletedAgain) {
  ASSERT_EQ(other->Ask("delete B2 0"), "ok 1");
  Answer("I");
  Answer("\r");
  records::ConfirmDelete();
  EXPECT_TRUE(Seen("A rekordot idöközben törölték !"_cp));
  EXPECT_EQ(other->Ask("count"), "ok 2") << "nothing else went";
  EXPECT_EQ(IndexKeys(1).size(), 2u);
  EXPECT_TRUE(table->Data.Held.empty());
}

// ---- The table kill loop ------------------------------------------------------

// A station is killed at a random moment of its table changes (adds, rewrites
// in place, changes of both keys, deletes, through the record screens' own
// calls), or of a reindex of the table's second index. The next station's
// open leaves the data file, both indexes and the table between them sound
// (dbcheck data, index and table), every change that finished whole, and
// the change under way at the kill wholly there or wholly not. The records
// do not divide 4096 bytes. RECORDS_KILL_ROUNDS sets the kills.
class TableKillLoop : public db_test::EngineTest, public ::testing::WithParamInterface<int> {
 protected:
  // dbcheck's exit code for the words; its output in out.
  static int DbCheck(const std::vector<std::string>& args, std::string& out) {
    return db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), args, out);
  }
};

TEST_P(TableKillLoop, LeavesSoundTablesAndLosesNoFinishedChange) {
  const std::string recLen = std::to_string(GetParam());
  const char* wanted = std::getenv("RECORDS_KILL_ROUNDS");
  const int rounds = wanted ? std::atoi(wanted) : db_test::UnderWine() ? 4 : 30;
  const std::vector<std::vector<std::string>> checks = {
      {"data", "TABLA.dat", recLen}, {"index", "TKOD.idx", "6"}, {"index", "TNEV.idx", "20", "dups"},
      {"table", "TABLA", "TKOD", recLen, "0", "6", "6"}, {"table", "TABLA", "TNEV", recLen, "1", "12", "20"}};
  std::mt19937 random(static_cast<unsigned>(GetParam()));
  int kills = 0, reindexKills = 0, reindexCut = 0, lost = 0;
  // By the kind of change under way at a kill ("-" none, "X" a reindex):
  // kills, found finished, found undone, lost or half there.
  std::map<char, std::array<int, 4>> byKind;
  char killed = '-';
  for (int round = 0;; ++round) {
    db_test::ChildProcess station;
    ASSERT_TRUE(station.Start(db_test::ProgramPath(RECORDS_STATION_PATH),
                              {folder_.string(), "K" + std::to_string(round), recLen}));
    ASSERT_TRUE(station.WaitFor("ok ready", kAnswerMs)) << station.Transcript();
    for (const auto& words : checks) {
      std::string out;
      const int code = DbCheck(words, out);
      if (code != 0 && std::getenv("KILL_LOOP_KEEP"))  // the files as the fault left them, to look into
        std::filesystem::copy(folder_, std::getenv("KILL_LOOP_KEEP"), std::filesystem::copy_options::recursive);
      ASSERT_EQ(code, 0) << "after kill " << kills + reindexKills << ": " << out;
    }
    station.Send("verify KL.TXT");
    std::istringstream verified(station.WaitFor("ok verified", 120000).value_or(""));
    std::string ok, word;
    int live = 0, missing = -1, done = 0, back = 0;
    char kind = '-';
    verified >> ok >> word >> live >> missing >> done >> back >> kind;
    EXPECT_EQ(missing, 0) << station.Transcript();
    lost += std::max(missing, 0);
    if (round > 0) {
      auto& row = byKind[killed == 'X' ? 'X' : kind];
      row = {row[0] + 1, row[1] + done, row[2] + back, row[3] + std::max(missing, 0)};
    }
    if (round >= rounds) break;
    const int reindexEvery = db_test::UnderWine() ? 3 : 10;  // under Wine too in its few rounds
    bool reindex = round % reindexEvery == reindexEvery - 1;
    station.Send(reindex ? "reindex TABLA TNEV " + recLen + " 1 12 20"
                         : "churn " + std::to_string(random()) + " " + std::to_string(round) + " KL.TXT");
    if (!reindex) {
      ASSERT_TRUE(station.WaitFor("ok churning", kAnswerMs)) << station.Transcript();
    }
    int pause = db_test::UnderWine() ? 100 + static_cast<int>(random() % 400) : static_cast<int>(random() % 25);
    std::this_thread::sleep_for(std::chrono::milliseconds(reindex ? pause / 5 : 1 + pause));
    station.Kill();
    ++(reindex ? reindexKills : kills);
    killed = reindex ? 'X' : '-';
    reindexCut += reindex && std::filesystem::exists("TNEV.idx.uj");
  }
  const std::string log = Bytes("DBACCESS.ERR");
  std::cout << "table kill loop, " << recLen << "-byte records: " << kills << " kills in table changes, "
            << reindexKills << " in reindex (" << reindexCut << " left its aside file); the log: "
            << db_test::LinesWith(log, "táblamódosítás visszaállítva"_cp) << " undone, "
            << db_test::LinesWith(log, "táblamódosítás befejezve"_cp) << " finished, "
            << db_test::LinesWith(log, "félig volt írva"_cp) << " records torn; " << lost
            << " changes lost or half there\n  under way at the kill: kills, found finished, found undone, lost\n";
  for (const auto& [kind, row] : byKind)
    std::cout << "  " << kind << " " << row[0] << " " << row[1] << " " << row[2] << " " << row[3] << "\n";
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(db_test::LinesWith(log, "reindex"), 0);
}

INSTANTIATE_TEST_SUITE_P(RecordLengths, TableKillLoop, ::testing::Values(300, 1000));

}  // namespace
