// The table layer: field values in record images, opening and closing a
// table's files, keys, storing new and edited records with their index
// entries, and lock-free positioning on the current record.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fs.h"
#include "records/loops.h"
#include "records/records.h"
#include "text/text.h"
#include "ui/ui.h"

using namespace platform::literals;

namespace records {
namespace {

const char* FieldStart(const FieldDef& field, const std::uint8_t* record) {
  return reinterpret_cast<const char*>(record) + (field.Offset - 1);
}

// Stores text into the field: cut to its length or blank-padded.
void PutField(const FieldDef& field, std::uint8_t* record, std::string_view text) {
  std::string value(text.substr(0, static_cast<std::size_t>(field.Length)));
  value.resize(static_cast<std::size_t>(field.Length), ' ');
  std::memcpy(record + (field.Offset - 1), value.data(), value.size());
}

// The number written right-aligned in width characters with decimals
// digits after a '.'; a number that does not fit gives width "*".
std::string NumberText(double value, int width, int decimals) {
  char digits[400];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed,
                                    std::max(decimals, 0));
  auto length = static_cast<int>(end - digits);
  if (error != std::errc() || length > width)
    return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width - length), ' ') + std::string(digits, end);
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

constexpr std::string_view kDuplicateKey = "Ilyen kulcs már van!"_cp;

}  // namespace

const std::string_view kRecordChanged = "A rekord idöközben megváltozott!"_cp;

namespace {

// True when an index without duplicates holds key for a record other than n
// (n = 0: for any record).
bool KeyTakenElsewhere(TableView& table, int index, const std::string& key, std::int32_t n) {
  if (table.Def.Indexes[static_cast<std::size_t>(index - 1)].Duplicates) return false;
  std::int32_t found = 0;
  std::string probe = key;
  return db::SeekKey(table.Index(index), found, probe) && found != n;
}

// Removes the keys of record n that were inserted into indexes 1..last.
void RemoveKeys(TableView& table, std::int32_t n, const std::uint8_t* record, int last) {
  for (int i = 1; i <= last; ++i) {
    std::int32_t ref = n;
    db::RemoveKey(table.Index(i), ref, RecordKey(table, i, record));
  }
}

// Moves record n's entry in one index from oldKey to newKey; false (the
// old entry kept) when the index refuses the new key.
bool MoveKey(TableView& table, int index, std::int32_t n, const std::string& oldKey,
             const std::string& newKey) {
  db::IndexFile& x = table.Index(index);
  std::int32_t ref = n;
  db::RemoveKey(x, ref, oldKey);
  if (db::InsertKey(x, n, newKey)) return true;
  db::InsertKey(x, n, oldKey);
  return false;
}

// The indexes whose key differs between the two images.
std::vector<int> ChangedIndexes(const TableView& table, const std::uint8_t* before,
                                const std::uint8_t* after) {
  std::vector<int> changed;
  for (int i = 1; i <= table.IndexCount(); ++i)
    if (RecordKey(table, i, before) != RecordKey(table, i, after)) changed.push_back(i);
  return changed;
}

// The table change of record n with every index's key before and after
// (no image: no key on that side).
db::TableChange TableChangeOf(TableView& table, db::TableChangeKind kind, std::int32_t n,
                              const std::uint8_t* before, const std::uint8_t* after) {
  auto image = [&](const std::uint8_t* record) {
    return record ? std::vector<std::uint8_t>(record, record + table.Data.RecLen) : std::vector<std::uint8_t>{};
  };
  auto key = [&](int i, const std::uint8_t* record) {
    return record ? std::optional<std::string>(RecordKey(table, i, record)) : std::nullopt;
  };
  db::TableChange change{kind, n, image(before), image(after), {}};
  for (int i = 1; i <= table.IndexCount(); ++i) change.Keys.push_back({&table.Index(i), key(i, before), key(i, after)});
  return change;
}

bool OpenNewData(TableView& table) {
  db::Result opened = db::OpenDataFile(table.Data, table.Def.DataFile, table.Def.RecLen);
  if (!opened.Ok()) db::OpenDataFileGuarded(table.Data, table.Def.DataFile, table.Def.RecLen);
  return opened.Code == platform::error::kFileNotFound;
}


// Puts the keys of every record in use into index i (a new index of a
// table that already holds records).
void FillIndex(TableView& table, int i) {
  std::vector<std::uint8_t> record(table.Record.size());
  std::int32_t total = db::RecordCount(table.Data);
  for (std::int32_t n = 1; n < total; ++n) {
    db::PeekRecord(table.Data, n, record.data());
    if (!db::RecordIsFree(record.data())) db::InsertKey(table.Index(i), n, RecordKey(table, i, record.data()));
  }
}

// Opens the indexes; a missing one is created and, when the data file was
// not new, filled from its records, so no record is left out of it.
void OpenIndexes(TableView& table, bool fresh) {
  for (int i = 1; i <= table.IndexCount(); ++i) {
    const IndexDef& def = table.Def.Indexes[static_cast<std::size_t>(i - 1)];
    int duplicates = def.Duplicates ? 1 : 0;
    bool missing = !fresh && !platform::FileExists(def.FileName);
    if (fresh || missing)
      db::CreateIndexGuarded(table.Index(i), def.FileName, def.KeyLength, duplicates);
    else
      db::OpenIndexGuarded(table.Index(i), def.FileName, def.KeyLength, duplicates);
    if (missing) FillIndex(table, i);
  }
}

}  // namespace

