// A station for the engine's tests: one process working on the shared files
// as a program of the suite would, driven line by line.
//
//   db_station FOLDER STATION      works in FOLDER as station STATION
//
// It runs the programs' start-up on a headless 80 x 25 screen. Each line on
// its standard input is a command; each answer is a line starting "ok" (or
// "bye" for quit). Whenever the rows 11..16 of columns 31..59 (inside the
// busy boxes appear) change, a line "screen " + their trimmed texts joined
// by "|" is written. A key arrives when the test writes it into the file
// STATION + ".key" in FOLDER (the file is taken away).
//
// Commands (ID is a file number 0..9; records are filled with CH, byte 4 set):
//   open ID NAME RECLEN MODE   create ID NAME RECLEN   close ID
//   read ID N   peek ID N   write ID N CH   unlock ID N   append ID CH
//   free ID N   lockfile ID   unlockfile ID   share ID   unshare ID
//   group ID G   lockgroup   unlockgroup   header ID   elsewhere ID N
//   index NAME KEYLEN   closeindex   the station's one index (opened or created)
//   stress ID COUNT SEED JOURNAL   scan PASSES FIXED   quit
//   recover ID JOURNAL   churn ID SEED ROUND JOURNAL   (the kill loop, below)
//   insertkey N KEY   InsertKey into the station's index
//   dieafter N   the process ends, as if killed, right after its Nth index
//                page write from now
//   pauseafter N right after its Nth index page write from now the station
//                says "paused" and holds its change until its next input line
//   oldrelease   index changes from now on keep no journal
//   erase NAME   erases the file NAME; answers "ok" and the platform's result
//                number (0 when erased)
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "startup/startup.h"
#include "station_frame.h"

namespace {

using station::Say;

class StationTerminal : public platform::HeadlessTerminal {
 public:
  explicit StationTerminal(std::string keyFile) : keyFile_(std::move(keyFile)) {}
  void Flush() override {
    HeadlessTerminal::Flush();
    std::string boxes;
    for (int row = 11; row <= 16; ++row) {
      std::string text = RowText(row - 1).substr(30, 29);
      std::size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
      if (first != std::string::npos) boxes += text.substr(first, last - first + 1);
      if (row < 16) boxes += "|";
    }
    if (boxes != shown_) Say("screen " + boxes);
    shown_ = boxes;
  }
  bool EventWaiting() override {
    TakeKeys();
    return HeadlessTerminal::EventWaiting();
  }
  bool NextEvent(platform::Event& event) override {
    TakeKeys();
    return HeadlessTerminal::NextEvent(event);
  }
  bool PeekEvent(platform::Event& event) override {
    TakeKeys();
    return HeadlessTerminal::PeekEvent(event);
  }

