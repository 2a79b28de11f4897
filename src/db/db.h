// The record database engine: data files of fixed-length records shared by
// several stations, their locks and header markers, the fatal-error log, and
// index files (B-trees whose pages are the records of a data file).
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
// Failures: opens and creates report through DbOk and LastIOResult and leave
// the decision to the caller; an I/O error inside a record or header
// operation is fatal (CheckDataIO): it is logged to "DBACCESS.ERR", reported
// on the standard output and the program ends with the error's number.
#pragma once
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "db/host.h"
#include "platform/file.h"

namespace db {

class ChangeJournal;  // an index's change journal (below)
class TableJournal;   // a data file's table changes (below)

inline constexpr int kHeaderSize = 19;
inline constexpr int kMinRecLen = kHeaderSize;
inline constexpr int kMaxRecLen = 10000;  // the size of the shared RecordBuffer
inline constexpr int kTableSlots = 200;

// LastIOResult values the engine itself produces (the others are the
// platform's numbers): a read that found fewer bytes than a record, a write
// that stored fewer, and a header, page or free link that makes no sense
// (the file is damaged; "Adatbeli CRC hiba").
inline constexpr int kReadError = 100;
inline constexpr int kWriteError = 101;
inline constexpr int kDamagedData = 154;
// An open with a record length outside kMinRecLen..kMaxRecLen.
inline constexpr int kBadRecLen = 12;

// Open modes (the process-wide setting read by every open).
inline constexpr int kModeShared = 0;     // 0x42, fully shared, record locks
inline constexpr int kModeReadOnly = 1;   // 0x40, no adding/freeing/key changes
inline constexpr int kModeExclusive = 2;  // 0x22, header kept in memory
inline constexpr int kModePrivate = 3;    // 0x42 on a private work copy
inline constexpr int kModeNoLocks = 4;    // 0x22, no byte-range lock at all

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

// ============================================================================
// Data files
// ============================================================================

// One open data file, owned by whoever opened it. It must stay where it is
// while open: the open-file table points at it. Destroying an open DataFile
// drops it from the table and closes its handle without writing anything
// (CloseDataFile is the proper end). Its FileHeader part is this station's
// copy of the header's counters and markers.
struct DataFile : FileHeader {
  DataFile();
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Bound to Name, or to the private copy (mode 3).
  std::unique_ptr<platform::File> Handle = platform::NewFile();
  std::string Name;             // the name as bound at open (resolved)
  std::int32_t RecLen = 0;

