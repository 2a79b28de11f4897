// Data files: fixed-length records shared by several stations.
//
// On disk (little-endian, packed): a data file is a run of records of RecLen
// bytes, record n at byte n * RecLen, the length always a whole multiple of
// RecLen. Record 0 is the header:
//
//   0  int32  FreeHead     first free record, -1 when the chain is empty
//   4  int32  FreeCount    records on the free chain
//   8  int32  RootPage     index files: root page, 0 = empty tree; data: 0
//  12  int32  RecordTotal  records in the file, header included
//  16  uint8  TxFlag       non-zero while a station holds the whole-file lock
//  17  int16  ShareCount   stations holding a shared use
//  19  ...                 no meaning
//
// Records 1 and up: bytes 0..3 are the link of the free chain while the
// record is free, byte 4 is the in-use flag (0 = free). The engine clears it
// when it frees a record and never sets it: the caller's record image
// carries a non-zero byte 4. The last byte of record n, at
// (n + 1) * RecLen - 1, is its lock byte: the byte-range lock of the record.
//
// Stations are processes, on one machine or on several sharing the files
// over a network. The process itself is single-threaded: the engine's state
// and shared buffers are used without locks.
//
// Failures: opens, creates and closes return a Result and leave the
// decision to the caller (they also set DbOk and LastIOResult, the view the
// searches' callers and older code read); an I/O error inside a record or
// header operation is fatal (CheckDataIO): it is logged to "DBACCESS.ERR",
// reported through the host and the program ends with the error's number.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace db {

class ChangeJournal;  // an index's change journal (below)
class TableJournal;   // a data file's table changes (below)

inline constexpr int kHeaderSize = 19;
inline constexpr int kMinRecLen = kHeaderSize;
inline constexpr int kMaxRecLen = 10000;  // the size of the shared RecordBuffer
inline constexpr int kTableSlots = 200;


// Open modes (the process-wide setting read by every open).
enum OpenMode : std::int32_t {
  kModeShared = 0,     // 0x42, fully shared, record locks
  kModeReadOnly = 1,   // 0x40, no adding/freeing/key changes
  kModeExclusive = 2,  // 0x22, header kept in memory
  kModePrivate = 3,    // 0x42 on a private work copy
  kModeNoLocks = 4,    // 0x22, no byte-range lock at all
};

// ---- Numbers and header on disk ------------------------------------------------------

// Little-endian numbers of the engine's files (and of their journals). On a
// little-endian machine a 32-bit field is one plain load or store (the hot
// path of unpacking a page); elsewhere it goes byte by byte.
inline std::uint32_t LoadUint32(const std::uint8_t* p) {
  std::uint32_t u = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&u, p, 4);
  } else {
    for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  }
  return u;
}
inline void StoreUint32(std::uint8_t* p, std::uint32_t u) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &u, 4);
  } else {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(u >> (8 * i));
  }
}
inline std::int32_t LoadInt32(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadUint32(p)); }
inline void StoreInt32(std::uint8_t* p, std::int32_t v) { StoreUint32(p, static_cast<std::uint32_t>(v)); }
inline std::int16_t LoadInt16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}
inline void StoreInt16(std::uint8_t* p, std::int16_t v) {
  auto u = static_cast<std::uint16_t>(v);
  p[0] = static_cast<std::uint8_t>(u);
  p[1] = static_cast<std::uint8_t>(u >> 8);
}

// The header's fields (the first kHeaderSize bytes of record 0, laid out as
// above). Decode and Encode are the only code that knows their offsets; a
// round trip keeps every byte.
struct FileHeader {
  static constexpr int kFreeHeadAt = 0;
  static constexpr int kFreeCountAt = 4;
  static constexpr int kRootPageAt = 8;
  static constexpr int kRecordTotalAt = 12;
  static constexpr int kTxFlagAt = 16;
  static constexpr int kShareCountAt = 17;

  std::int32_t FreeHead = -1, FreeCount = 0, RootPage = 0, RecordTotal = 1;
  std::uint8_t TxFlag = 0;
  std::int16_t ShareCount = 0;