 private:
  // The key file is first claimed by a rename, then read: a key is taken
  // once and never lost to a read that found the file but not its bytes
  // (under Wine a file just renamed into place cannot always be opened at
  // once). A claimed file that cannot be read yet is read at the next poll.
  void TakeKeys() {
    std::error_code ec;
    const std::string taken = keyFile_ + ".taken";
    if (!std::filesystem::exists(taken, ec)) {
      std::filesystem::rename(keyFile_, taken, ec);
      if (ec) return;  // no key typed
    }
    std::ifstream in(taken, std::ios::binary);
    if (!in) return;
    std::string keys((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(taken, ec);
    for (char c : keys) {
      if (c == 27) PushKey(0x01, 27);
      else if (c == '\r') PushKey(0x1C, 13);
      else PushChar(c);
    }
  }
  std::string keyFile_, shown_;
};

std::array<db::DataFile, 10> g_files;
int g_recLen[10] = {};
db::IndexFile g_index;  // used by stress when open (Handle set)

std::vector<std::uint8_t> Image(int id, char fill) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(g_recLen[id]), static_cast<std::uint8_t>(fill));
  image[4] = 1;
  return image;
}

std::string RecordText(int id, const std::vector<std::uint8_t>& buf) {
  return std::string(1, static_cast<char>(buf[5])) + " " + std::to_string(buf[g_recLen[id] - 1]);
}

// Random appends and frees of this station's own records, each written to
// the journal as "A n tag" or "F n tag" once done; every 50th operation
// appends under a whole-file lock. A record that does not hold the tag this
// station wrote there is journalled as "X n". When the station's index is
// open, an appended record's tag goes in as its key (InsertKey takes the
// index's header lock) and a record's key is removed before it is freed; a
// refused insert or remove, or a remove that names another record, is
// journalled as "K n".
void Stress(int id, int count, unsigned seed, const std::string& journalName) {
  db::DataFile& f = g_files[id];
  const bool keyed = g_index.Handle->IsOpen();
  std::FILE* journal = std::fopen(journalName.c_str(), "w");
  std::mt19937 random(seed);
  std::vector<std::pair<std::int32_t, std::string>> mine;
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(g_recLen[id]));
  for (int i = 0; i < count; ++i) {
    if (mine.empty() || random() % 100 < 60) {
      std::string tag = db::StationId() + "-" + std::to_string(i);
      auto image = Image(id, ' ');
      std::copy(tag.begin(), tag.end(), image.begin() + 5);
      std::int32_t n = 0;
      bool whole = i % 50 == 49;
      if (whole) whole = db::LockWholeFile(f);  // false only on Esc
      db::AppendRecord(f, n, image.data());
      if (whole) db::UnlockWholeFile(f);
      if (keyed) {
        db::InsertKey(g_index, n, tag);
        if (!db::DbOk()) std::fprintf(journal, "K %d\n", n);
      }
      std::fprintf(journal, "A %d %s\n", n, tag.c_str());
      mine.emplace_back(n, tag);
    } else {
      std::size_t k = random() % mine.size();
      auto [n, tag] = mine[k];
      if (keyed) {
        std::int32_t removed = n;
        db::RemoveKey(g_index, removed, tag);
        if (!db::DbOk() || removed != n) std::fprintf(journal, "K %d\n", n);
      }
      db::ReadRecord(f, n, buf.data());
      if (std::string(buf.begin() + 5, buf.begin() + 5 + static_cast<long>(tag.size())) != tag)
        std::fprintf(journal, "X %d\n", n);
      db::FreeRecord(f, n);
      std::fprintf(journal, "F %d %s\n", n, tag.c_str());
      mine[k] = mine.back();
      mine.pop_back();
    }
  }
  std::fclose(journal);
}

// Full passes over the station's index, forwards and backwards in turn,
// while other stations change it. The keys ending in "." are a fixed set of
// FIXED keys nobody removes: each pass must give them all, every pass its
// keys in strictly rising (falling) order. The answer counts the passes
// that broke this and the restarts the searches needed.
std::string Scan(int passes, int fixed) {
  int bad = 0;
  std::string first;
  for (int pass = 0; pass < passes; ++pass) {
    bool forward = pass % 2 == 0;
    auto step = forward ? db::StepNext : db::StepPrev;
    std::string key, last;
    std::int32_t n = 0;
    int seen = 0, keys = 0;
    bool ordered = true;
    db::ResetPosition(g_index);
    for (step(g_index, n, key); db::DbOk(); step(g_index, n, key)) {
      if (keys++ > 0 && (forward ? key <= last : key >= last)) ordered = false;
      if (!key.empty() && key.back() == '.') ++seen;
      last = key;
    }
    if (ordered && seen == fixed) continue;
    if (bad++ == 0)
      first = " first=" + std::to_string(pass) + ":" + std::to_string(seen) + (ordered ? "" : "!");
  }
  return "ok bad=" + std::to_string(bad) + " restarts=" + std::to_string(db::State().SearchRestarts) +
         " most=" + std::to_string(db::State().MostRestartsInOneSearch) + first;
}

// ---- The kill loop -------------------------------------------------------------
//
// A station works on its data file and index until it is killed; the next
// one completes what the dead one left half done and proves that every
// change it finished is there. The side journal has one line per step,
// each written (and flushed) once the step has returned:
//   + TAG      an append of TAG's record begins   A N TAG   it is record N
//   I N TAG    its key is in the index             - N TAG   its removal begins
//   R N TAG    its key is out of the index         F N TAG   the record is free
// A tag names the round and the step, so it is never used twice.

struct KillLoopState {
  enum Phase { kAppended, kKeyed, kUnkeyed };
  struct Item {
    std::int32_t N = 0;
    Phase CurrentPhase = kAppended;
  };
  std::map<std::string, Item> Live;
  std::set<std::string> Removed;  // keys taken out since the last recovery
  std::string Appending, Removing;  // the step under way at the end
};