  std::int32_t CachedLength = 0;  // records in the file as this station knows
  std::int32_t OpenMode = 0;      // the open mode in force for this file
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
// with CloseIndex), then clears the table and its counters.
void CloseAllFiles();
int OpenFileCount();

// ---- Opening and closing (results in DbOk; LastIOResult holds a failure) -----

void CreateDataFile(DataFile& f, std::string_view name, int recLen);
void OpenDataFile(DataFile& f, std::string_view name, int recLen);
void OpenDataFileExclusive(DataFile& f, std::string_view name, int recLen);
// OpenDataFile, and CreateDataFile when that failed.
void OpenOrCreateDataFile(DataFile& f, std::string_view name, int recLen);
// Writes the header back when this station changed its markers (or always
// in mode 2), releases the locks and the table slot; mode 3 erases the
// private copy. Closing a closed DataFile does nothing.
void CloseDataFile(DataFile& f);
// Closes the file and creates it anew, empty, with the same RecLen, mode
// and group.
void EmptyDataFile(DataFile& f);
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
// ReadRecord of record 0 into RecordBuffer (record 0 stays locked), the
// markers taken; when a counter differs from f's copy, all four are taken
// and CachedLength := RecordTotal. A header that makes no sense stops the
// program through CheckDataIO with kDamagedData.
void RefreshHeaderLocked(DataFile& f);
// The same through PeekRecord (no lock).
void RefreshHeaderPeek(DataFile& f);
// Copies f's 19 header bytes into RecordBuffer (before WriteHeader).
void CopyHeader(const DataFile& f);
// WriteRecord / WriteRecordHeld of record 0 from RecordBuffer.
void WriteHeader(DataFile& f);
void WriteHeaderHeld(DataFile& f);

// ============================================================================
// Locking and transactions
// ============================================================================

// One record's lock byte. Nothing happens when LockingOn is false, when the
// process-wide mode is 4, or when n != 0 and not (f.OpenMode = 0 and
// f.LockDepth <= 0). Locking waits, with the record-busy box for n != 0,
// until granted; a record this DataFile already holds returns at once.
void LockRecord(DataFile& f, std::int32_t n);
void UnlockRecord(DataFile& f, std::int32_t n);
// Whole-file lock (TxFlag in the header), nested; false when the user gave
// up the wait with Esc (nothing is then held).
[[nodiscard]] bool LockWholeFile(DataFile& f);
void UnlockWholeFile(DataFile& f);
// Shared use (ShareCount in the header), nested; false on Esc.
[[nodiscard]] bool ShareFile(DataFile& f);
void UnshareFile(DataFile& f);

// Group values of the open-file table; LockGroup locks every group-1 file
// in slot order and, when one is refused, releases those before it.
void SetFileGroup(DataFile& f, std::int32_t group);
void ClearFileGroups();
[[nodiscard]] bool LockGroup();
void UnlockGroup();

// The locking switch: LockingOn := on, SuspendDepth := 0 (on) or 1 (off).
// Inside the engine, locking is suspended for a span and put back by one
// guard (internal::LockingSwitch).
void SetLocking(bool on);

// The process-wide open mode and group read by every open; one level saved.
void SetOpenMode(std::int32_t mode, std::int32_t group);
void RestoreOpenMode();
void ResetOpenMode();

// Repairs headers left marked by a station that stopped: every file that
// matches mask (a folder and a wildcard pattern), whose upper-cased name
// occurs inside names and does not contain exclude (when not empty), is
// listed as a numbered line; " Tranzakció!" and " Lock!" tell a set TxFlag
// and ShareCount, which are then cleared. The lines go out through the
// host (Host::Line). Returns 0, or the
// first error number met (that file's line names it; the file is skipped).
[[nodiscard]] int ClearStaleMarkers(std::string_view mask, std::string_view exclude, std::string_view names);

// ============================================================================
// Error handling and log
// ============================================================================

// The Hungarian text of a run-time error number; "" for 0, "Hibaüzenet neve
// ismeretlen" for unknown and negative numbers.
[[nodiscard]] std::string ErrorText(int code);
// Appends one line to "DBACCESS.ERR" in the current folder; false when the
// log could not be opened.
bool LogDbError(std::string_view fileName, std::int32_t recordNumber, std::string_view message);
// Nothing when LastIOResult is 0; otherwise log, report through the host
// (Host::Report), wait for a key, let the file go
// without another read or write (its handle closed, an index's cached
// pages forgotten: nothing on the way out touches it again) and end the
// program with the error's number. While fatal ends are held (HoldFatalEnds)
// they only turn DbOk false.
void CheckDataIO(DataFile& f, std::int32_t n);
// The same for index pages and sequential reads (waits for a key without
// reading it).
void CheckIndexIO(DataFile& f, std::int32_t n);
// While one lives, the engine's fatal checks end nothing: a failure is not
// reported and DbOk turns false. For closing files in a destructor, which
// may run while an end is already on its way out and must never end the
// program itself.
class HoldFatalEnds {
 public:
  HoldFatalEnds();
  ~HoldFatalEnds();
  HoldFatalEnds(const HoldFatalEnds&) = delete;
  HoldFatalEnds& operator=(const HoldFatalEnds&) = delete;

 private:
  bool was_;
};
// Installs, for the guard's lifetime, a watcher that every pause of an
// engine wait calls (a busy record or file, a refused read, the key after
// a fatal error); the watcher in force before is put back at the end. For
// tests, which bound the waits with it: a watcher may throw to end a wait
// that nobody will end.
class WaitWatchGuard {
 public:
  explicit WaitWatchGuard(std::function<void()> watch);
  ~WaitWatchGuard();
  WaitWatchGuard(const WaitWatchGuard&) = delete;
  WaitWatchGuard& operator=(const WaitWatchGuard&) = delete;

