// A second station for the record layer's tests: one process working on the
// sample table (sample_table.h) as a program of the suite would, driven line
// by line.
//
//   records_station FOLDER STATION   the table in FOLDER, as station STATION
//
// It runs the programs' start-up on a headless 80 x 25 screen and opens the
// table. Each line on its standard input is a command; each answer is a line
// starting "ok" ("bye" and the exit code after quit). CODE names a record
// by its code (index 1).
//
//   lock CODE       the record read with its lock, which stays held ("ok N")
//   release CODE [MS]  its lock released (after MS milliseconds)
//   delete CODE MS  after MS milliseconds the record deleted as the list
//                   deletes it, waiting for its lock ("ok 1" when deleted)
//   add CODE NAME   a new record stored as the list stores it ("ok N", its
//                   number; "ok 0" when refused)
//   count           the live records ("ok N")
//   churn SEED ROUND JOURNAL   table changes until killed (the kill loop, below)
//   verify JOURNAL  after a kill: "ok verified LIVE LOST FINISHED UNDONE KIND"
//                   (KIND: the change under way at the kill, below)
//   reindex WORDS...  the table closed, its index rebuilt as reindex does
//                   ("ok CODE")
//   quit
//
//   records_station FOLDER STATION RECLEN   the sample table with RECLEN-byte
//                   records (the bytes after its fields filled per version)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../sample_table.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "startup/startup.h"
#include "../../db/helpers/station_frame.h"

namespace {

using station::Say;

// Positions the table on the record of a code (CurrentRecord 0 when none).
void PositionOn(records::TableView& table, const std::string& code) {
  auto probe = records::BlankRecord(table.Def);
  records::SetFieldText(table.Def.Fields[records_test::kCode], probe.data(), code);
  std::string key = records::RecordKey(table, 1, probe.data());
  std::int32_t n = 0;
  db::SeekKey(table.Index(1), n, key);
  table.CurrentIndex = 1;
  table.CurrentKey = key;
  table.CurrentRecord = db::DbOk() ? n : 0;
  if (table.CurrentRecord != 0) records::PeekTableRecord(table, n, table.Record.data());
}

bool Serve(records::TableView& table, const std::string& line) {
  std::istringstream in(line);
  std::string command, code;
  in >> command >> code;
  if (command == "quit") return false;
  if (command == "lock" || command == "release" || command == "delete") PositionOn(table, code);
  if (command == "lock") {
    std::vector<std::uint8_t> buf(table.Record.size());
    db::ReadRecord(table.Data, table.CurrentRecord, buf.data());
    Say("ok " + std::to_string(table.CurrentRecord));
  } else if (command == "release") {
    int ms = 0;
    in >> ms;
    platform::SleepMs(ms);
    db::UnlockRecord(table.Data, table.CurrentRecord);
    Say("ok");
  } else if (command == "delete") {
    int ms = 0;
    in >> ms;
    platform::SleepMs(ms);
    Say("ok " + std::to_string(records::DeleteCurrentRecord(table)));
  } else if (command == "add") {
    std::string name;
    in >> name;
    auto record = records::BlankRecord(table.Def);
    records::SetFieldText(table.Def.Fields[records_test::kCode], record.data(), code);
    records::SetFieldText(table.Def.Fields[records_test::kName], record.data(), name);
    std::int32_t n = 0;
    Say("ok " + std::to_string(records::StoreNewRecord(table, record.data(), n) ? n : 0));
  } else if (command == "count") {
    Say("ok " + std::to_string(db::LiveRecordCount(table.Data)));
  }
  return true;
}


// ---- The table kill loop -----------------------------------------------------
//
// A station makes table changes through the record screens' own calls until
// it is killed; the next one (whose open undid or finished what the dead one
// left) proves that every change that finished is there whole, and that
// the change under way at the kill is either wholly there or wholly not.
// The side journal has one line per step, written once the step returned:
//   A CODE NAME FILL   an add begins        a CODE N   it is record N
//   C CODE NEWCODE NEWNAME NEWFILL   a change of CODE's record begins
//   c CODE             it ended             D CODE     a delete begins
//   d CODE             it ended
// A record's image follows from its code, name and fill byte (the bytes
// after the fields, up to the end): a record written only in part shows.

struct Version {
  std::int32_t N = 0;
  std::string Name;
  char Fill = 0;
};

struct Pending {
  char Op = 0;
  std::string Code, NewCode;
  Version Next;
};

struct Replayed {
  std::map<std::string, Version> Live;
  std::optional<Pending> PendingChange;
};

std::vector<std::uint8_t> ImageOf(const records::TableView& table, const std::string& code, const Version& v) {
  auto record = records::BlankRecord(table.Def);
  records::SetFieldText(table.Def.Fields[records_test::kCode], record.data(), code);
  records::SetFieldText(table.Def.Fields[records_test::kName], record.data(), v.Name);
  for (std::size_t i = 47; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(v.Fill);
  return record;
}

Replayed Replay(const std::string& journalName) {
  Replayed r;
  std::ifstream in(journalName);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string op, code;
    words >> op >> code;
    Pending p{op.empty() ? '?' : op[0], code, code, {}};
    if (op == "A") {
      words >> p.Next.Name >> p.Next.Fill;
      r.PendingChange = p;
    } else if (op == "a" && r.PendingChange) {
      words >> r.PendingChange->Next.N;
      r.Live[code] = r.PendingChange->Next;
      r.PendingChange.reset();
    } else if (op == "C" && r.Live.count(code)) {
      words >> p.NewCode >> p.Next.Name >> p.Next.Fill;
      p.Next.N = r.Live[code].N;
      r.PendingChange = p;
    } else if (op == "c" && r.PendingChange) {
      r.Live.erase(code);
      r.Live[r.PendingChange->NewCode] = r.PendingChange->Next;
      r.PendingChange.reset();
    } else if (op == "D") {
      r.PendingChange = p;
    } else if (op == "d") {
      r.Live.erase(code);
      r.PendingChange.reset();
    }
  }
  return r;
}

class SideJournal {
 public:
  explicit SideJournal(const std::string& name) : out_(name, std::ios::app) {}
  void Note(const std::string& line) { out_ << line << '\n' << std::flush; }