KillLoopState ReplayJournal(const std::string& name) {
  KillLoopState s;
  std::ifstream in(name);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string op, tag;
    std::int32_t n = 0;
    if (!(words >> op)) continue;
    if (op == "+") {
      if (words >> tag) s.Appending = tag;
      continue;
    }
    if (!(words >> n >> tag)) continue;
    auto it = s.Live.find(tag);
    if (op == "A") {
      s.Live.emplace(tag, KillLoopState::Item{n, KillLoopState::kAppended});
      s.Appending.clear();
    } else if (op == "I" && it != s.Live.end()) {
      it->second.CurrentPhase = KillLoopState::kKeyed;
    } else if (op == "-") {
      s.Removing = tag;
    } else if (op == "R" && it != s.Live.end()) {
      it->second.CurrentPhase = KillLoopState::kUnkeyed;
      s.Removed.insert(tag);
      s.Removing.clear();
    } else if (op == "F") {
      s.Live.erase(tag);
    }
  }
  return s;
}

bool HoldsTag(const std::vector<std::uint8_t>& buf, const std::string& tag) {
  return buf[4] != 0 && std::string(buf.begin() + 5, buf.begin() + 5 + static_cast<long>(tag.size())) == tag &&
         buf[5 + tag.size()] == ' ';
}

bool KeyPresent(const std::string& tag, std::int32_t& n) {
  std::string key = tag;
  db::SeekKey(g_index, n, key);
  return db::DbOk();
}

class SideJournal {
 public:
  explicit SideJournal(const std::string& name) : file_(std::fopen(name.c_str(), "a")) {}
  ~SideJournal() {
    if (file_) std::fclose(file_);
  }
  void Note(const std::string& op, std::int32_t n, const std::string& tag) {
    std::string line = op + " " + (op == "+" ? tag : std::to_string(n) + " " + tag) + "\n";
    std::fputs(line.c_str(), file_);
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
};

// Completes the step the dead station left under way, checks that every
// finished change is there, and rewrites the journal as the items alive.
// Answers "ok recovered LIVE LOST".
std::string Recover(int id, const std::string& journalName) {
  db::DataFile& f = g_files[id];
  KillLoopState s = ReplayJournal(journalName);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(g_recLen[id]));
  std::int32_t n = 0;
  if (!s.Appending.empty()) {
    for (std::int32_t r = 1, total = db::RecordCount(f); r < total; ++r) {
      db::PeekRecord(f, r, buf.data());
      if (HoldsTag(buf, s.Appending)) s.Live.emplace(s.Appending, KillLoopState::Item{r, KillLoopState::kAppended});
    }
  }
  if (!s.Removing.empty() && s.Live.count(s.Removing) && !KeyPresent(s.Removing, n)) {
    s.Live[s.Removing].CurrentPhase = KillLoopState::kUnkeyed;
    s.Removed.insert(s.Removing);
  }
  int lost = 0;
  for (auto it = s.Live.begin(); it != s.Live.end();) {
    auto& [tag, item] = *it;
    db::PeekRecord(f, item.N, buf.data());
    if (item.CurrentPhase == KillLoopState::kUnkeyed) {  // its free may have been cut short
      if (HoldsTag(buf, tag)) db::FreeRecord(f, item.N);
      it = s.Live.erase(it);
      continue;
    }
    if (!HoldsTag(buf, tag)) {
      ++lost;
      std::fprintf(stdout, "lost record %d %s\n", item.N, tag.c_str());
      it = s.Live.erase(it);
      continue;
    }
    if (item.CurrentPhase == KillLoopState::kAppended && !KeyPresent(tag, n)) db::InsertKey(g_index, item.N, tag);
    item.CurrentPhase = KillLoopState::kKeyed;
    if (!KeyPresent(tag, n) || n != item.N) {
      ++lost;
      std::fprintf(stdout, "lost key %d %s\n", item.N, tag.c_str());
    }
    ++it;
  }
  for (const std::string& tag : s.Removed)
    if (KeyPresent(tag, n)) {
      ++lost;
      std::fprintf(stdout, "removed key back %s\n", tag.c_str());
    }
  std::fflush(stdout);
  {
    std::ofstream out(journalName + ".new", std::ios::trunc);
    for (const auto& [tag, item] : s.Live) out << "A " << item.N << " " << tag << "\nI " << item.N << " " << tag << "\n";
  }
  std::filesystem::rename(journalName + ".new", journalName);
  return "ok recovered " + std::to_string(s.Live.size()) + " " + std::to_string(lost);
}