 private:
  std::function<void()> previous_;
};
// "Hiba:" + text in a box, then the program ends with exit code 1.
[[noreturn]] void FatalMessage(std::string_view text);

// Opens that turn the usual failures into messages: a missing file is
// created on the fly, too many files, a busy file and other failures end
// the program with a message.
void OpenDataFileGuarded(DataFile& f, std::string_view name, int recLen);
void OpenDataFileExclusiveGuarded(DataFile& f, std::string_view name, int recLen);
void CreateDataFileGuarded(DataFile& f, std::string_view name, int recLen);

// ============================================================================
// Process-wide state
// ============================================================================

struct OpenFileSlot {
  DataFile* file = nullptr;  // null = free; an index is its DataFile part
  std::uint8_t kind = 0;     // 0 data file, 1 index file
  std::int32_t group = 0;
};

struct PageCache;  // the index files' page cache (below)

struct EngineState {
  std::int32_t OpenMode = 0, FileGroup = 0;
  std::int32_t SavedOpenMode = 0, SavedFileGroup = 0;
  bool LockingOn = false;
  std::int16_t SuspendDepth = 0;  // spans of suspended locking, nested
  std::int16_t LastIOResult = 0;
  bool RecordInUse = false;
  bool DbOk = false;
  bool FatalEndsHeld = false;  // see HoldFatalEnds
  std::unique_ptr<std::uint8_t[]> RecordBuffer;  // kMaxRecLen bytes while running
  std::array<OpenFileSlot, kTableSlots + 1> OpenFileTable{};  // slots 1..200
  std::int16_t TableHigh = 0, TableCount = 0;
  std::unique_ptr<PageCache> Cache;
  // Searches and steps started again from the root because a page could
  // not be on their path (another station's change), in all, and the most
  // one search or step needed.
  std::int64_t SearchRestarts = 0;
  std::int32_t MostRestartsInOneSearch = 0;
  // The station identifier: names the private copies of mode 3 and the
  // station in the log. Empty until InitDatabase or SetStationId.
  std::string StationId;
  // Resolves a file name for OpenDataFile (the library's file search);
  // empty: names are used as given.
  std::function<std::string(std::string_view)> ResolveName;
  // The words of the index rebuild's last accepted parameter line (none
  // when none was accepted): a line of two to four words uses them again.
  std::vector<std::string> RebuildWords;
  // Index changes keep their journal (off: changes are made as the
  // previous release made them, without one; set through JournalSwitch).
  bool JournalOn = true;
  // Table changes are bracketed (off: the bracket does nothing, as the
  // previous release had none; set through TableChangeSwitch).
  bool TableChangesOn = true;
  // Every index change waits for the disk: its journal before each page
  // write, its pages before the journal is invalidated (against power loss;
  // costly, off unless set).
  bool SyncChanges = false;

