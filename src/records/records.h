// The application record layer: every table of the suite (a data file with
// its index files) is shown and kept through the same screens. A table is a
// definition (TableDef: fields, record length, indexes and their keys, file
// names, row formatter); TableView is the open table; BrowseTable lists its
// records in the order of the current index, ViewRecords shows them one at
// a time in the table's form.
//
// Locks: the list and the view read without locks (PeekRecord, or locking
// suspended around the index steps). Only the edit and the delete take a
// record's lock, from their locking read (db::ReadRecord) to the write or
// the release.
//
// Texts are code page 852. Key codes are the console's (console::key).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "db/db.h"

namespace records {

namespace key = console::key;

// ---- Table definitions ------------------------------------------------------

// One field of a record.
//  Storage 'C': characters, blank-padded. Any other letter is numeric: 'N'
//  stores the number as text, right-aligned in Length characters with
//  Decimals digits after a '.', blanks reading as 0.
//  Display 'D' (with storage 'C', Length 8): a date "YYYYMMDD", blanks when
//  empty; shown and typed as "YYYY.MM.DD".
struct FieldDef {
  char Storage = 'C';
  char Display = 0;
  int Offset = 1;  // first byte in the record, 1-based
  int Length = 1;
  bool InFilter = false;  // takes part in the filter
  std::string Label;      // the form's label (code page 852)
  int Decimals = 0;
  bool IsNumeric() const { return Storage != 'C'; }
  bool IsDate() const { return Display == 'D'; }
};

// The key of a record under an index: the record image (RecLen bytes) in,
// the key out (at most the index's KeyLength bytes; the index upper-cases).
using KeyFunction = std::function<std::string(const std::uint8_t* record)>;

struct IndexDef {
  std::string FileName;  // with ".idx"
  int KeyLength = 1;
  bool Duplicates = false;
  KeyFunction Key;
  std::string Label;  // names the index for the key search ("Kód", "Név")
};

class TableView;
using RowFormatter = std::function<std::string(const std::uint8_t* record)>;
// Called after a delete with the code 100 and the table.
using AfterDeleteProc = std::function<void(int code, TableView& table)>;

struct TableDef {
  std::string Title;     // window title
  std::string DataFile;  // with ".dat"
  int RecLen = db::kMinRecLen;
  std::vector<FieldDef> Fields;
  std::vector<IndexDef> Indexes;  // index 1 is Indexes[0]
  RowFormatter Row;               // a list row (without the frame)
  std::string RowHeader;          // the column heads above the rows
  AfterDeleteProc AfterDelete;    // may be empty
};

// The key of fields joined in order (their bytes as stored): a KeyFunction
// for the usual case. Field numbers are 0-based positions in fields.
KeyFunction FieldsKey(const std::vector<FieldDef>& fields, std::vector<int> fieldNumbers);

// ---- Field values ------------------------------------------------------------

// The field's bytes as stored.
std::string FieldText(const FieldDef& field, const std::uint8_t* record);
// Stores text into the field, cut or blank-padded to its length (numeric
// fields right-aligned; text that is not a number stores 0).
void SetFieldText(const FieldDef& field, std::uint8_t* record, std::string_view text);
// The value of a numeric field (0 for blanks or a field that does not read).
double FieldValue(const FieldDef& field, const std::uint8_t* record);
void SetFieldValue(const FieldDef& field, std::uint8_t* record, double value);
// A record image with every field blank (numeric fields blank too) and the
// in-use byte (byte 5, offset 4) set; bytes outside the fields are 0.
std::vector<std::uint8_t> BlankRecord(const TableDef& def);

// ---- The open table -------------------------------------------------------------

class TableView {
 public:
  explicit TableView(const TableDef& def);
  ~TableView();  // closes the files when open
  TableView(const TableView&) = delete;
  TableView& operator=(const TableView&) = delete;

  const TableDef& Def;
  db::DataFile Data;
  std::vector<std::unique_ptr<db::IndexFile>> Indexes;  // Index(1) = Indexes[0]
  db::IndexFile& Index(int number) { return *Indexes[static_cast<std::size_t>(number - 1)]; }
  int IndexCount() const { return static_cast<int>(Indexes.size()); }