  [[nodiscard]] static FileHeader Decode(const std::uint8_t* bytes);
  void Encode(std::uint8_t* bytes) const;
  // The counters make sense: RecordTotal at least 1, FreeHead -1 or a
  // record below RecordTotal, FreeCount from 0 to below RecordTotal, and 0
  // exactly when the chain is empty.
  [[nodiscard]] bool Sane() const;
  bool operator==(const FileHeader&) const = default;
};
static_assert(FileHeader::kShareCountAt + 2 == kHeaderSize);

// What an engine call that leaves the decision to its caller returns: the
// result number (0 when done; otherwise a platform number of
// platform/errors.h or one of the engine's own, errors.h) and the file and
// record it concerns.
struct [[nodiscard]] Result {
  int Code = 0;
  std::string File;
  std::int32_t Record = 0;
  [[nodiscard]] bool Ok() const { return Code == 0; }
};

// ============================================================================
// Data files
// ============================================================================

// One open data file, owned by whoever opened it. It must stay where it is
// while open: the open-file table points at it. Destroying an open DataFile
// drops it from the table and closes its handle without writing anything
// (CloseDataFile is the proper end).
struct DataFile {
  DataFile();
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Bound to Name, or to the private copy (mode 3).
  std::unique_ptr<platform::File> Handle = platform::NewFile();
  std::string Name;             // the name as bound at open (resolved)
  std::int32_t RecLen = 0;
  // This station's copy of the header's counters and markers.
  FileHeader Header;
  // Record 0 as this station last read it (RecLen bytes): the header's
  // transfers read into it and write from it, Header encoded over its first
  // kHeaderSize bytes; the bytes after them have no meaning and are kept as
  // found (a new file's are zeros).
  std::vector<std::uint8_t> HeaderRecord;

  std::int32_t CachedLength = 0;  // records in the file as this station knows
  db::OpenMode OpenMode = kModeShared;  // the open mode in force for this file
  std::int16_t TableSlot = 0;     // 1..200, 0 = untracked
  std::int16_t LockDepth = 0;     // nesting of this station's whole-file lock
  std::int16_t ShareDepth = 0;    // nesting of this station's shared use

  // Engine bookkeeping: the sharing flags of the open, the records whose
  // lock bytes this DataFile holds, and the file position in bytes (the
  // record after the last one read or written).
  int Sharing = 0;
  std::set<std::int32_t> Held;
  std::int64_t Position = 0;
  // The record the last allocation appended (zeros on disk until written),
  // 0 when it took one from the free chain.
  std::int32_t Appended = 0;
  // An index open with a shared, writable header: its change journal,
  // which sees every record write before it happens.
  std::unique_ptr<ChangeJournal> Journal;
  // A data file whose table changes this station brackets: its journal
  // and slot there (opened on first use).
  std::unique_ptr<TableJournal> Table;
};

// ---- Engine life cycle -------------------------------------------------------

// Allocates the record buffer and the page cache, clears the cache and the
// open-file table, sets LockingOn, and forms the station identifier when
// none was set. DoneDatabase frees both buffers.
void InitDatabase();
void DoneDatabase();
// Closes every file in the table (data files with CloseDataFile, indexes
// with CloseIndex), then clears the table and its counters. The first
// close that failed is the result; the others are closed all the same.
Result CloseAllFiles();
int OpenFileCount();

// ---- Opening and closing (each Result also in DbOk and LastIOResult) -----------

Result CreateDataFile(DataFile& f, std::string_view name, int recLen);
Result OpenDataFile(DataFile& f, std::string_view name, int recLen);
Result OpenDataFileExclusive(DataFile& f, std::string_view name, int recLen);
// OpenDataFile, and CreateDataFile when that failed.
Result OpenOrCreateDataFile(DataFile& f, std::string_view name, int recLen);
// Writes the header back when this station changed its markers (or always
// in mode 2), releases the locks and the table slot; mode 3 erases the
// private copy. Closing a closed DataFile does nothing. Ends nothing: a
// failure to write the header or to close is the Result, and the file is
// closed all the same.
Result CloseDataFile(DataFile& f);
// Closes the file and creates it anew, empty, with the same RecLen, mode
// and group.
Result EmptyDataFile(DataFile& f);
// Closes the handle and opens it again with the same sharing; the record
// locks it held are gone.
void ReopenFile(DataFile& f);