// Random appends with their keys and removals with their frees, noted in
// the side journal step by step, for at most count steps (the kill comes
// long before).
void Churn(int id, unsigned seed, const std::string& round, const std::string& journalName, int count) {
  db::DataFile& f = g_files[id];
  KillLoopState s = ReplayJournal(journalName);
  std::vector<std::pair<std::int32_t, std::string>> mine;
  for (const auto& [tag, item] : s.Live) mine.emplace_back(item.N, tag);
  SideJournal journal(journalName);
  std::mt19937 random(seed);
  for (int i = 0; i < count; ++i) {
    std::size_t size = mine.size();
    if (size < 200 || (size < 600 && random() % 100 < 55)) {
      std::string tag = round + "-" + std::to_string(i);
      auto image = Image(id, ' ');
      std::copy(tag.begin(), tag.end(), image.begin() + 5);
      std::int32_t n = 0;
      journal.Note("+", 0, tag);
      db::AppendRecord(f, n, image.data());
      journal.Note("A", n, tag);
      db::InsertKey(g_index, n, tag);
      journal.Note(db::DbOk() ? "I" : "K", n, tag);
      mine.emplace_back(n, tag);
    } else {
      std::size_t k = random() % size;
      auto [n, tag] = mine[k];
      journal.Note("-", n, tag);
      std::int32_t removed = n;
      db::RemoveKey(g_index, removed, tag);
      journal.Note(db::DbOk() && removed == n ? "R" : "K", n, tag);
      db::FreeRecord(f, n);
      journal.Note("F", n, tag);
      mine[k] = mine.back();
      mine.pop_back();
    }
  }
}

// A page store around the index's own that stops right after its Nth page
// write: the process ends, as a kill would (no destructor, no flush), or
// it says "paused" and holds the change (and the header lock) until its
// next input line.
class StoppingPages : public db::PageStore {
 public:
  enum class Stop { kDie, kPause };
  StoppingPages(std::unique_ptr<db::PageStore> inner, int writes, Stop stop)
      : inner_(std::move(inner)), left_(writes), stop_(stop) {}
  void Read(std::int32_t n, std::uint8_t* record) override { inner_->Read(n, record); }
  void Write(std::int32_t n, const std::uint8_t* record) override {
    inner_->Write(n, record);
    if (--left_ != 0) return;
    if (stop_ == Stop::kDie) std::_Exit(9);
    station::Say("paused");
    std::string line;
    std::getline(std::cin, line);
  }
  void Release(std::int32_t n) override { inner_->Release(n); }
  std::int32_t Allocate() override { return inner_->Allocate(); }
  void Free(std::int32_t n) override { inner_->Free(n); }
  std::int32_t BeginChange() override { return inner_->BeginChange(); }
  void EndChange(std::int32_t root) override { inner_->EndChange(root); }
  std::int32_t PeekRoot() override { return inner_->PeekRoot(); }
  bool HoldChanges() override { return inner_->HoldChanges(); }
  void ReleaseChanges() override { inner_->ReleaseChanges(); }
  bool ChangeRunning() override { return inner_->ChangeRunning(); }
  bool Holds(std::int32_t n) override { return inner_->Holds(n); }
  void Fault(std::int32_t n) override { inner_->Fault(n); }

 private:
  std::unique_ptr<db::PageStore> inner_;
  int left_;
  Stop stop_;
};

std::unique_ptr<db::JournalSwitch> g_oldRelease;

