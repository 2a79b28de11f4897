// Several stations as separate processes on the same files: record waits
// with the busy box, peeks that do not wait, whole-file locks against shared
// use with Esc, group rollback, markers cleared at close, a killed station,
// a stress run of four stations checked against their journals, and readers
// passing through an index while other stations change it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "db_fixture.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fs.h"

using namespace platform::literals;
using db_test::ChildProcess;
using db_test::EngineTest;
using db_test::LinesWith;

namespace {

// How long a stress or scan run of stations may take to answer: many times
// what it takes on a busy machine, so that a station a fault keeps going
// fails the test long before its time bound.
int RunAnswerMs() { return db_test::UnderWine() ? 600000 : 120000; }

constexpr int kRec = 40;
const int kAnswerMs = 20000;  // generous: Wine starts slowly

class Station {
 public:
  Station(const std::string& folder, const std::string& id) : folder_(folder), id_(id) {
    started_ = child_.Start(db_test::ProgramPath(DB_STATION_PATH), {folder, id});
    if (started_) started_ = child_.WaitFor("ok ready", kAnswerMs).has_value();
  }
  ~Station() {
    if (!killed_) db_test::Dismiss(child_, "quit", "bye");
  }
  bool Started() const { return started_; }
  // Sends a command and returns its answer ("ok ..."), or "" in time.
  std::string Ask(const std::string& command, int timeoutMs = kAnswerMs) {
    child_.Send(command);
    return Answer(timeoutMs);
  }
  void Send(const std::string& command) { child_.Send(command); }
  std::string Answer(int timeoutMs = kAnswerMs) {
    auto line = child_.WaitFor("ok", Bound(timeoutMs));
    return line ? *line : "";
  }
  // Waits until the busy-box rows show text (code page 852).
  bool Shows(std::string_view text, int timeoutMs = kAnswerMs) {
    return child_.WaitFor(std::string(text), Bound(timeoutMs)).has_value();
  }
  // True when no answer arrives within ms.
  bool Silent(int ms) { return !child_.WaitFor("ok", ms).has_value(); }
  // The key file appears whole (written aside, then renamed), so the station
  // never takes it half-written.
  void PressEsc() {
    std::string name = folder_ + "/" + id_ + ".key";
    std::ofstream(name + ".new", std::ios::binary) << '\x1b';
    std::filesystem::rename(name + ".new", name);
  }
  void Kill() {
    child_.Kill();
    killed_ = true;
  }
  const std::string& Transcript() const { return child_.Transcript(); }

 private:
  std::string folder_, id_;
  ChildProcess child_;
  // Once the test has failed, a wait no longer waits out its bound: what
  // follows a failure only adds failures of its own, in seconds.
  static int Bound(int timeoutMs) { return ::testing::Test::HasFailure() ? 100 : timeoutMs; }

