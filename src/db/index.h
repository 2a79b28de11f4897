// Index files: B-trees whose pages are the records of a data file, their
// searches, steps and changes, and the change journal.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "db/datafile.h"
#include "platform/scoped_value.h"

namespace db {

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

// The longest key an index holds (its KeyLen is 1..kMaxKeyLen).
inline constexpr int kMaxKeyLen = 246;
// Items a page holds at most, and the bytes of a page before its items.
inline constexpr int kPageItems = 32;
inline constexpr int kPageHead = 5;
// Record length of an index whose keys hold keyLen bytes: the page head,
// then 32 items of record number, child page, key length and key.
constexpr int IndexRecLen(int keyLen) { return (keyLen + 9) * kPageItems + kPageHead; }

// Opening and closing (a Result, also in DbOk and LastIOResult, as for
// data files). duplicates non-zero allows equal keys. A keyLen outside
// 1..246 is refused (kBadRecLen) without touching the file.
Result CreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
Result OpenIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
Result OpenOrCreateIndex(IndexFile& x, std::string_view name, int keyLen, int duplicates);
// Opens name + ".dat" and name + ".idx"; when the data file does not open,
// creates both and opens them again.
Result OpenTable(std::string_view name, DataFile& f, IndexFile& x, int recLen, int keyLen,
               int duplicates);
Result CloseIndex(IndexFile& x);
// Closes the index and creates it anew, empty, with its name, key length,
// duplicates setting, open mode and group.
Result EmptyIndex(IndexFile& x);

// Changes; each returns whether it was made (also in DbOk). InsertKey:
// false when the pair (without duplicates: the key) is there already.
// RemoveKey: with duplicates the record number selects among equal keys;
// on success recordRef receives the removed item's record number; false
// when not found. Neither moves the current position. An index opened
// read-only (mode 1) refuses both with "Illegális file müvelet!".
bool InsertKey(IndexFile& x, std::int32_t recordRef, std::string_view key);
bool RemoveKey(IndexFile& x, std::int32_t& recordRef, std::string_view key);

// Searches and steps set the current position and return the item found;
// each returns whether it found one (also in DbOk).
// SeekKey: exact key (with duplicates the first of equal keys). On a miss
// the arguments may hold the next item.
bool SeekKey(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The first item whose key is at least key.
bool SeekKeyAtLeast(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The next or previous item; without a position the first or the last.
// Past the end DbOk is false and the position is cleared.
bool StepNext(IndexFile& x, std::int32_t& recordRef, std::string& key);
bool StepPrev(IndexFile& x, std::int32_t& recordRef, std::string& key);
void ResetPosition(IndexFile& x);
// The item with exactly this key and this record number.
bool SeekEntry(IndexFile& x, std::int32_t& recordRef, std::string& key);
// The last item whose key starts with key (or sorts below every key that
// would follow those that do); an empty key gives the last item.
bool SeekLastWithPrefix(IndexFile& x, std::int32_t& recordRef, std::string& key);

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
class JournalSwitch : public platform::ScopedValue<bool> {
 public:
  explicit JournalSwitch(bool on);
};

// Key and record together: the item's record of f is read into buf
// (ReadRecord while locking is on, else PeekRecord). Items whose record is
// free are skipped by the steps; the result (and DbOk) is true only for a
// record in use.
bool NextRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
bool PrevRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
// SeekKey, then the record.
bool FindRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
                     void* buf);
// SeekKeyAtLeast, then the record, going on to the next in use.
bool SeekRecordByKey(IndexFile& x, std::string& key, DataFile& f, std::int32_t& recordRef,
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

}  // namespace db