bool Serve(const std::string& line) {
  std::istringstream in(line);
  std::string command, name;
  int id = 0;
  std::int32_t n = 0;
  in >> command;
  if (command == "quit") return false;
  static const std::set<std::string> withoutFile{"lockgroup", "unlockgroup", "index", "closeindex",
                                                 "dieafter", "pauseafter", "oldrelease", "insertkey", "scan",
                                                 "erase"};
  if (!withoutFile.count(command))
    in >> id;
  if (id < 0 || id > 9) id = 0;
  db::DataFile& f = g_files[id];
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(g_recLen[id] > 0 ? g_recLen[id] : 1), '?');
  if (command == "open" || command == "create") {
    int mode = 0;
    in >> name >> g_recLen[id] >> mode;
    db::SetOpenMode(static_cast<db::OpenMode>(mode), 0);
    db::Result opened =
        command == "open" ? db::OpenDataFile(f, name, g_recLen[id]) : db::CreateDataFile(f, name, g_recLen[id]);
    db::ResetOpenMode();
    Say("ok " + std::to_string(opened.Ok()) + " " + std::to_string(opened.Code));
  } else if (command == "close") {
    db::Result closed = db::CloseDataFile(f);
    Say(closed.Ok() ? "ok" : "failed " + std::to_string(closed.Code));
  } else if (command == "read" || command == "peek") {
    in >> n;
    if (command == "read") db::ReadRecord(f, n, buf.data());
    else db::PeekRecord(f, n, buf.data());
    Say("ok " + std::to_string(db::RecordInUse()) + " " + RecordText(id, buf));
  } else if (command == "write") {
    char fill = '?';
    in >> n >> fill;
    db::WriteRecord(f, n, Image(id, fill).data());
    Say("ok");
  } else if (command == "unlock") {
    in >> n;
    db::UnlockRecord(f, n);
    Say("ok");
  } else if (command == "append") {
    char fill = '?';
    in >> fill;
    db::AppendRecord(f, n, Image(id, fill).data());
    Say("ok " + std::to_string(n));
  } else if (command == "free") {
    in >> n;
    db::FreeRecord(f, n);
    Say("ok");
  } else if (command == "lockfile") {
    Say("ok " + std::to_string(db::LockWholeFile(f)));
  } else if (command == "unlockfile") {
    db::UnlockWholeFile(f);
    Say("ok");
  } else if (command == "share") {
    Say("ok " + std::to_string(db::ShareFile(f)));
  } else if (command == "unshare") {
    db::UnshareFile(f);
    Say("ok");
  } else if (command == "group") {
    int group = 0;
    in >> group;
    db::SetFileGroup(f, group);
    Say("ok");
  } else if (command == "lockgroup") {
    Say("ok " + std::to_string(db::LockGroup()));
  } else if (command == "unlockgroup") {
    db::UnlockGroup();
    Say("ok");
  } else if (command == "header") {
    db::RefreshHeaderPeek(f);
    Say("ok " + std::to_string(f.Header.TxFlag) + " " + std::to_string(f.Header.ShareCount));
  } else if (command == "elsewhere") {
    in >> n;
    Say("ok " + std::to_string(db::RecordLockedElsewhere(f, n)));
  } else if (command == "index") {
    int keyLen = 0;
    in >> name >> keyLen;
    db::Result opened = db::OpenOrCreateIndex(g_index, name, keyLen, 0);
    Say("ok " + std::to_string(opened.Ok()) + " " + std::to_string(opened.Code));
  } else if (command == "closeindex") {
    db::Result closed = db::CloseIndex(g_index);
    Say(closed.Ok() ? "ok" : "failed " + std::to_string(closed.Code));
  } else if (command == "recover") {
    in >> name;
    Say(Recover(id, name));
  } else if (command == "churn") {
    unsigned seed = 0;
    std::string round;
    in >> seed >> round >> name;
    Say("ok churning");
    Churn(id, seed, round, name, 200000);
    Say("ok churned");
  } else if (command == "insertkey") {
    in >> n >> name;
    db::InsertKey(g_index, n, name);
    Say("ok " + std::to_string(db::DbOk()));
  } else if (command == "dieafter" || command == "pauseafter") {
    int writes = 1;
    in >> writes;
    auto stop = command == "dieafter" ? StoppingPages::Stop::kDie : StoppingPages::Stop::kPause;
    g_index.Pages = std::make_unique<StoppingPages>(std::move(g_index.Pages), writes, stop);
    Say("ok");
  } else if (command == "oldrelease") {
    g_oldRelease = std::make_unique<db::JournalSwitch>(false);
    Say("ok");
  } else if (command == "stress") {
    int count = 0;
    unsigned seed = 0;
    in >> count >> seed >> name;
    Stress(id, count, seed, name);
    Say("ok done");
  } else if (command == "erase") {
    in >> name;
    Say("ok " + std::to_string(platform::EraseFile(name)));
  } else if (command == "scan") {
    int passes = 0, fixed = 0;
    in >> passes >> fixed;
    Say(Scan(passes, fixed));
  } else {
    Say("unknown " + command);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  StationTerminal terminal(argc >= 3 ? std::string(argv[2]) + ".key" : std::string());
  return station::RunStation(argc, argv, terminal, [] { station::ServeLines(Serve); });
}