  bool started_ = false, killed_ = false;
};

class StationsTest : public EngineTest {
 protected:
  std::unique_ptr<Station> Start(const std::string& id) {
    auto station = std::make_unique<Station>(folder_.string(), id);
    EXPECT_TRUE(station->Started()) << station->Transcript();
    return station;
  }
};

TEST_F(StationsTest, RecordLockMakesTheOtherStationWaitWithTheBusyBox) {
  MakeFile("T.DAT", kRec, 3);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(b->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("read 0 2"), "ok 1 b 98");
  b->Send("read 0 2");
  EXPECT_TRUE(b->Shows("Egy kis türelmet kérek|a rekord foglalt !|File: T.DAT|Rec.no: 2"_cp))
      << b->Transcript();
  EXPECT_TRUE(b->Silent(300));
  EXPECT_EQ(a->Ask("write 0 2 z"), "ok");
  EXPECT_EQ(b->Answer(), "ok 1 z 122");
  EXPECT_NE(b->Transcript().find("screen |||||\n"), std::string::npos);  // the box went away
  EXPECT_EQ(b->Ask("write 0 2 y"), "ok");
}

TEST_F(StationsTest, PeekOfALockedRecordReturnsAllButItsLastByteAtOnce) {
  MakeFile("T.DAT", kRec, 2);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(b->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("read 0 1"), "ok 1 a 97");
  EXPECT_EQ(b->Ask("peek 0 1", 5000), "ok 1 a 63");  // the last byte kept the buffer's '?'
  EXPECT_EQ(b->Ask("peek 0 2", 5000), "ok 1 b 98");
  EXPECT_EQ(b->Ask("elsewhere 0 1"), "ok 1");
  EXPECT_EQ(b->Ask("elsewhere 0 2"), "ok 0");
}

TEST_F(StationsTest, WholeFileLockAndSharedUseWaitForEachOtherOrGiveUpWithEsc) {
  MakeFile("T.DAT", kRec, 1);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(b->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("share 0"), "ok 1");
  b->Send("lockfile 0");
  EXPECT_TRUE(b->Shows("|A file-t foglalják!|Várjon,vagy Esc-el vissza|T.DAT|"_cp)) << b->Transcript();
  b->PressEsc();
  EXPECT_EQ(b->Answer(), "ok 0");
  EXPECT_EQ(a->Ask("unshare 0"), "ok");
  EXPECT_EQ(b->Ask("lockfile 0"), "ok 1");
  a->Send("share 0");
  EXPECT_TRUE(a->Shows("Tranzakció folyik!"_cp)) << a->Transcript();
  EXPECT_TRUE(a->Silent(300));
  EXPECT_EQ(b->Ask("unlockfile 0"), "ok");
  EXPECT_EQ(a->Answer(), "ok 1");
  EXPECT_EQ(b->Ask("header 0"), "ok 0 1");
}

TEST_F(StationsTest, LockGroupRefusedByEscReleasesWhatItHadLocked) {
  for (const char* name : {"A.DAT", "B.DAT", "C.DAT"}) MakeFile(name, kRec, 0);
  auto one = Start("ONE"), two = Start("TWO");
  ASSERT_EQ(one->Ask("open 0 A.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(one->Ask("open 1 B.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(one->Ask("open 2 C.DAT 40 0"), "ok 1 0");
  for (int id = 0; id < 3; ++id) one->Ask("group " + std::to_string(id) + " 1");
  ASSERT_EQ(two->Ask("open 0 C.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(two->Ask("open 1 A.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(two->Ask("lockfile 0"), "ok 1");
  one->Send("lockgroup");
  EXPECT_TRUE(one->Shows("Tranzakció folyik!"_cp));
  one->PressEsc();
  EXPECT_EQ(one->Answer(), "ok 0");
  EXPECT_EQ(one->Ask("header 0"), "ok 0 0");
  EXPECT_EQ(one->Ask("header 1"), "ok 0 0");
  EXPECT_EQ(two->Ask("lockfile 1"), "ok 1");  // A.DAT is free again
  EXPECT_EQ(two->Ask("unlockfile 1"), "ok");
  EXPECT_EQ(two->Ask("unlockfile 0"), "ok");
  EXPECT_EQ(one->Ask("lockgroup"), "ok 1");
  EXPECT_EQ(two->Ask("header 1"), "ok 1 0");
  EXPECT_EQ(one->Ask("unlockgroup"), "ok");
}

TEST_F(StationsTest, ClosingClearsAStationsOwnMarkersOnly) {
  MakeFile("T.DAT", kRec, 0);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(b->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("share 0"), "ok 1");
  EXPECT_EQ(b->Ask("share 0"), "ok 1");
  EXPECT_EQ(a->Ask("close 0"), "ok");
  EXPECT_EQ(b->Ask("header 0"), "ok 0 1");
  EXPECT_EQ(b->Ask("close 0"), "ok");
  EXPECT_EQ(Bytes("T.DAT")[17], 0);
}

TEST_F(StationsTest, AKilledStationsLocksGoAndItsMarkersAreCleared) {
  MakeFile("T.DAT", kRec, 1);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("share 0"), "ok 1");
  EXPECT_EQ(a->Ask("read 0 1"), "ok 1 a 97");
  a->Kill();
  ASSERT_EQ(b->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(b->Ask("read 0 1", 5000), "ok 1 a 97");  // the system released A's lock
  EXPECT_EQ(b->Ask("header 0"), "ok 0 1");          // A's shared use stays marked
  std::string out;
  int code = db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH),
                           {"markers", folder_.string() + "/*.DAT", "", "T.DAT"}, out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out, "    1. T.DAT Lock!\n");
  EXPECT_EQ(b->Ask("header 0"), "ok 0 0");
}

// Another station's open data file is neither erased, renamed nor written
// over (the sharing of its handle is seen across processes); once that
// station is killed, the system has let its handle go and the file can go.
TEST_F(StationsTest, AnotherStationsOpenFileIsKeptUntilItsStationIsGone) {
  MakeFile("T.DAT", kRec, 1);
  std::string before = Bytes("T.DAT");
  auto a = Start("A");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(platform::EraseFile("T.DAT"), platform::error::kSharingViolation);
  EXPECT_EQ(platform::RenameFile("T.DAT", "U.DAT"), platform::error::kSharingViolation);
  EXPECT_EQ(platform::WriteFileBytes("T.DAT", "x"), platform::error::kSharingViolation);
  EXPECT_EQ(Bytes("T.DAT"), before);
  a->Kill();
  int erased = -1;  // the system may let a killed process's handles go a moment later
  for (int tries = 0; tries < 300 && erased != 0; ++tries) {
    erased = platform::EraseFile("T.DAT");
    if (erased != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(erased, 0);
}

// A station that opens the file while another appends must compare the
// header with the length as it stands once the header is its own.
TEST_F(StationsTest, OpeningWhileAnotherStationAppendsSeesASoundFile) {
  MakeFile("T.DAT", kRec, 2);
  auto a = Start("A"), b = Start("B");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  EXPECT_EQ(a->Ask("read 0 0").substr(0, 4), "ok 1");  // A holds the header
  b->Send("open 0 T.DAT 40 0");
  EXPECT_TRUE(b->Silent(300));  // waits for the header
  EXPECT_EQ(a->Ask("append 0 c"), "ok 3");
  EXPECT_EQ(b->Answer(), "ok 1 0") << b->Transcript();
  EXPECT_EQ(b->Ask("read 0 3"), "ok 1 c 99");
}

namespace {

// dbcheck's exit code for a file of the test's folder; its output in out.
int DbCheck(const std::vector<std::string>& args, std::string& out) {
  return db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), args, out);
}

}  // namespace

// A station is killed at a random moment of its appends with their keys and
// removals with their frees; the next one's first operation (opening the
// index) leaves both files sound, and every change that the side journal
// says was finished is there. DB_KILL_ROUNDS sets the number of kills.
TEST_F(StationsTest, KillLoopLeavesSoundFilesAndLosesNoFinishedChange) {
  const char* wanted = std::getenv("DB_KILL_ROUNDS");
  const int rounds = wanted ? std::atoi(wanted) : db_test::UnderWine() ? 6 : 40;
  MakeFile("KL.DAT", 64, 0);
  {
    db::IndexFile index;
    ASSERT_TRUE(db::CreateIndex(index, "KL.IDX", 20, 0).Ok());
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  }
  std::mt19937 random(4711);
  int kills = 0, lost = 0;
  auto rollbacksSoFar = [&] { return LinesWith(Bytes("DBACCESS.ERR"), "indexmódosítás visszaállítva"_cp); };
  // Natively the loop goes on past the rounds asked (up to four times as
  // many) until a kill has cut a change short, so a rollback is always met.
  auto enough = [&](int round) {
    if (round < rounds) return false;
    return db_test::UnderWine() || round >= 4 * rounds || rollbacksSoFar() > 0;
  };
  for (int round = 0;; ++round) {
    auto station = Start("K" + std::to_string(round));
    ASSERT_EQ(station->Ask("open 0 KL.DAT 64 0"), "ok 1 0");
    ASSERT_EQ(station->Ask("index KL.IDX 20"), "ok 1 0") << station->Transcript();
    std::string out;
    ASSERT_EQ(DbCheck({"data", "KL.DAT", "64"}, out), 0) << "after kill " << kills << ": " << out;
    ASSERT_EQ(DbCheck({"index", "KL.IDX", "20"}, out), 0) << "after kill " << kills << ": " << out;
    std::istringstream recovered(station->Ask("recover 0 KL.TXT", 120000));
    std::string ok, word;
    int live = 0, missing = -1;
    recovered >> ok >> word >> live >> missing;
    EXPECT_EQ(missing, 0) << station->Transcript();
    lost += std::max(missing, 0);
    if (enough(round)) break;
    ASSERT_EQ(station->Ask("churn 0 " + std::to_string(random()) + " R" + std::to_string(round) + " KL.TXT"),
              "ok churning");
    int pause = db_test::UnderWine() ? 100 + static_cast<int>(random() % 400) : 1 + static_cast<int>(random() % 25);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    station->Kill();
    ++kills;
  }
  int rollbacks = rollbacksSoFar(), rebuilds = LinesWith(Bytes("DBACCESS.ERR"), "reindex");
  std::cout << "kill loop: " << kills << " kills, " << rollbacks << " rollbacks, " << rebuilds
            << " rebuilds demanded, " << lost << " finished changes lost\n";
  EXPECT_EQ(rebuilds, 0);
  EXPECT_EQ(lost, 0);
  if (!db_test::UnderWine()) {
    EXPECT_GT(rollbacks, 0);
  }
}

// A writer dies right after the first page write of a split. Alone, its
// change is rolled back by the next opener (the index as it was, the pages
// it appended cut off, one log line naming it). When a station of the
// previous release has changed one of its pages meanwhile, nothing is
// rolled back and the index is reported as needing a rebuild.
TEST_F(StationsTest, ACutShortChangeIsRolledBackUnlessThePreviousReleaseChangedItsPages) {
  auto makeLeaf = [] {
    db::IndexFile index;
    EXPECT_TRUE(db::CreateIndex(index, "P.IDX", 20, 0).Ok());
    for (int i = 1; i <= 32; ++i) db::InsertKey(index, i, "K" + std::to_string(100 + i));
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  };
  auto dieInSplit = [this] {
    auto dying = Start("DEAD");
    ASSERT_EQ(dying->Ask("index P.IDX 20"), "ok 1 0");
    ASSERT_EQ(dying->Ask("dieafter 1"), "ok");
    dying->Send("insertkey 33 K200");
    EXPECT_FALSE(dying->Answer(5000).starts_with("ok")) << dying->Transcript();
    dying->Kill();
  };
  makeLeaf();
  const std::string before = Bytes("P.IDX");
  db::IndexFile reader;  // open before the writer dies: it meets the torn change
  ASSERT_TRUE(db::OpenIndex(reader, "P.IDX", 20, 0).Ok());
  dieInSplit();
  ASSERT_GT(Bytes("P.IDX").size(), before.size());
  std::string out;
  EXPECT_EQ(DbCheck({"index", "P.IDX", "20"}, out), 0) << out;
  EXPECT_NE(out.find("cut short at station DEAD is pending"), std::string::npos) << out;

  // The reader's pass rolls the change back and gives the keys from before.
  std::string key;
  std::int32_t n = 0;
  int keys = 0;
  for (db::StepNext(reader, n, key); db::DbOk(); db::StepNext(reader, n, key)) ++keys;
  EXPECT_EQ(keys, 32);
  EXPECT_TRUE(db::CloseIndex(reader).Ok());
  EXPECT_EQ(Bytes("P.IDX"), before);

  db::IndexFile index;
  ASSERT_TRUE(db::OpenIndex(index, "P.IDX", 20, 0).Ok());
  EXPECT_TRUE(db::CloseIndex(index).Ok());
  EXPECT_EQ(Bytes("P.IDX"), before);
  EXPECT_EQ(LinesWith(Bytes("DBACCESS.ERR"), "visszaállítva. Leállt állomás: DEAD"_cp), 1);
  EXPECT_EQ(DbCheck({"index", "P.IDX", "20"}, out), 0) << out;
  EXPECT_NE(out.find("sound, 32 keys"), std::string::npos) << out;

  dieInSplit();
  {
    db::JournalSwitch previousRelease(false);
    EXPECT_TRUE(db::OpenIndex(index, "P.IDX", 20, 0).Ok());
    db::InsertKey(index, 34, "K300");
    ASSERT_TRUE(db::DbOk());
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  }
  const std::string changed = Bytes("P.IDX");
  EXPECT_EQ(DbCheck({"index", "P.IDX", "20"}, out), 1) << out;
  EXPECT_NE(out.find("rebuild the index with reindex"), std::string::npos) << out;
  bool shown = false;
  ui::SetIdle(
      [&] {
        shown = ScreenShows("Építse újra a reindex programmal!"_cp);
        PressEnter();
      },
      1);
  EXPECT_EQ(EndCode([&] { (void)db::OpenIndex(index, "P.IDX", 20, 0); }), 1);
  ui::SetIdle(nullptr, 0);
  EXPECT_TRUE(shown);
  EXPECT_EQ(Bytes("P.IDX"), changed);
  EXPECT_EQ(LinesWith(Bytes("DBACCESS.ERR"), "reindex"), 1);
}

// A writer paused between two page writes of a split holds the header
// lock: it is alive. Another station's rollback and search neither roll its
// change back nor see half of it; once it goes on, its change is whole.
TEST_F(StationsTest, ALiveWritersPendingChangeIsNotRolledBackByAnotherStation) {
  {
    db::IndexFile index;
    EXPECT_TRUE(db::CreateIndex(index, "P.IDX", 20, 0).Ok());
    for (int i = 1; i <= 32; ++i) db::InsertKey(index, i, "K" + std::to_string(100 + i));
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  }
  db::IndexFile reader;  // open before the change: an open waits for it
  ASSERT_TRUE(db::OpenIndex(reader, "P.IDX", 20, 0).Ok());
  auto writer = Start("LIVE");
  ASSERT_EQ(writer->Ask("index P.IDX 20"), "ok 1 0");
  ASSERT_EQ(writer->Ask("pauseafter 1"), "ok");
  writer->Send("insertkey 33 K200");
  ASSERT_TRUE(writer->Shows("paused")) << writer->Transcript();
  const std::string pending = Bytes("P.IDX"), journal = Bytes("P.IDX.jrn");
  ASSERT_TRUE(db::JudgeJournal(journal, pending).Pending);

  // A fault that ends the program here (a rollback refused a write) must
  // not wait for a key: one is typed for each end that could come.
  term.PushChar('x');
  term.PushChar('x');
  int rollback = -1;
  EXPECT_EQ(EndCode([&] { rollback = db::RollBackDeadWriter(reader); }), -1);
  EXPECT_EQ(rollback, db::kWriterAtWork);
  // The search waits for the change (it restarts while the header is held).
  std::int32_t n = 0;
  std::string key = "K120";
  int searchEnd = -1;
  std::thread search([&] { searchEnd = EndCode([&] { db::SeekKeyAtLeast(reader, n, key); }); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Bytes("P.IDX"), pending);
  EXPECT_EQ(Bytes("P.IDX.jrn"), journal);
  EXPECT_EQ(LinesWith(Bytes("DBACCESS.ERR"), "visszaállítva"_cp), 0);

  writer->Send("go");
  EXPECT_EQ(writer->Answer(), "ok 1") << writer->Transcript();
  search.join();
  EXPECT_EQ(searchEnd, -1);
  EXPECT_EQ(key, "K120");
  int keys = 0;
  for (db::ResetPosition(reader), db::StepNext(reader, n, key); db::DbOk(); db::StepNext(reader, n, key))
    ++keys;
  EXPECT_EQ(keys, 33);
  EXPECT_TRUE(db::CloseIndex(reader).Ok());
  std::string out;
  EXPECT_EQ(DbCheck({"index", "P.IDX", "20"}, out), 0) << out;
  EXPECT_NE(out.find("sound, 33 keys"), std::string::npos) << out;
}

// Four stations append and free at random on one file and put and take
// their records' keys in one index, each writing a journal; afterwards both
// files are sound, the data file holds exactly the records the journals
// leave alive, each once, and the index exactly their keys.
TEST_F(StationsTest, StressOfFourStationsLosesNothingAndDuplicatesNothing) {
  const int count = db_test::UnderWine() ? 400 : 5000;
  MakeFile("S.DAT", 64, 0);
  {
    db::IndexFile index;
    ASSERT_TRUE(db::CreateIndex(index, "S.IDX", 20, 0).Ok());
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  }
  std::vector<std::unique_ptr<Station>> stations;
  for (int i = 0; i < 4; ++i) {
    stations.push_back(Start("S" + std::to_string(i)));
    ASSERT_EQ(stations.back()->Ask("open 0 S.DAT 64 0"), "ok 1 0");
    ASSERT_EQ(stations.back()->Ask("index S.IDX 20"), "ok 1 0");
  }
  for (int i = 0; i < 4; ++i)
    stations[i]->Send("stress 0 " + std::to_string(count) + " " + std::to_string(17 + i) + " J" +
                      std::to_string(i) + ".TXT");
  for (auto& station : stations) ASSERT_EQ(station->Answer(RunAnswerMs()), "ok done");
  for (auto& station : stations) {
    EXPECT_EQ(station->Ask("closeindex"), "ok");
    EXPECT_EQ(station->Ask("close 0"), "ok");
  }
  stations.clear();

  using Items = std::multimap<std::string, std::int32_t>;  // key (tag) -> record
  std::map<std::string, std::int32_t> alive;
  for (int i = 0; i < 4; ++i) {
    std::istringstream journal(Bytes("J" + std::to_string(i) + ".TXT"));
    std::string op, tag;
    std::int32_t n = 0;
    int lines = 0;
    while (journal >> op >> n) {
      ASSERT_NE(op, "X") << "record " << n << " held another station's data";
      ASSERT_NE(op, "K") << "the key of record " << n << " was refused or missing";
      journal >> tag;
      if (op == "A") {
        EXPECT_TRUE(alive.emplace(tag, n).second);
      } else {
        EXPECT_EQ(alive.erase(tag), 1u);
      }
      ++lines;
    }
    EXPECT_EQ(lines, count);
  }
  std::string bytes = Bytes("S.DAT");
  Items found;
  for (std::size_t at = 64; at + 64 <= bytes.size(); at += 64) {
    if (bytes[at + 4] == 0) continue;
    std::string tag = bytes.substr(at + 5, 59);
    found.emplace(tag.substr(0, tag.find(' ')), static_cast<std::int32_t>(at / 64));
  }
  const Items expected(alive.begin(), alive.end());
  EXPECT_EQ(found, expected);

  db::IndexFile index;
  ASSERT_TRUE(db::OpenIndex(index, "S.IDX", 20, 0).Ok());
  Items keys;
  std::string key;
  std::int32_t n = 0;
  for (db::StepNext(index, n, key); db::DbOk(); db::StepNext(index, n, key)) keys.emplace(key, n);
  EXPECT_TRUE(db::CloseIndex(index).Ok());
  EXPECT_EQ(keys, expected);
  EXPECT_GT(expected.size(), static_cast<std::size_t>(count / 2));  // the run did build a tree

  std::string out;
  EXPECT_EQ(db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), {"data", "S.DAT", "64"}, out), 0)
      << out;
  EXPECT_EQ(db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), {"index", "S.IDX", "20"}, out), 0)
      << out;
}