  int CurrentIndex = 1, DefaultIndex = 1;
  std::string CurrentKey;          // the position of the list and the view
  std::int32_t CurrentRecord = 0;  // 0: none
  int ListMode = 0;                // 1 after the first edit
  int ListPresence = 1;            // 0: edited without a list on screen
  std::string KeyFrom, KeyTo;      // bounds of the keys shown ("" = none), upper-cased
                                   // when compared, as the index holds its keys
  int GroupEditCount = 0;
  std::vector<std::uint8_t> Filter;  // the filter record
  bool FilterOn = false;
  std::vector<std::uint8_t> Record;  // the record buffer (RecLen bytes)
};

// The table the screens work on; nullptr when none.
TableView* CurrentTable();
void SetCurrentTable(TableView* table);

// Opens the data file and every index through the guarded opens (files
// missing on first run are created), in the current folder unless the
// names carry one. An index whose data file is new is created afresh. The
// table changes that stations stopped in the middle are undone or finished.
void OpenTable(TableView& table);
// Closes the indexes and the data file; the first close that failed is the
// result (the others are closed all the same).
db::Result CloseTable(TableView& table);

// The key of a record under index number (1-based).
std::string RecordKey(const TableView& table, int index, const std::uint8_t* record);
// Stores a new record: appended, its keys inserted into every index, as
// one table change; the record number in n. False (nothing stored) when an index without
// duplicates already holds one of its keys: the message
// "Ilyen kulcs már van!" has been shown.
bool StoreNewRecord(TableView& table, const std::uint8_t* record, std::int32_t& n);
// Writes an edited record n (locked by this station's locking read) and
// moves its keys where they changed, as one table change; the lock is
// released. False when an index without duplicates holds one of its new
// keys elsewhere: the record stays as it was (still locked) and "Ilyen
// kulcs már van!" has been shown; or when the record no longer holds
// before (a stopped station's change of it was undone meanwhile): the lock
// is released and "A rekord idöközben megváltozott!" has been shown.
bool StoreEditedRecord(TableView& table, std::int32_t n, const std::uint8_t* before,
                       const std::uint8_t* after);
// Reads record n into buf without taking its lock.
void PeekTableRecord(TableView& table, std::int32_t n, std::uint8_t* buf);
// Positions the current index on CurrentKey/CurrentRecord, or on the first
// key at least CurrentKey when that entry is gone, and reads that record
// without locks into Record; false when no record follows.
bool FindCurrent(TableView& table);

// ---- Screens ----------------------------------------------------------------------

// The list loop on CurrentTable until Esc.
void BrowseTable();
// The one-record view loop on CurrentTable until "V" or Esc.
void ViewRecords();
// True when the record belongs in the list (see the filter rules: numeric
// 0 matches all, "?" patterns position by position, other patterns
// anywhere, an all-"0" date pattern passes empty dates, a blank pattern
// passes nothing; without the filter, KeyFrom/KeyTo bound the current
// index's key by prefix).
bool RecordFilter(const std::uint8_t* record, bool check);
// The list's delete command on the current record.
void ConfirmDelete();
// Before a change the record of the current row is read under its lock
// and must still be in use and hold CurrentKey under the current index:
// otherwise another station deleted it ("A rekordot idöközben törölték !")
// or put another record in its place ("A rekord idöközben megváltozott!"),
// nothing is changed and the position is settled from the index.
//
// Deletes the current record (keys removed from every index, record freed,
// the after-delete procedure called); false when it was not the row's (see
// above), or with "A törlés nem sikerült!" when the current entry is no
// longer in the index.
bool DeleteCurrentRecord(TableView& table);
// Edits the current record under its lock (the waiting question when
// another station holds it; refused as above when it is no longer the
// row's). Returns the form's exit key (F10 stored, Esc), 0
// when nothing was edited.
std::uint8_t EditCurrentRecord(TableView& table, std::string_view keyHelp);
// The list's "C": edits the records one after the other from the current
// one in index order, never offering a record twice.
void GroupEdit(TableView& table);
// Enters new records: one (repeat false) or one after the other until Esc.
void EnterNewRecords(TableView& table, bool repeat, std::string_view keyHelp);

// ---- Widgets --------------------------------------------------------------------

// The list: rows of the current index accepted by RecordFilter, from the
// current position, in a window over the screen's rows 2..23 with the
// key-help line on row 24 (or 25). Up/Down/PgUp/PgDn/Home/End scroll;
// exitKeys (upper-cased letters and codes) end it with the key pressed,
// the position left in CurrentKey/CurrentRecord/Record. Returns 0 when no
// record is accepted at all.
std::uint8_t ShowList(TableView& table, std::string_view keyHelp, std::string_view exitKeys);
// Redraws the list's rows (after an edit or a delete) when it is on screen.
void RedrawList(TableView& table);

// The form: the table's fields (label, then the value) in a framed window;
// field input with the line editor; Enter/Tab/Down go to the next field,
// Up/Shift+Tab back; F10 stores (returns key::kF10), Esc leaves (returns
// key::kEsc) with record as it came in. keyHelp shows on the last row.
std::uint8_t EditForm(TableView& table, std::vector<std::uint8_t>& record, std::string_view title,
                      std::string_view keyHelp);
// Shows the record in the form without editing (the view).
void ShowForm(TableView& table, const std::uint8_t* record, std::string_view title);

// The key search: a box asks for a key under the current index; the index
// is positioned on the first key at least the typed one and that record is
// read (without locks) into Record. False on Esc or when no key follows.
bool KeySearch(TableView& table);

// A menu bar on a key bar below the current window: items "RrRögzités
// VvVége": each two hotkey codes and a label. Returns the chosen label's
// key (upper-case), current (1-based) reset to 1 when out of range.
std::uint8_t MenuBar(std::string_view items, int& current);

}  // namespace records