bool RefusedReadOnly(const TableView& table) {
  if (table.Data.OpenMode != db::kModeReadOnly) return false;
  db::IllegalOperation(table.Data);
  return true;
}

// ---- Field values ------------------------------------------------------------

KeyFunction FieldsKey(const std::vector<FieldDef>& fields, std::vector<int> fieldNumbers) {
  std::vector<FieldDef> parts;
  for (int number : fieldNumbers) parts.push_back(fields[static_cast<std::size_t>(number)]);
  return [parts](const std::uint8_t* record) {
    std::string key;
    for (const FieldDef& field : parts) key += FieldText(field, record);
    return key;
  };
}

std::string FieldText(const FieldDef& field, const std::uint8_t* record) {
  return std::string(FieldStart(field, record), static_cast<std::size_t>(field.Length));
}

void SetFieldText(const FieldDef& field, std::uint8_t* record, std::string_view text) {
  if (!field.IsNumeric()) {
    PutField(field, record, text);
  } else if (IsBlank(text)) {
    PutField(field, record, "");
  } else {
    SetFieldValue(field, record, static_cast<double>(text::StrToNumber(text)));
  }
}

double FieldValue(const FieldDef& field, const std::uint8_t* record) {
  return static_cast<double>(text::StrToNumber(FieldText(field, record)));
}

void SetFieldValue(const FieldDef& field, std::uint8_t* record, double value) {
  PutField(field, record, NumberText(value, field.Length, field.Decimals));
}

std::vector<std::uint8_t> BlankRecord(const TableDef& def) {
  std::vector<std::uint8_t> record(static_cast<std::size_t>(def.RecLen), 0);
  for (const FieldDef& field : def.Fields)
    std::memset(record.data() + (field.Offset - 1), ' ', static_cast<std::size_t>(field.Length));
  record[4] = 1;
  return record;
}

// ---- The open table ------------------------------------------------------------

TableView::TableView(const TableDef& def)
    : Def(def), Filter(BlankRecord(def)), Record(BlankRecord(def)) {
  for (std::size_t i = 0; i < def.Indexes.size(); ++i)
    Indexes.push_back(std::make_unique<db::IndexFile>());
}

// May run on the way out of an end: a close never ends the program, and
// what failed has nobody left to tell.
TableView::~TableView() { (void)CloseTable(*this); }

void OpenTable(TableView& table) {
  bool fresh = OpenNewData(table);
  OpenIndexes(table, fresh);
  std::vector<db::IndexFile*> indexes;
  for (int i = 1; i <= table.IndexCount(); ++i) indexes.push_back(&table.Index(i));
  (void)db::RecoverTableChanges(table.Data, indexes);  // what stopped stations left half done
}

db::Result CloseTable(TableView& table) {
  db::Result first;
  auto keep = [&first](db::Result closed) {
    if (first.Ok()) first = std::move(closed);
  };
  for (auto& index : table.Indexes)
    if (index->Handle->IsOpen()) keep(db::CloseIndex(*index));
  if (table.Data.Handle->IsOpen()) keep(db::CloseDataFile(table.Data));
  return first;
}

std::string RecordKey(const TableView& table, int index, const std::uint8_t* record) {
  const IndexDef& def = table.Def.Indexes[static_cast<std::size_t>(index - 1)];
  std::string key = text::UpperCaseText(def.Key(record));
  key.resize(std::min<std::size_t>(
      key.size(), static_cast<std::size_t>(std::min(def.KeyLength, db::kMaxKeyLen))));
  return key;
}

// Every unique key is checked before anything is written; should another
// station insert one of them meanwhile, the keys inserted so far are taken
// out and the record freed again, so nothing stays half-stored.
bool StoreNewRecord(TableView& table, const std::uint8_t* record, std::int32_t& n) {
  if (RefusedReadOnly(table)) return false;
  for (int i = 1; i <= table.IndexCount(); ++i) {
    if (KeyTakenElsewhere(table, i, RecordKey(table, i, record), 0)) {
      ui::Ask(kDuplicateKey, "");
      return false;
    }
  }
  db::AllocRecord(table.Data, n);
  (void)db::BeginTableChange(table.Data, TableChangeOf(table, db::TableChangeKind::kAdd, n, nullptr, record));  // a new record is no other's: it always begins
  db::WriteRecordHeld(table.Data, n, record);
  for (int i = 1; i <= table.IndexCount(); ++i) {
    if (db::InsertKey(table.Index(i), n, RecordKey(table, i, record))) continue;
    RemoveKeys(table, n, record, i - 1);
    db::FreeRecord(table.Data, n);
    db::EndTableChange(table.Data);
    ui::Ask(kDuplicateKey, "");
    return false;
  }
  db::EndTableChange(table.Data);
  db::UnlockRecord(table.Data, n);
  return true;
}