  EngineState();
  ~EngineState();
  EngineState& operator=(EngineState&&) noexcept;
};
// The engine's state; ResetEngine puts it back to its start (for tests).
EngineState& State();
void ResetEngine();

inline bool DbOk() { return State().DbOk; }
inline int LastIOResult() { return State().LastIOResult; }
inline bool RecordInUse() { return State().RecordInUse; }
inline bool LockingOn() { return State().LockingOn; }
inline std::uint8_t* RecordBuffer() { return State().RecordBuffer.get(); }

// The station identifier distinguishes every station that may run at once,
// several on one machine included. Formed by InitDatabase when none was set:
// the value "ALLOMAS" of section "*ADATBAZIS" of the program's settings
// ("prog.res") when that store is loaded and gives one; otherwise the
// computer name, "_" and the process number ("KASSZA1_4711").
const std::string& StationId();
void SetStationId(std::string_view id);

// ============================================================================
// Index files
// ============================================================================
//
// An index maps keys (code page 852 strings of at most KeyLen bytes, 1..246)
// to record numbers of a data file and keeps them in key order. It is a
// B-tree of order 16 whose pages are the records of a data file: every page
// but the root holds 16 to 32 items, items sit in inner pages as in leaves,
// and the header's RootPage names the root (0 = empty tree).
//
// Every public key operation upper-cases its key (text::UpperCaseText) and
// cuts it to 246, then to the index's KeyLength. Keys order byte by byte as
// unsigned characters, a proper prefix first; with duplicates allowed equal
// keys order by record number. Results go to DbOk; found keys and record
// numbers come back through the reference arguments.
//
// InsertKey and RemoveKey hold the index's header lock from start to end,
// so changes of one index are serialised between stations; they lock no
// page (stations of the previous release locked each page while they read
// it, under the same header lock, which no one else relied on). Searches and
// steps take no locks and never wait for a change: they run with locking
// suspended, so they may meet pages from before, during and after another
// station's change. Each index keeps copies of the pages on its current
// path between calls; a step within the leaf it stands on reads nothing.
// Every page read is checked against what its path promises (not free, 1
// to 32 items, children inside the file, keys in order and within the
// bounds the pages above give it), and after a descent the pages above a
// new leaf are read again to confirm that they still hold it within the
// same bounds; pages read while another station holds the header lock (a
// change under way, its pages half written) do not count. A search or step
// that meets a page that cannot be on its path starts again from the root
// (the root as the header names it) and finds its place again from the
// item it stood on. Only when the
// inconsistency persists while no station is changing the index (this
// station holds the header lock for one more descent) is the index
// damaged: the program stops through CheckIndexIO with 154, never reading
// out of bounds.
//
// The guarantee of a pass: StepNext from no position until DbOk is false
// (or StepPrev likewise) returns every key that stays in the index for the
// whole pass exactly once and in key order (equal keys by record number),
// whatever other stations insert and remove meanwhile. Keys inserted or
// removed during the pass may or may not appear. Changes made by this
// station through the same IndexFile are seen by the next step.

// Where the pages of one index live: the records of its own data file, or
// memory in tests. A store serves one index; the page cache calls it.
class PageStore {
 public:
  virtual ~PageStore() = default;
  // Reads page n (RecLen bytes). Pages take no record locks of their own: a
  // change holds the header lock, which keeps every other change off them,
  // and a reader checks every page it reads against its path.
  virtual void Read(std::int32_t n, std::uint8_t* record) = 0;
  // Writes page n (and releases the lock of a page the change appended).
  virtual void Write(std::int32_t n, const std::uint8_t* record) = 0;
  // Done with page n without writing it.
  virtual void Release(std::int32_t n) = 0;
  // Inside a change: a page number for a new page, taken from the free
  // chain or appended; the header stays held.
  virtual std::int32_t Allocate() = 0;
  // Inside a change: puts page n on the free chain; the header stays held.
  virtual void Free(std::int32_t n) = 0;
  // Starts a change: takes the header lock; returns the header's root.
  virtual std::int32_t BeginChange() = 0;
  // Ends a change: the header's root := root, header written and released.
  virtual void EndChange(std::int32_t root) = 0;
  // The header's root, read without locking.
  virtual std::int32_t PeekRoot() = 0;
  // Takes the header lock without waiting, so that no station can change
  // the index until ReleaseChanges; false when another station holds it
  // (a change is running). A store no other station shares always gives it.
  virtual bool HoldChanges() { return true; }
  virtual void ReleaseChanges() {}
  // True when another station holds the header lock: a change is under way
  // and its pages may be half written. False while this station holds it.
  // When the lock is free and a station that died left a change half done,
  // the change is rolled back from its journal (or a rebuild is demanded)
  // and the answer is true: pages read before do not count.
  virtual bool ChangeRunning() { return false; }
  // True when n is a page of the file: 1 up to its length in records - 1.
  virtual bool Holds(std::int32_t n) = 0;
  // Record n makes no sense: the store's own part of the report, after
  // which the engine ends the program (PageFault). A store may end it
  // itself, as the tests' stores do by throwing; by default nothing.
  virtual void Fault(std::int32_t /*n*/) {}
};

// A sound tree is at most 9 levels deep (page numbers are int32 and every
// level below the root's children is at least 17 times wider), so a path
// longer than this runs through a damaged tree.
inline constexpr int kMaxTreeDepth = 16;

struct IndexPathEntry {
  std::int32_t PageRef = 0;
  std::int16_t ItemIndex = 0;  // 0 = before the page's first item
};

struct IndexFile : DataFile {
  bool AllowDuplicates = false;
  std::int16_t KeyLength = 0;  // 1..246
  std::int32_t Root = 0;       // root page as this station last saw it
  // The current position: Path[0 .. PathDepth-1] from the root down, the
  // position being item Path[PathDepth-1].ItemIndex of the last page.
  // PathDepth 0 = no position.
  std::int16_t PathDepth = 0;
  std::array<IndexPathEntry, kMaxTreeDepth> Path{};
  // The pages; an open index has its own file's, tests may set others.
  std::unique_ptr<PageStore> Pages;
  // The searches' copies of the pages on the current path (made on first
  // use, dropped when the index is opened, emptied or closed).
  std::shared_ptr<struct IndexCursor> Cursor;
};

// Record length of an index whose keys hold keyLen bytes.
constexpr int IndexRecLen(int keyLen) { return (keyLen + 9) * 32 + 5; }

// Opening and closing (results in DbOk, failures in LastIOResult as for
// data files). duplicates non-zero allows equal keys. A keyLen outside
// 1..246 is refused (DbOk false) without touching the file.
void CreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
void OpenIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
void OpenOrCreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
// Opens name + ".dat" and name + ".idx"; when the data file does not open,
// creates both and opens them again.
void OpenTable(std::string_view name, DataFile& f, IndexFile& x, int recLen, int keyLen,
               int duplicates);
void CloseIndex(IndexFile& x);
// Closes the index and creates it anew, empty, with its name, key length,
// duplicates setting, open mode and group.
void EmptyIndex(IndexFile& x);

// Changes. InsertKey: DbOk false when the pair (without duplicates: the
// key) is there already. RemoveKey: with duplicates the record number
// selects among equal keys; on success recordRef receives the removed
// item's record number; DbOk false when not found. Neither moves the
// current position. An index opened read-only (mode 1) refuses both with
// "Illegális file müvelet!".
void InsertKey(IndexFile& x, std::int32_t recordRef, std::string_view key);
void RemoveKey(IndexFile& x, std::int32_t& recordRef, std::string_view key);

// Searches and steps set the current position and return the item found.
// SeekKey: exact key (with duplicates the first of equal keys). On a miss
// the arguments may hold the next item.
void SeekKey(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The first item whose key is at least key.
void SeekKeyAtLeast(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The next or previous item; without a position the first or the last.
// Past the end DbOk is false and the position is cleared.
void StepNext(IndexFile& x, std::int32_t& recordRef, std::string& key);
void StepPrev(IndexFile& x, std::int32_t& recordRef, std::string& key);
void ResetPosition(IndexFile& x);
// The item with exactly this key and this record number.
void SeekEntry(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The last item whose key starts with key (or sorts below every key that
// would follow those that do); an empty key gives the last item.
void SeekLastWithPrefix(IndexFile& x, std::int32_t& recordRef, std::string& key);

// ---- The change journal -------------------------------------------------------
//
// A change (InsertKey, RemoveKey, with their page allocations, frees and
// header writes) of an index open with a shared, writable header (modes 0
// and 4) keeps the pre-image of every record it overwrites in the journal
// beside the index: the index's name + ".jrn" ("PARTNER1.idx.jrn"). Before a
// record is written for the first time in a change, its pre-image and the
// checksum of the new image reach the journal; every later write of it in
// the change first records the new checksum. A record at or beyond the
// file's length at the start (an appended page) has no pre-image: a
// rollback truncates the file to that length. Once the change's last write
// has returned, the journal is cut back to its 64-byte head: it holds a
// change only while it is longer than that and its head says Pending. No
// write waits for the disk: against a killed process the order of the
// writes is enough.
//
// A journal that holds a change while the index's header lock is free was
// left by a writer that died. The first station to take the header lock
// (every change does) or to open the index rolls it back: pre-images
// written back, appended pages cut off, the journal cut back, and one
// line in "DBACCESS.ERR" naming the index and the dead station. When a
// record the dead writer wrote no longer holds what it wrote (nor its
// pre-image), or the file grew beyond what it appended, a station of the
// previous release (which knows no journal) has changed the index since:
// nothing is rolled back, and the program ends with the message that the
// index must be rebuilt with reindex (RebuildIndex empties the journal
// when it creates the index anew).
//
// The journal file (little-endian), written only under the header lock:
//    0  char[4]  "IJR1"
//    4  uint32   Sequence     the change's number; each change takes the next
//    8  uint8    Pending      1: the entries after the head are a change's
//   12  int32    RecLen       the index's page size
//   16  int32    StartLength  records in the index when the change began
//   20  uint8    station identifier of the writer: length, then 31 bytes
//   60  uint32   CRC-32 of bytes 0..59
// From byte 64, one entry per record the change wrote, 52 + RecLen bytes:
//    0  uint32   Sequence     the change's; an entry of another is stale
//    4  int32    Page         the record number (0 = the header)
//    8  uint32   PreCrc       CRC-32 of the pre-image's pieces (0: appended)
//   12  uint32   Order        the number of its latest write in the change
//   16  uint32[4] Before      the record before its latest write and
//   32  uint32[4] After       the image of that write, each as the checksum
//                             of every piece of the record that lies in one
//                             4096-byte block of the index file (unused: 0):
//                             h = piece length (64 bits); for each 8-byte
//                             little-endian word w (the last filled with
//                             zeros) h = (h ^ w) * 0x9E3779B97F4A7C15,
//                             h ^= h >> 32; the low 32 bits of h
//   48  uint32   CRC-32 of bytes 0..47 of the entry
//   52  RecLen   the pre-image (zeros for an appended page)
// The entries of a change run from byte 64 up to the first that is not
// its own (other sequence, bad CRC, bad pre-image); an entry whose 52-byte
// head would cross a 4096-byte boundary starts at that boundary instead,
// so that a rewrite of a head, cut short by a kill, lands whole or not at
// all. A write that a kill cuts short leaves whole blocks: its record is
// new up to a block boundary and old after it, which the pieces recognise.
// Appended records are made by growing the file (never cut short), zeros.
//
// The previous release ignores the file: the index's own bytes and its
// header lock keep their meaning.

// The journal beside an index.
[[nodiscard]] std::string JournalName(std::string_view indexName);

// Rolls back the change a dead writer left in x's journal. The header lock
// is the test of death: when x does not hold it, it is taken here without
// waiting (and released after). Ends the program when the index must be
// rebuilt (see above). For the open, the change frame and readers that
// meet a page that makes no sense.
inline constexpr int kNoChangePending = 0;
inline constexpr int kChangeRolledBack = 1;
inline constexpr int kWriterAtWork = 2;  // another station holds the header lock
int RollBackDeadWriter(IndexFile& x);

// What a journal says about an index, from the bytes of both (dbcheck).
struct JournalVerdict {
  bool Pending = false;        // the journal holds a change
  bool RebuildNeeded = false;  // its pages are no longer what the writer left
  std::string Station;         // the writer of the pending change
  std::string Reason;          // when RebuildNeeded: the first difference
  std::string RolledBack;      // otherwise: the index after the rollback
};
[[nodiscard]] JournalVerdict JudgeJournal(std::string_view journal, std::string_view index);

// Sets the engine's journal switch and puts it back at the end of the
// scope (tests use it to change an index as the previous release did).
class JournalSwitch {
 public:
  explicit JournalSwitch(bool on);
  ~JournalSwitch();
  JournalSwitch(const JournalSwitch&) = delete;
  JournalSwitch& operator=(const JournalSwitch&) = delete;

 private:
  bool was_;
};

// Key and record together: the item's record of f is read into buf
// (ReadRecord while locking is on, else PeekRecord). Items whose record is
// free are skipped by the steps; DbOk is true only for a record in use.
void NextRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
void PrevRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
// SeekKey, then the record.
void FindRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
// SeekKeyAtLeast, then the record, going on to the next in use.
void SeekRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);

// The page cache's pages of x: written back (dirty) or released, then
// forgotten. FlushIndexPages also sets the header copy's RootPage := Root.
void FlushIndexPages(IndexFile& x);
void DropIndexPages(IndexFile& x);

// The structure check of an index file's bytes (the whole file): length,
// header, page fill (16..32 items, the root 1..32), key order within pages
// and between levels, equal leaf depth, and every page either in the tree
// or on the free chain exactly once. Never reads outside image, whatever it
// holds.
struct IndexCheck {
  std::string Fault;  // the first fault found; "" when sound
  std::int64_t Keys = 0;
  int Depth = 0;  // levels of the tree
  std::int32_t Pages = 0, FreePages = 0;  // records after the header; free ones
};
// each, when given, meets every item of the tree the check reaches: its
// record number and its key as the index holds it. When the check finds no
// fault, these were all of the index's items, each once.
using IndexItemVisit = std::function<void(std::int32_t recordRef, std::string_view key)>;
[[nodiscard]] IndexCheck CheckIndexImage(std::string_view image, int keyLen, bool duplicates,
                                         const IndexItemVisit& each = {});

// Guarded index opens (error handling code, built on the above).
void OpenIndexGuarded(IndexFile& x, std::string_view name, int keyLen, int duplicates);
void CreateIndexGuarded(IndexFile& x, std::string_view name, int keyLen, int duplicates);

// ============================================================================
// Table changes
// ============================================================================
//
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
class TableChangeSwitch {
 public:
  explicit TableChangeSwitch(bool on);
  ~TableChangeSwitch();
  TableChangeSwitch(const TableChangeSwitch&) = delete;
  TableChangeSwitch& operator=(const TableChangeSwitch&) = delete;

 private:
  bool was_;
};

// ============================================================================
// External sort
// ============================================================================
//
// Sorts fixed-size records of any number within a bounded memory. Input
// fills the record it is given and returns true, or returns false when there
// are no more; Less orders two records; Output receives the records in order.
// The sort is stable: records equal under Less come out in input order.
//
// Memory stays near MemoryBytes whatever the count: sorted runs of that size
// spill to the work file "SOWK" + station identifier + ".TMP" in Folder (the
// current folder when empty) and are merged many at a time through buffered
// block reads, in several passes when there are more runs than buffers. The
// work file is removed at the end, whether the sort succeeds or fails.
//
// Records whose bytes are mostly padding may be given a packed form: the
// sort then keeps, spills and compares them packed (Packing.Less orders
// packed records as Less orders whole ones), packing each record Input
// fills and unpacking each one before Output. More records fit a run, and
// the work file shrinks by the same measure. Packed records may also have a
// prefix: a number that orders them as Packing.Less does wherever the two
// numbers differ. A run is then sorted on the prefixes, kept beside the
// records' positions, and Less is called only where they are equal.
//
// Returns 0; a Windows error number when the work file fails
// (platform::error::kDiskFull for a full disk); kSortProcedureFailed when a procedure threw (or memory ran out).
// After a failure Output may have received part of the records.
using SortInput = std::function<bool(void* record)>;
using SortLess = std::function<bool(const void* a, const void* b)>;
using SortOutput = std::function<void(const void* record)>;
struct SortPacking {
  std::size_t Size = 0;  // bytes of a packed record; 0: records are not packed
  std::function<void(const void* record, void* packed)> Pack;
  std::function<void(const void* packed, void* record)> Unpack;
  SortLess Less;
  std::function<std::uint64_t(const void* packed)> Prefix;  // may be empty
};
struct SortSettings {
  std::size_t MemoryBytes = std::size_t{64} << 20;
  std::string Folder;
  SortPacking Packing;
};
inline constexpr int kSortProcedureFailed = -1;
[[nodiscard]] int ExternalSort(std::size_t recordSize, const SortInput& input, const SortLess& less,
                               const SortOutput& output, const SortSettings& settings = {});
// The work file's name in folder ("" is the current folder).
[[nodiscard]] std::string SortWorkFileName(std::string_view folder);

// ============================================================================
// Index rebuild
// ============================================================================
//
// RebuildIndex builds an index file afresh from a data file and, in the
// same pass, rebuilds the data file's free chain and its header (true
// length, no markers): a sound chain stays and the free records off it go
// in front of it, from the highest down, so a rebuild stopped on the way
// leaves chain and header as they were (the header is written last); a
// broken chain is laid anew from the highest free record down. The parameter line
// is "Datafile Indexfile Rh D Kp Kh [Kp Kh]...": the data file name without
// ".dat", the index name without ".idx", the record length, 1 when equal
// keys are allowed, and 1 to 5 key parts (first byte position, 1-based, and
// length) whose bytes, joined, form each record's key. A single word writes
// the usage line. With two to four words the parameters of the last
// accepted line are used again.
//
// Keys are sorted externally in the index's order and the tree is laid
// down bottom-up from them in one pass, its pages about 81 % full. Without
// duplicates, of keys the index holds as equal (upper-cased) the first in
// the order of the keys as read, equal ones the highest record number
// first, is indexed; the others are listed, in that order, in the skip
// file index name + "_hiba.txt" ("@@@@@@@@@@  kulcs:KEY" lines after the
// data file's name), and after the question "Kimaradt rekordok
// száma: ..." their records are freed. No skipped entry: no skip file.
//
// The data file is opened so that no other station can have it open for
// writing meanwhile; when another station has it open for writing, nothing
// is changed (a station reading it only is let be).
// With ownWindow the rebuild shows its counters in a framed window of its
// own, otherwise in the current window.
struct RebuildResult {
  int Code = 0;        // one of the kRebuild values
  std::string Reason;  // a one-line Hungarian reason when Code != 0
  std::int32_t Read = 0, Indexed = 0, Skipped = 0;  // records in use, keys taken, keys refused
};
inline constexpr int kRebuildDone = 0;  // also: the usage line was written
inline constexpr int kRebuildBadParameters = 1;
inline constexpr int kRebuildNoDataFile = 2;
inline constexpr int kRebuildInUse = 3;  // another station has the data file open
inline constexpr int kRebuildFailed = 4;  // the index or the sort's work file failed
inline constexpr std::string_view kRebuildUsage = "Datafile Indexfile Rh D Kp Kh [Kp Kh]...";
[[nodiscard]] RebuildResult RebuildIndex(bool ownWindow, std::string_view line, const SortSettings& sort = {});
// The parameter checks alone, without the screen or any file: Code 0 when
// RebuildIndex would go on to the files (or write the usage line). A
// refusal names the word as it was typed; a key part without its length is
// refused.
[[nodiscard]] RebuildResult CheckRebuildLine(std::string_view line);
// The same two with the words given one by one, as a program's arguments
// come from the system: a word may hold blanks, and the data file's name is
// shown converted to code page 852 (platform::ArgumentToCp852) while the
// files are used by the names as given.
[[nodiscard]] RebuildResult RebuildIndexArgs(bool ownWindow, const std::vector<std::string>& args);
[[nodiscard]] RebuildResult CheckRebuildArgs(const std::vector<std::string>& args);

// The key description of a parameter line as the rebuild reads it, for
// the programs that check an index against its data file.
struct KeyDescription {
  struct Part {
    int Pos = 0, Len = 0;  // first byte (1-based) and length
  };
  std::string Data, Index;  // the file names without ".dat" and ".idx", as given
  int RecLen = 0, Duplicates = 0;
  std::vector<Part> Parts;
  // The parts' lengths added up: the index's key length.
  [[nodiscard]] int KeyLength() const;
  // The key the rebuild indexes a record in use under (record: RecLen
  // bytes): its parts joined in their order, cut to 246, upper-cased as
  // the index holds its keys.
  [[nodiscard]] std::string IndexKey(const std::uint8_t* record) const;
};
// Reads the words of a parameter line given one by one (five or more) into
// description: Code 0, or the refusal RebuildIndexArgs gives for them.
// Fewer words are refused with the usage line: the last accepted line is
// not used again here.
[[nodiscard]] RebuildResult ReadKeyDescription(const std::vector<std::string>& args,
                                               KeyDescription& description);

}  // namespace db