 private:
  std::ofstream out_;
};

bool HasEntry(records::TableView& table, int index, const std::string& key, std::int32_t n) {
  std::string probe = key;
  std::int32_t ref = n;
  db::SeekEntry(table.Index(index), ref, probe);
  return db::DbOk();
}

// The record and both its index entries hold this version of code.
bool Whole(records::TableView& table, const std::string& code, const Version& v) {
  auto image = ImageOf(table, code, v);
  std::vector<std::uint8_t> now(image.size());
  records::PeekTableRecord(table, v.N, now.data());
  return now == image && HasEntry(table, 1, records::RecordKey(table, 1, image.data()), v.N) &&
         HasEntry(table, 2, records::RecordKey(table, 2, image.data()), v.N);
}

// Nothing of this version of code is left: its record free or another's,
// and neither of its keys naming it.
bool Gone(records::TableView& table, const std::string& code, const Version& v) {
  auto image = ImageOf(table, code, v);
  std::vector<std::uint8_t> now(image.size());
  records::PeekTableRecord(table, v.N, now.data());
  return now != image && !HasEntry(table, 1, records::RecordKey(table, 1, image.data()), v.N) &&
         !HasEntry(table, 2, records::RecordKey(table, 2, image.data()), v.N);
}

// The change under way at the kill: 1 when it is there whole (finished), 0
// when nothing of it is (undone), -1 when it is half there.
int Judge(records::TableView& table, Replayed& r) {
  Pending& p = *r.PendingChange;
  if (p.Op == 'A') {
    std::string key = records::RecordKey(table, 1, ImageOf(table, p.Code, p.Next).data());
    std::int32_t n = 0;
    db::SeekKey(table.Index(1), n, key);
    if (!db::DbOk()) return 0;
    p.Next.N = n;
    if (!Whole(table, p.Code, p.Next)) return -1;
    r.Live[p.Code] = p.Next;
    return 1;
  }
  Version old = r.Live[p.Code];
  if (p.Op == 'D') return Whole(table, p.Code, old) ? 0 : Gone(table, p.Code, old) ? (r.Live.erase(p.Code), 1) : -1;
  if (Whole(table, p.Code, old) && (p.NewCode == p.Code || Gone(table, p.NewCode, p.Next))) return 0;
  if (!Whole(table, p.NewCode, p.Next) || (p.NewCode != p.Code && !Gone(table, p.Code, old))) return -1;
  r.Live.erase(p.Code);
  r.Live[p.NewCode] = p.Next;
  return 1;
}

// The kind of the pending change: A add, D delete; a change that moves
// both keys K, the name's key only N, no key (a rewrite in place) R.
char KindOf(Replayed& r) {
  const Pending& p = *r.PendingChange;
  if (p.Op != 'C') return p.Op;
  return p.NewCode != p.Code ? 'K' : p.Next.Name != r.Live[p.Code].Name ? 'N' : 'R';
}

std::string Verify(records::TableView& table, const std::string& journalName) {
  Replayed r = Replay(journalName);
  int lost = 0, finished = 0, undone = 0;
  char kind = r.PendingChange ? KindOf(r) : '-';
  if (r.PendingChange) {
    int verdict = Judge(table, r);
    finished += verdict == 1;
    undone += verdict == 0;
    if (verdict < 0) {
      ++lost;
      std::printf("half there: %c %s\n", r.PendingChange->Op, r.PendingChange->Code.c_str());
    }
  }
  for (const auto& [code, v] : r.Live)
    if (!Whole(table, code, v)) {
      ++lost;
      std::printf("not whole: %s record %d\n", code.c_str(), v.N);
    }
  std::vector<std::uint8_t> buf(table.Record.size());
  std::size_t inUse = 0;
  for (std::int32_t n = 1, total = db::RecordCount(table.Data); n < total; ++n) {
    records::PeekTableRecord(table, n, buf.data());
    inUse += !db::RecordIsFree(buf.data());
  }
  if (inUse != r.Live.size()) {
    ++lost;
    std::printf("%zu records in use, %zu expected\n", inUse, r.Live.size());
  }
  std::fflush(stdout);
  {
    std::ofstream out(journalName + ".new", std::ios::trunc);
    for (const auto& [code, v] : r.Live)
      out << "A " << code << " " << v.Name << " " << v.Fill << "\na " << code << " " << v.N << "\n";
  }
  std::filesystem::rename(journalName + ".new", journalName);
  return "ok verified " + std::to_string(r.Live.size()) + " " + std::to_string(lost) + " " +
         std::to_string(finished) + " " + std::to_string(undone) + " " + kind;
}

std::string Base36(long value, std::size_t width) {
  std::string text(width, '0');
  for (std::size_t i = width; i-- > 0 && value > 0; value /= 36) text[i] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[value % 36];
  return text;
}

// Adds, changes (the fill only: a rewrite in place; the name too; or the
// code, name and fill) and deletes, for ever: the kill ends it.
void Churn(records::TableView& table, unsigned seed, int round, const std::string& journalName) {
  Replayed r = Replay(journalName);
  std::vector<std::string> codes;
  for (const auto& [code, v] : r.Live) codes.push_back(code);
  SideJournal journal(journalName);
  std::mt19937 random(seed);
  for (long i = 0;; ++i) {
    const std::string tag = Base36(round * 100000L + i, 6);
    Version next{0, "N" + tag, static_cast<char>('a' + random() % 26)};
    unsigned dice = random() % 100;
    if (codes.size() < 100 || (codes.size() < 300 && dice < 40)) {
      journal.Note("A " + tag + " " + next.Name + " " + next.Fill);
      records::StoreNewRecord(table, ImageOf(table, tag, next).data(), next.N);
      journal.Note("a " + tag + " " + std::to_string(next.N));
      r.Live[tag] = next;
      codes.push_back(tag);
      continue;
    }
    std::size_t k = random() % codes.size();
    std::string code = codes[k];
    Version old = r.Live[code];
    PositionOn(table, code);
    if (dice < 75) {
      std::string newCode = dice % 3 == 2 ? tag : code;
      next.N = old.N;
      if (dice % 3 == 0) next.Name = old.Name;
      std::vector<std::uint8_t> before(table.Record.size());
      db::ReadRecord(table.Data, old.N, before.data());
      journal.Note("C " + code + " " + newCode + " " + next.Name + " " + next.Fill);
      if (!records::StoreEditedRecord(table, old.N, before.data(), ImageOf(table, newCode, next).data())) return;
      journal.Note("c " + code);
      r.Live.erase(code);
      r.Live[newCode] = next;
      codes[k] = newCode;
    } else {
      journal.Note("D " + code);
      if (!records::DeleteCurrentRecord(table)) return;
      journal.Note("d " + code);
      r.Live.erase(code);
      codes[k] = codes.back();
      codes.pop_back();
    }
  }
}

bool ServeKillLoop(records::TableView& table, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "churn") {
    unsigned seed = 0;
    int round = 0;
    std::string journal;
    in >> seed >> round >> journal;
    Say("ok churning");
    Churn(table, seed, round, journal);
    Say("ok stopped");
  } else if (command == "verify") {
    std::string journal;
    in >> journal;
    Say(Verify(table, journal));
  } else if (command == "reindex") {
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (db::Result closed = records::CloseTable(table); !closed.Ok()) Say("failed " + std::to_string(closed.Code));
    else Say("ok " + std::to_string(db::RebuildIndexWords(false, words, platform::ArgumentToCp852).Code));
  } else if (command != "lock" && command != "release" && command != "delete" && command != "add" &&
             command != "count") {
    Say("unknown " + command);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  platform::HeadlessTerminal terminal(80, 25);
  const int recLen = argc > 3 ? std::atoi(argv[3]) : 50;
  return station::RunStation(argc, argv, terminal, [recLen] {
    const records::TableDef def = records_test::SampleTable(recLen);
    records::TableView table(def);
    records::OpenTable(table);
    records::SetCurrentTable(&table);
    station::ServeLines([&](const std::string& line) { return Serve(table, line) && ServeKillLoop(table, line); });
    records::SetCurrentTable(nullptr);
  });
}
