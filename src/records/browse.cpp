// The list loop and its commands: edit under the record's lock, delete with
// confirmation, group edit, new records and the filter entry.
#include <algorithm>
#include <array>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "records/loops.h"
#include "records/records.h"
#include "text/text.h"
#include "ui/ui.h"

using namespace platform::literals;

namespace records {

const std::string_view kEditHelp = "F10-tárolás Esc-kilépés"_cp;

namespace {

constexpr std::string_view kEntryHelp = "F10-tárolás Esc-rögzités_vége"_cp;
constexpr std::string_view kFilterTitle = " Szürö "_cp;

// The key of the current row (CurrentKey) as the current index holds it.
std::string RowKey(const TableView& table) {
  const IndexDef& def = table.Def.Indexes[static_cast<std::size_t>(table.CurrentIndex - 1)];
  std::string key = text::UpperCaseText(table.CurrentKey);
  key.resize(std::min<std::size_t>(key.size(), static_cast<std::size_t>(std::min(def.KeyLength, db::kMaxKeyLen))));
  return key;
}

// The current index becomes the default one, and the current key that of
// the current record under it.
void UseDefaultIndex(TableView& table) {
  table.CurrentIndex = table.DefaultIndex;
  table.CurrentKey = RecordKey(table, table.CurrentIndex, table.Record.data());
}

// The entries a group edit has offered: "key + ######record" in a
// temporary index of this station, erased when the run ends.
class OfferedEntries {
 public:
  explicit OfferedEntries(const TableView& table) : name_("T" + db::StationId() + "$.idx") {
    const IndexDef& def = table.Def.Indexes[static_cast<std::size_t>(table.CurrentIndex - 1)];
    // Room for the widest record number: "######" writes a longer one whole.
    db::CreateIndexGuarded(index_, name_, std::min(def.KeyLength + 10, db::kMaxKeyLen), 0);
  }
  ~OfferedEntries() {
    (void)db::CloseIndex(index_);  // erased next: nothing to keep
    (void)platform::EraseFile(name_);  // a work file left behind harms no one
  }
  OfferedEntries(const OfferedEntries&) = delete;
  OfferedEntries& operator=(const OfferedEntries&) = delete;

  void Add(const std::string& key, std::int32_t n) { db::InsertKey(index_, n, Entry(key, n)); }
  bool Holds(const std::string& key, std::int32_t n) {
    std::int32_t ref = 0;
    std::string entry = Entry(key, n);
    return db::SeekKey(index_, ref, entry);
  }