// The keys move index by index after every new unique key was checked; an
// index that refuses its new key all the same (another station took it
// meanwhile) puts the keys moved so far back.
bool StoreEditedRecord(TableView& table, std::int32_t n, const std::uint8_t* before,
                       const std::uint8_t* after) {
  if (RefusedReadOnly(table)) return false;
  std::vector<int> changed = ChangedIndexes(table, before, after);
  for (int i : changed) {
    if (KeyTakenElsewhere(table, i, RecordKey(table, i, after), n)) {
      ui::Ask(kDuplicateKey, "");
      return false;
    }
  }
  if (!db::BeginTableChange(table.Data, TableChangeOf(table, db::TableChangeKind::kChange, n, before, after))) {
    db::UnlockRecord(table.Data, n);
    ui::Ask(kRecordChanged, "");
    return false;
  }
  for (std::size_t k = 0; k < changed.size(); ++k) {
    int i = changed[k];
    if (MoveKey(table, i, n, RecordKey(table, i, before), RecordKey(table, i, after))) continue;
    for (std::size_t j = 0; j < k; ++j)
      MoveKey(table, changed[j], n, RecordKey(table, changed[j], after),
              RecordKey(table, changed[j], before));
    db::EndTableChange(table.Data);
    ui::Ask(kDuplicateKey, "");
    return false;
  }
  db::WriteRecordHeld(table.Data, n, after);
  db::EndTableChange(table.Data);
  db::UnlockRecord(table.Data, n);
  return true;
}

bool RemoveRecord(TableView& table, std::int32_t n, const std::uint8_t* record) {
  if (!db::BeginTableChange(table.Data, TableChangeOf(table, db::TableChangeKind::kDelete, n, record, nullptr))) {
    db::UnlockRecord(table.Data, n);
    ui::Ask(kRecordChanged, "");
    return false;
  }
  for (int i = 1; i <= table.IndexCount(); ++i) {
    std::int32_t ref = n;
    db::RemoveKey(table.Index(i), ref, RecordKey(table, i, record));
  }
  db::FreeRecord(table.Data, n);
  db::EndTableChange(table.Data);
  return true;
}

void PeekTableRecord(TableView& table, std::int32_t n, std::uint8_t* buf) {
  db::PeekRecord(table.Data, n, buf);
}

namespace {

// From the item found (found: the search or step before found one), the
// first item in the direction whose record is in use becomes the position.
bool TakeInUse(TableView& table, bool found, std::string key, std::int32_t ref, bool forward) {
  db::IndexFile& x = table.Index(table.CurrentIndex);
  std::vector<std::uint8_t> buf(table.Record.size());
  while (found) {
    db::PeekRecord(table.Data, ref, buf.data());
    if (db::RecordInUse()) break;
    found = forward ? db::StepNext(x, ref, key) : db::StepPrev(x, ref, key);
  }
  if (!found) return false;
  table.CurrentKey = key;
  table.CurrentRecord = ref;
  table.Record = buf;
  return true;
}

// Positions the index on the current entry (onEntry), or else on the first
// key at least CurrentKey; false when there is none.
bool SeekCurrent(TableView& table, std::string& key, std::int32_t& ref, bool& onEntry) {
  db::IndexFile& x = table.Index(table.CurrentIndex);
  key = table.CurrentKey;
  ref = table.CurrentRecord;
  onEntry = db::SeekEntry(x, ref, key);
  if (onEntry) return true;
  key = table.CurrentKey;
  return db::SeekKeyAtLeast(x, ref, key);
}

bool EndRecord(TableView& table, bool last) {
  db::IndexFile& x = table.Index(table.CurrentIndex);
  std::string key;
  std::int32_t ref = 0;
  db::ResetPosition(x);
  bool found = last ? db::StepPrev(x, ref, key) : db::StepNext(x, ref, key);
  return TakeInUse(table, found, key, ref, !last);
}

}  // namespace

// Searches and steps run with locking suspended, so the records are peeked.
bool FindCurrent(TableView& table) {
  std::string key;
  std::int32_t ref = 0;
  bool onEntry = false;
  bool found = SeekCurrent(table, key, ref, onEntry);
  return TakeInUse(table, found, key, ref, true);
}

bool StepRecord(TableView& table, bool forward) {
  std::string key;
  std::int32_t ref = 0;
  bool onEntry = false;
  bool following = SeekCurrent(table, key, ref, onEntry);
  // A current entry that is gone: the key after it is the next one, and
  // the one before that key the previous one.
  if (!onEntry && forward) return following && TakeInUse(table, true, key, ref, true);
  if (!onEntry && !following) return LastRecord(table);
  db::IndexFile& x = table.Index(table.CurrentIndex);
  bool found = forward ? db::StepNext(x, ref, key) : db::StepPrev(x, ref, key);
  return TakeInUse(table, found, key, ref, forward);
}

bool FirstRecord(TableView& table) { return EndRecord(table, false); }
bool LastRecord(TableView& table) { return EndRecord(table, true); }

bool SettleCurrent(TableView& table) { return FindCurrent(table) || LastRecord(table); }

}  // namespace records