// Two stations insert and remove their keys in one index while two others
// pass through it from end to end, forwards and backwards, over and over:
// no reader stops, and every pass gives, in order, each of the fixed keys
// that nobody removes (they lie between the changing keys: "W1-3." sorts
// between "W1-3" and "W1-30").
TEST_F(StationsTest, ReadersPassingThroughAnIndexThatOthersChangeMissNothing) {
  const bool wine = db_test::UnderWine();
  const int changes = wine ? 300 : 4000, passes = wine ? 60 : 1500;
  MakeFile("S.DAT", 64, 0);
  int fixed = 0;
  {
    db::IndexFile index;
    ASSERT_TRUE(db::CreateIndex(index, "S.IDX", 20, 0).Ok());
    for (const char* writer : {"W1-", "W2-"})
      for (int i = 0; i < changes; i += 3, ++fixed)
        db::InsertKey(index, 1, writer + std::to_string(i) + ".");
    EXPECT_TRUE(db::CloseIndex(index).Ok());
  }
  std::vector<std::unique_ptr<Station>> writers, readers;
  for (const char* id : {"W1", "W2"}) {
    writers.push_back(Start(id));
    ASSERT_EQ(writers.back()->Ask("open 0 S.DAT 64 0"), "ok 1 0");
    ASSERT_EQ(writers.back()->Ask("index S.IDX 20"), "ok 1 0");
  }
  for (const char* id : {"R1", "R2"}) {
    readers.push_back(Start(id));
    ASSERT_EQ(readers.back()->Ask("index S.IDX 20"), "ok 1 0");
  }
  for (int i = 0; i < 2; ++i)
    writers[i]->Send("stress 0 " + std::to_string(changes) + " " + std::to_string(5 + i) + " JW" +
                     std::to_string(i) + ".TXT");
  for (auto& reader : readers)
    reader->Send("scan " + std::to_string(passes) + " " + std::to_string(fixed));
  for (auto& reader : readers) {
    std::string answer = reader->Answer(RunAnswerMs());
    ASSERT_EQ(answer.rfind("ok bad=0 ", 0), 0u) << answer << "\n" << reader->Transcript();
    std::cout << "[ reader ] " << answer << "\n";  // the restarts the reader needed
  }
  for (auto& writer : writers) {
    ASSERT_EQ(writer->Answer(RunAnswerMs()), "ok done");
    EXPECT_EQ(writer->Ask("closeindex"), "ok");
  }
  writers.clear();
  readers.clear();
  std::string out;
  EXPECT_EQ(db_test::RunToEnd(db_test::ProgramPath(DB_DBCHECK_PATH), {"index", "S.IDX", "20"}, out), 0)
      << out;
}

}  // namespace