// ---- Records (RecLen-byte buffers) -------------------------------------------------

// Locking read: takes the record's lock (waiting with the record-busy box),
// reads, sets RecordInUse. A free record is unlocked again; an in-use one
// stays locked until WriteRecord or UnlockRecord.
void ReadRecord(DataFile& f, std::int32_t n, void* buf);
// Read that never waits: when another station holds the record's lock,
// everything but the record's last byte is read (that byte of buf keeps its
// old value).
void PeekRecord(DataFile& f, std::int32_t n, void* buf);
// Writes the record, then releases its lock.
void WriteRecord(DataFile& f, std::int32_t n, const void* buf);
// Writes the record and keeps its lock.
void WriteRecordHeld(DataFile& f, std::int32_t n, const void* buf);
// Reserves a record number: the head of the free chain, or a new record at
// the end (written as a free record of zeros until the caller's write, and
// locked).
void AllocRecord(DataFile& f, std::int32_t& n);
// AllocRecord for a caller that already holds record 0 (index pages): no
// header re-read, ending with WriteHeaderHeld.
void AllocRecordHeld(DataFile& f, std::int32_t& n);
// AllocRecord then WriteRecord. Mode 1: the "Illegális file müvelet!" box.
void AppendRecord(DataFile& f, std::int32_t& n, const void* buf);
// Put a record on the head of the free chain (byte 4 := 0, bytes 0..3 :=
// the old head). Mode 1: the "Illegális file müvelet!" box.
void FreeRecord(DataFile& f, std::int32_t n);
// FreeRecord for a caller that holds record 0 (ends with WriteHeaderHeld).
void FreeRecordHeld(DataFile& f, std::int32_t n);
// FreeRecord starting from the caller's record image instead of the disk.
void FreeRecordWith(DataFile& f, std::int32_t n, const void* buf);
// The file length in records, header included.
[[nodiscard]] std::int32_t RecordCount(DataFile& f);
// Records in use: length - FreeCount - 1.
[[nodiscard]] std::int32_t LiveRecordCount(DataFile& f);
// Byte 4 of a record image is 0.
[[nodiscard]] bool RecordIsFree(const void* buf);
// True when another station holds record n's lock: an attempt to take it is
// refused (a lock taken is let go at once; one this file holds is no
// other's). False for n < 0. The file position is kept.
[[nodiscard]] bool RecordLockedElsewhere(DataFile& f, std::int32_t n);
// Reads the record at the file position and moves on by one, also when
// another station holds its lock (then its last byte reads as 0).
void SequentialRead(DataFile& f, void* buf);

// The "Illegális file müvelet!" box of a refused change in mode 1.
void IllegalOperation(const DataFile& f);

// ---- Header operations ----------------------------------------------------------
//
// The header is "shared" unless the file's OpenMode is 2 or 3; all four
// operations act only on a shared header (otherwise the copy in the
// DataFile is the header).

bool HeaderShared(const DataFile& f);
// ReadRecord of record 0 into f.HeaderRecord (record 0 stays locked), the
// markers taken; when a counter differs from f's copy, all four are taken
// and CachedLength := RecordTotal. A header that makes no sense stops the
// program through CheckDataIO with kDamagedData.
void RefreshHeaderLocked(DataFile& f);
// The same through PeekRecord (no lock).
void RefreshHeaderPeek(DataFile& f);
// Encodes f's header over the first 19 bytes of f.HeaderRecord (before
// WriteHeader).
void CopyHeader(DataFile& f);
// WriteRecord / WriteRecordHeld of record 0 from f.HeaderRecord.
void WriteHeader(DataFile& f);
void WriteHeaderHeld(DataFile& f);

}  // namespace db
