// Table changes: a data file's record and its index keys changed all or
// nothing across a stopped station.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/index.h"
#include "platform/scoped_value.h"

namespace db {

// A table is a data file and its indexes. Adding, changing or deleting a
// record with its keys takes several engine calls; a table change brackets
// them so that a station stopped between two of them (killed, switched off,
// cut from the share) leaves the table whole: the next station that opens
// the table or begins a table change of its own undoes a change whose
// station is gone, or finishes a delete whose record was already freed.
// A change that EndTableChange has ended is never undone.
//
// The sequences (the record screens' own; a program that makes its own
// sequence brackets it the same way, the engine calls unchanged):
//   add     AllocRecord; Begin; WriteRecordHeld; InsertKey into each index;
//           End; UnlockRecord
//   change  ReadRecord (the lock held); Begin; RemoveKey and InsertKey where
//           a key changes; WriteRecordHeld; End; UnlockRecord
//   delete  ReadRecord (the lock held); Begin; RemoveKey from each index;
//           FreeRecord; End
// A change the caller takes back itself (an index refused a key) is put
// back by the caller before End, as without the bracket. A station makes
// one table change of a data file at a time.
//
// What is undone or finished is decided by the record, read under its lock:
// an added record that holds its image, or a part of it up to a 4096-byte
// block of the file and its bytes from before the add after it (a write
// cut short), is freed and its keys taken out;
// a changed one gets its old image and keys back; a deleted one that is
// still in use gets its keys back, one already free loses its remaining
// keys. A record that holds neither image (another station changed it
// since, without the bracket) is left as it is. Bytes 0 to 3 of a record
// in use (the free chain's link, written by a free) take no part in these
// comparisons. Every step is skipped when
// it is done already, so a recovery cut short is taken up again. Each one
// writes a line to "DBACCESS.ERR" naming the data file, the record and the
// stopped station.
//
// The table journal (the data file's name + ".tjr", "PARTNER.dat.tjr"),
// little-endian, has 128 slots, one for each station at work on the table.
// A station holds the lock of its slot's byte, at 2^61 + slot, from its
// first table change until it closes the data file: a slot whose byte
// nobody holds has no station. The directory, 64 bytes per slot at
// slot * 64, names the station that claimed the slot (zeros: none since
// the slot was last recovered):
//    0  char[4]  "TJS1"
//    4  uint8    the station identifier: length, then 31 bytes
//   60  uint32   CRC-32 of bytes 0..59
// Slot k's change lies at 8192 + k * 65536: a 64-byte head,
//    0  char[4]  "TJR1"
//    4  uint32   Sequence   the slot's changes, counted
//    8  uint8    Pending    1: the body is a change under way
//   12  int32    Record     the record it changes
//   16  uint32   BodyLength
//   20  uint32   BodyCrc    CRC-32 of the body
//   24  uint8    the station identifier: length, then 31 bytes
//   60  uint32   CRC-32 of bytes 0..59
// then the body:
//    0  uint8    Kind       1 add, 2 change, 3 delete
//    4  int32    Record
//    8  int32    RecLen
//   12  uint16   the number of keys
//   16  RecLen   the record before (for an add: as its allocation left
//                it, zeros or the bytes of a free record)
//       RecLen   the record after (zeros for a delete)
//   then per index: uint8 flags (1 a key before, 2 a key after, 4 equal
//   keys allowed), uint8 its key length, uint8 n + n bytes its name (the
//   name alone when it lies in the data file's folder), uint8 n + n bytes
//   the key before, uint8 n + n bytes the key after.
// Begin writes head and body in one write; End writes the head with
// Pending 0. A head or body whose CRC fails is no change (a write cut
// short: nothing of the change was done yet). A station looks for the
// pending changes of slots whose byte it can take (their station gone)
// when it opens the table, before every change and delete, and before an
// add at most once a second; it settles its own slot's change from before
// its time when it claims the slot, and clears the directory entry of
// every slot it has settled.
//
// Stations of the previous release ignore the file: their changes are not
// bracketed, and a record they changed after a stopped station's change
// holds neither of its images and is left alone.

enum class TableChangeKind : std::uint8_t { kAdd = 1, kChange = 2, kDelete = 3 };

// The record's key in one index of the table, before and after the change
// (none: the record has no key there before or after).
struct KeyChange {
  IndexFile* Index = nullptr;
  std::optional<std::string> Before, After;
};

struct TableChange {
  TableChangeKind Kind = TableChangeKind::kAdd;
  std::int32_t Record = 0;
  // RecLen bytes each; Before for a change and a delete, After for an add
  // and a change.
  std::vector<std::uint8_t> Before, After;
  std::vector<KeyChange> Keys;  // one for each index of the table
};

// Begins the change: the pending changes of stations that are gone are
// undone or finished first, a change another station is making of the same
// record is waited for, and the intent reaches the table journal. False
// (nothing begun) when the record no longer holds Before: a stopped
// station's change of it was undone meanwhile, and the caller's image is
// stale. Does nothing (true) for a file opened read-only, privately or
// without locks.
[[nodiscard]] bool BeginTableChange(DataFile& f, const TableChange& change);
void EndTableChange(DataFile& f);
// Undoes or finishes the pending changes of f's table whose stations are
// gone (for a table just opened); indexes are the table's open ones (an
// index a change names that is not among them is opened for the while).
// Returns how many it undid or finished.
int RecoverTableChanges(DataFile& f, const std::vector<IndexFile*>& indexes);
// The table journal beside a data file.
[[nodiscard]] std::string TableJournalName(std::string_view dataName);
// Sets the engine's table-change switch and puts it back at the end of the
// scope (measurements compare the bracket's cost with it).
class TableChangeSwitch : public platform::ScopedValue<bool> {
 public:
  explicit TableChangeSwitch(bool on);
};

}  // namespace db