 private:
  static std::string Entry(const std::string& key, std::int32_t n) {
    return key + text::FormatPicture("######", n);
  }
  std::string name_;
  db::IndexFile index_;
};

// From the entry (key, n) that was just edited, the next entry of the
// current index not offered yet becomes the current record; false when
// none follows.
bool NextUnoffered(TableView& table, OfferedEntries& offered, std::string key, std::int32_t n) {
  db::IndexFile& x = table.Index(table.CurrentIndex);
  std::string remembered = key;
  bool found = db::SeekEntry(x, n, key);
  if (!found) {
    key = remembered;
    found = db::SeekKeyAtLeast(x, n, key);
  }
  while (found && offered.Holds(key, n)) found = db::StepNext(x, n, key);
  if (!found) return false;
  table.CurrentKey = key;
  table.CurrentRecord = n;
  PeekTableRecord(table, n, table.Record.data());
  return true;
}

// The form on record n, locked by this station, until it is stored (F10)
// or left (Esc); the lock is released either way. A store refused for a
// taken key opens the form again on the edited copy.
std::uint8_t EditLocked(TableView& table, std::int32_t n, const std::vector<std::uint8_t>& before,
                        std::string_view keyHelp) {
  std::vector<std::uint8_t> record = before;
  while (EditForm(table, record, table.Def.Title, keyHelp) == key::kF10) {
    if (!StoreEditedRecord(table, n, before.data(), record.data())) {
      if (table.Data.Held.count(n) > 0) continue;  // a key taken: the form again
      break;                                       // the record changed under the form
    }
    table.Record = record;
    table.CurrentKey = RecordKey(table, table.CurrentIndex, record.data());
    FindCurrent(table);
    RedrawList(table);
    return key::kF10;
  }
  db::UnlockRecord(table.Data, n);
  table.Record = before;
  FindCurrent(table);
  RedrawList(table);
  return key::kEsc;
}

// One new record through the form; false when the form was left with Esc.
bool EnterOneRecord(TableView& table, std::string_view keyHelp) {
  std::vector<std::uint8_t> record = BlankRecord(table.Def);
  while (EditForm(table, record, table.Def.Title, keyHelp) == key::kF10) {
    std::int32_t n = 0;
    if (!StoreNewRecord(table, record.data(), n)) continue;
    table.CurrentRecord = n;
    table.CurrentKey = RecordKey(table, table.CurrentIndex, record.data());
    table.Record = record;
    FindCurrent(table);
    return true;
  }
  return false;
}

// F7: the form on the filter record; F10 turns the filter on and lists
// from the start, Esc turns it off.
void EnterFilter(TableView& table) {
  table.FilterOn = EditForm(table, table.Filter, kFilterTitle, kEditHelp) == key::kF10;
  if (table.FilterOn) {
    table.CurrentKey.clear();
    table.CurrentRecord = 0;
  } else {
    UseDefaultIndex(table);
  }
}

void EditFromList(TableView& table) {
  if (table.ListMode != 1) {
    table.ListMode = 1;
    RedrawList(table);
  }
  EditCurrentRecord(table, kEditHelp);
}

// The list's answer when it has nothing to show: the command to run, or 0
// to show the list again.
std::uint8_t EmptyListCommand(TableView& table) {
  if (table.FilterOn) {
    table.FilterOn = false;
    table.GroupEditCount = 0;
    UseDefaultIndex(table);
    ui::Ask("Nincs megfelelö tétel!..."_cp, "");
    return 0;
  }
  int current = 1;
  std::uint8_t answer = UpperKey(MenuBar("RrRögzités VvVége"_cp, current));
  if (answer == 'R') return 'R';
  if (answer == 'V') return key::kEsc;
  return 0;
}

using ListCommand = Command<bool>;  // false: the list ends

// The list's commands, in the order of its key-help line.
constexpr std::array<ListCommand, 8> kListCommands = {{
    {"Rögzit"_cp, {'R'}, [](TableView& table) { EnterNewRecords(table, true, kEntryHelp); return true; }},
    {"Javit", {'J', key::kEnter}, [](TableView& table) { EditFromList(table); return true; }},
    {"Ins-új"_cp, {key::kIns}, [](TableView& table) { EnterNewRecords(table, false, kEditHelp); return true; }},
    {"Töröl"_cp, {'T', key::kDel}, [](TableView&) { ConfirmDelete(); return true; }},
    {"Keres", {'K'}, [](TableView& table) { (void)KeySearch(table); return true; }},
    {"Csop.jav", {'C'}, [](TableView& table) { GroupEdit(table); return true; }},
    {"Esc-ki", {key::kEsc}, [](TableView&) { return false; }},
    {"", {key::kF7}, [](TableView& table) { EnterFilter(table); return true; }},
}};

// The key-help line: the commands' words.
std::string ListHelp() {
  return OfferedWords(kListCommands, [](const ListCommand& command) { return std::string(command.word); });
}

// Every key of the commands.
std::string ListExitKeys() {
  std::string keys;
  for (const ListCommand& command : kListCommands)
    for (std::uint8_t k : command.keys)
      if (k != 0) keys += static_cast<char>(k);
  return keys;
}

// Runs the command of a key; false for Esc.
bool RunListCommand(TableView& table, std::uint8_t k) {
  const ListCommand* command = CommandOfKey(kListCommands, k);
  return !command || command->run(table);
}

}  // namespace

void BrowseTable() {
  TableView& table = *CurrentTable();
  table.Record = BlankRecord(table.Def);
  for (;;) {
    std::uint8_t command = UpperKey(ShowList(table, ListHelp(), ListExitKeys()));
    if (command == 0) command = EmptyListCommand(table);
    if (command != 0 && !RunListCommand(table, command)) return;
  }
}

void ConfirmDelete() {
  TableView& table = *CurrentTable();
  if (db::RecordLockedElsewhere(table.Data, table.CurrentRecord)) {
    ui::Ask("Foglalt a rekord!"_cp, "");
    return;
  }
  if (ui::Ask("Biztosan törölni akart? I/N : "_cp, "IN") != 1) return;
  DeleteCurrentRecord(table);
  RedrawList(table);
}

namespace {

// The record of the chosen row read under its lock: true (the lock held,
// the image in record) when it is in use and still holds the row's key
// under the current index. Otherwise another station deleted it or put
// another record in its place since the row was read: the lock is
// released, the user told, and the position settled from the index.
bool LockChosenRecord(TableView& table, std::int32_t n, std::vector<std::uint8_t>& record) {
  record.assign(table.Record.size(), 0);
  db::ReadRecord(table.Data, n, record.data());
  bool inUse = db::RecordInUse();
  if (inUse && RecordKey(table, table.CurrentIndex, record.data()) == RowKey(table)) return true;
  if (inUse) db::UnlockRecord(table.Data, n);  // a free record is not left locked
  ui::Ask(inUse ? kRecordChanged : "A rekordot idöközben törölték !"_cp, "");
  SettleCurrent(table);
  return false;
}

}  // namespace

bool DeleteCurrentRecord(TableView& table) {
  if (RefusedReadOnly(table)) return false;
  std::string key = RowKey(table);
  std::int32_t n = table.CurrentRecord, ref = n;
  std::vector<std::uint8_t> record;
  if (n < 1 || !LockChosenRecord(table, n, record)) return false;
  std::string probe = key;
  if (!db::SeekEntry(table.Index(table.CurrentIndex), ref, probe)) {
    db::UnlockRecord(table.Data, n);
    ui::Ask("A törlés nem sikerült!"_cp, "");
    return false;
  }
  if (!RemoveRecord(table, n, record.data())) {
    SettleCurrent(table);
    return false;
  }
  if (table.Def.AfterDelete) table.Def.AfterDelete(100, table);
  table.CurrentKey = key;
  if (db::LiveRecordCount(table.Data) > 0) SettleCurrent(table);
  return true;
}

std::uint8_t EditCurrentRecord(TableView& table, std::string_view keyHelp) {
  std::int32_t n = table.CurrentRecord;
  if (n < 1) return 0;  // no current record
  if (db::RecordLockedElsewhere(table.Data, n) &&
      ui::Ask("Foglalt a rekord! Vár <I/N> ? "_cp, "IN") != 1)  // Esc does not wait either
    return 0;
  std::vector<std::uint8_t> before;
  if (!LockChosenRecord(table, n, before)) return 0;
  return EditLocked(table, n, before, keyHelp);
}

// True when record n is free (another station deleted it).
bool RecordGone(TableView& table, std::int32_t n) {
  std::vector<std::uint8_t> record(table.Record.size());
  PeekTableRecord(table, n, record.data());
  return db::RecordIsFree(record.data());
}

// Every edited entry goes into the temporary index, so that a record whose
// key moved further on is stepped over when the run reaches it again. The
// run ends with Esc or when the user does not wait for a busy record; a
// record deleted meanwhile is passed over.
void GroupEdit(TableView& table) {
  PeekTableRecord(table, table.CurrentRecord, table.Record.data());
  OfferedEntries offered(table);
  for (;;) {
    std::string key = table.CurrentKey;
    std::int32_t n = table.CurrentRecord;
    std::uint8_t done = EditCurrentRecord(table, kEditHelp);
    if (done == key::kF10) offered.Add(RecordKey(table, table.CurrentIndex, table.Record.data()), n);
    else if (done == key::kEsc || !RecordGone(table, n)) return;
    if (!NextUnoffered(table, offered, key, n)) {
      ui::Ask("Nincs következö !"_cp, "");
      return;
    }
    if (table.ListPresence > 0) {
      ++table.GroupEditCount;
      RedrawList(table);
    }
  }
}

void EnterNewRecords(TableView& table, bool repeat, std::string_view keyHelp) {
  do {
    if (!EnterOneRecord(table, keyHelp)) return;
    RedrawList(table);
  } while (repeat);
}

}  // namespace records