namespace {

// A record in edit at a station (its lock byte held) is in use there, not
// damage: dbcheck reads around the lock byte, as the engine's peek does,
// and still checks the file whole.
TEST_F(StationsTest, DbcheckReadsAroundARecordAStationHoldsAndCallsTheFileSound) {
  MakeFile("T.DAT", kRec, 3);
  auto a = Start("A");
  ASSERT_EQ(a->Ask("open 0 T.DAT 40 0"), "ok 1 0");
  ASSERT_EQ(a->Ask("free 0 3"), "ok");
  ASSERT_EQ(a->Ask("read 0 2"), "ok 1 b 98");
  std::string out;
  EXPECT_EQ(DbCheck({"data", "T.DAT", "40"}, out), 0) << out;
  EXPECT_NE(out.find("sound, 4 records, 2 in use, 1 free"), std::string::npos) << out;
  if (!db_test::UnderWine()) {  // Wine refuses no read of a locked byte: nothing to read around
    EXPECT_NE(out.find("1 records held by a station"), std::string::npos) << out;
  }
  EXPECT_EQ(a->Ask("unlock 0 2"), "ok");
  EXPECT_EQ(DbCheck({"data", "T.DAT", "40"}, out), 0) << out;
  EXPECT_EQ(out.find("held by a station"), std::string::npos) << out;
}

}  // namespace
