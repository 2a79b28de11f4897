// Data files: opening in the five modes, creating, closing, the record
// operations, the free chain and the header operations.
#include <cstring>

#include "db/db.h"
#include "db/internal.h"
#include "db/journal.h"
#include "db/table_journal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "text/text.h"

namespace db {

using namespace internal;
using namespace platform::literals;

namespace {

bool ValidRecLen(int recLen) { return recLen >= kMinRecLen && recLen <= kMaxRecLen; }

void SetResult(int platformResult) {
  State().LastIOResult = static_cast<std::int16_t>(EngineResult(platformResult));
}

void SetInUse(std::int32_t n, const void* buf) {
  State().RecordInUse = n == 0 || static_cast<const std::uint8_t*>(buf)[4] != 0;
}

// Stops through the error path as damaged data.
void Damaged(DataFile& f, std::int32_t n) {
  State().LastIOResult = kDamagedData;
  CheckDataIO(f, n);
}

// The name OpenDataFile binds: a name without a folder goes through the
// library's file search when one is installed.
std::string Resolve(std::string_view name) {
  const auto& search = State().ResolveName;
  if (search && name.find_first_of("\\/:") == std::string_view::npos) return search(name);
  return std::string(name);
}

// Mode 3's private work copy: folder + the base name's first 6 characters +
// the station identifier + the extension.
std::string PrivateName(std::string_view name) {
  std::size_t baseStart = platform::FilePartStart(name);
  std::string_view extension = platform::Extension(name);
  std::string_view base = name.substr(baseStart, name.size() - baseStart - extension.size());
  return std::string(name.substr(0, baseStart)) + std::string(base.substr(0, 6)) + StationId() +
         std::string(extension);
}

// Forgets what f held before (a DataFile opened again without a close
// leaves no stale slot behind).
void ResetFile(DataFile& f, std::string_view name, int recLen) {
  FreeSlot(f);
  f.Name = std::string(name);
  f.RecLen = recLen;
  f.Header = {};
  f.HeaderRecord.assign(static_cast<std::size_t>(recLen), 0);
  f.CachedLength = 0;
  f.LockDepth = f.ShareDepth = 0;
  f.TableSlot = 0;
  f.Held.clear();
  f.Position = 0;
  f.Appended = 0;
  f.Journal.reset();
  f.Table.reset();
}

// Creates (or empties) the file at path with a new header, locked while it
// is written, and closes it again. The platform's result of the creation.
int CreateEmpty(DataFile& f, const std::string& path, int sharing) {
  if (int result = f.Handle->Create(path, sharing)) return result;
  f.Header.FreeHead = -1;
  f.Header.FreeCount = f.Header.RootPage = 0;
  f.Header.RecordTotal = 1;
  f.Header.TxFlag = 0;
  f.Header.ShareCount = 0;
  LockRecord(f, 0);
  std::fill(f.HeaderRecord.begin(), f.HeaderRecord.end(), 0);
  FileToHeader(f);
  SetResult(WriteAt(f, 0, f.HeaderRecord.data(), f.HeaderRecord.size()));
  CheckDataIO(f, 0);
  UnlockRecord(f, 0);
  SetResult(f.Handle->Close());
  f.Held.clear();
  CheckDataIO(f, 0);
  return 0;
}

[[noreturn]] void RecordLengthStop(DataFile& f, std::int64_t size) {
  f.Handle->Close();
  std::string message = std::string("Hibás rekordhossz a(z) "_cp) + f.Name;
  message += " állománynál!"_cp;
  message += '\0';
  message += "Fileméret  : "_cp;
  message += text::FormatPicture("###.###.###.", static_cast<long double>(size));
  message += '\0';
  message += "Rekordméret: "_cp;
  message += text::FormatPicture("####", f.RecLen);
  message += "  Nem osztható!"_cp;
  CurrentHost().Ask(message, "");
  EndProgram(1);
}

// The file's size in bytes, from the handle.
std::int64_t HandleSize(DataFile& f) {
  std::int64_t size = 0;
  SetResult(f.Handle->Size(size));
  CheckDataIO(f, 0);
  return size;
}

// Steps shared by the opens once the handle is open: the size check (from
// the handle), the header read and checked, the cached length, the slot.
// The length compared with the header is taken again while the header is
// held: another station may append between the first look and the lock.
void FinishOpen(DataFile& f, OpenMode mode, bool checkLength, std::int32_t group) {
  std::int64_t size = HandleSize(f);
  if (checkLength && size % f.RecLen != 0) RecordLengthStop(f, size);
  f.OpenMode = mode;
  ReadRecord(f, 0, f.HeaderRecord.data());
  std::int64_t records = HandleSize(f) / f.RecLen;
  HeaderToFile(f);
  if (!f.Header.Sane() || f.Header.RecordTotal > records) Damaged(f, 0);
  UnlockRecord(f, 0);
  f.CachedLength = static_cast<std::int32_t>(records);
  f.Header.TxFlag = 0;
  f.LockDepth = f.ShareDepth = 0;
  TakeSlot(f, SlotKind::kData, group);
}

// Opens the handle at path and finishes the open; the handle's failure is
// the result.
Result OpenAt(DataFile& f, const std::string& path, int sharing, OpenMode mode, bool checkLength,
              std::int32_t group) {
  f.Sharing = sharing;
  if (int result = f.Handle->Open(path, sharing)) return Published({EngineResult(result), f.Name});
  FinishOpen(f, mode, checkLength, group);
  return Published({0, f.Name});
}

// An open or create with a record length outside kMinRecLen..kMaxRecLen:
// refused without touching the file.
Result RefusedRecLen(DataFile& f, std::string_view name) {
  ResetFile(f, name, kMinRecLen);
  return Published({kBadRecLen, std::string(name)});
}

// The transfers of one record, their result returned (the engine's number,
// 0 when done) and nothing ended: the record operations below check it, a
// close hands it to its caller.

// Takes record n's lock, waiting for it, and reads the record; a read that
// another station's lock refuses is repeated. A free record is let go again.
int ReadLockedRecord(DataFile& f, std::int32_t n, void* buf) {
  LockRecord(f, n);
  bool ownLock = f.Held.count(n) > 0;
  std::int64_t at = RecordOffset(f, n);
  int result = ReadAt(f, at, buf, static_cast<std::size_t>(f.RecLen), GuardOf(f, n));
  // Repeated only while another station's lock refuses it; any other
  // failure (past the end of the file among them) is the result at once.
  while (!ownLock && result == platform::error::kLockViolation) {
    PollPause();
    result = ReadAt(f, at, buf, static_cast<std::size_t>(f.RecLen));
  }
  if (result != 0) return EngineResult(result);
  SetInUse(n, buf);
  if (!RecordInUse()) UnlockRecord(f, n);
  return 0;
}

// Read whole unless another station holds the record's lock byte, which
// Windows refuses to read: then everything but that byte (also when the
// lock was taken between the look and the read). The protocol locks no
// other byte of a record, so the read itself looks for no lock.
int PeekAt(DataFile& f, std::int32_t n, void* buf) {
  const std::int64_t at = RecordOffset(f, n);
  auto size = static_cast<std::size_t>(f.RecLen);
  if (n >= 0 && RecordLockedElsewhere(f, n)) --size;
  int result = ReadAt(f, at, buf, size, n >= 0 ? Guard::kNoLook : Guard::kLook);
  if (result == platform::error::kLockViolation && n >= 0 && size == static_cast<std::size_t>(f.RecLen))
    result = ReadAt(f, at, buf, size - 1);
  if (result != 0) return EngineResult(result);
  SetInUse(n, buf);
  return 0;
}

int WriteHeldRecord(DataFile& f, std::int32_t n, const void* buf) {
  if (f.Journal) f.Journal->BeforeWrite(n, static_cast<const std::uint8_t*>(buf));
  return EngineResult(WriteAt(f, RecordOffset(f, n), buf, static_cast<std::size_t>(f.RecLen), GuardOf(f, n)));
}

// Takes the header read into f.HeaderRecord: the markers always, the
// counters (and the length they give) when one of them moved. A header
// that makes no sense is kDamagedData and nothing is taken.
int TakeHeader(DataFile& f) {
  FileHeader read = FileHeader::Decode(f.HeaderRecord.data());
  if (!read.Sane()) return kDamagedData;
  bool moved = read.FreeHead != f.Header.FreeHead || read.FreeCount != f.Header.FreeCount ||
               read.RootPage != f.Header.RootPage || read.RecordTotal != f.Header.RecordTotal;
  f.Header = read;
  if (moved) f.CachedLength = f.Header.RecordTotal;
  return 0;
}

// The fatal check of a record operation's result.
void Check(DataFile& f, std::int32_t n, int result) {
  State().LastIOResult = static_cast<std::int16_t>(result);
  CheckDataIO(f, n);
}

// CloseDataFile's write of the header, with locking on: this station's
// markers taken back and the length it knows, when it changed anything.
// Ends nothing: the result is returned.
int WriteHeaderBack(DataFile& f) {
  LockingSwitch lockingOn(true);
  bool shared = HeaderShared(f);
  if (shared) {
    if (int result = PeekAt(f, 0, f.HeaderRecord.data())) return result;
    if (FileHeader::Decode(f.HeaderRecord.data()).TxFlag == 0 && f.LockDepth <= 0 && f.ShareDepth <= 0) return 0;
    int result = ReadLockedRecord(f, 0, f.HeaderRecord.data());
    if (result == 0) result = TakeHeader(f);
    if (result != 0) {
      UnlockRecord(f, 0);
      return result;
    }
  }
  f.Header.RecordTotal = f.CachedLength;
  if (f.LockDepth > 0) {
    f.Header.TxFlag = 0;
    f.LockDepth = 0;
  }
  if (f.ShareDepth > 0 && f.Header.ShareCount > 0) --f.Header.ShareCount;
  CopyHeader(f);
  int result = 0;
  // Written in mode 2, and when shared, but never in mode 1.
  if (f.OpenMode == kModeExclusive || (shared && f.OpenMode != kModeReadOnly))
    result = WriteHeldRecord(f, 0, f.HeaderRecord.data());
  UnlockRecord(f, 0);
  return result;
}

}  // namespace

DataFile::DataFile() = default;
DataFile::~DataFile() { FreeSlot(*this); }

// ---- Opening and closing -------------------------------------------------------

Result OpenDataFile(DataFile& f, std::string_view name, int recLen) {
  EngineState& s = State();
  if (s.OpenMode == kModeExclusive) return OpenDataFileExclusive(f, name, recLen);
  if (!ValidRecLen(recLen)) return RefusedRecLen(f, name);
  ResetFile(f, Resolve(name), recLen);
  OpenMode mode = s.OpenMode;
  std::string path = f.Name;
  if (mode == kModePrivate) {
    path = PrivateName(f.Name);
    if (int result = CreateEmpty(f, path, SharingOf(mode))) return Published({EngineResult(result), f.Name});
  }
  return OpenAt(f, path, SharingOf(mode), mode, true, s.FileGroup);
}

Result OpenDataFileExclusive(DataFile& f, std::string_view name, int recLen) {
  if (!ValidRecLen(recLen)) return RefusedRecLen(f, name);
  ResetFile(f, Resolve(name), recLen);
  return OpenAt(f, f.Name, platform::share::kReadWriteDenyWrite, kModeExclusive, false, 0);
}

Result OpenOrCreateDataFile(DataFile& f, std::string_view name, int recLen) {
  Result opened = OpenDataFile(f, name, recLen);
  return opened.Ok() ? opened : CreateDataFile(f, name, recLen);
}

Result CreateDataFile(DataFile& f, std::string_view name, int recLen) {
  EngineState& s = State();
  if (s.OpenMode == kModePrivate) return OpenDataFile(f, name, recLen);
  if (!ValidRecLen(recLen)) return RefusedRecLen(f, name);
  ResetFile(f, name, recLen);
  int sharing = s.OpenMode == kModeExclusive || s.OpenMode == kModeNoLocks
                    ? platform::share::kReadWriteDenyWrite
                    : platform::share::kReadWriteDenyNone;
  f.OpenMode = s.OpenMode;
  if (int result = CreateEmpty(f, f.Name, sharing)) return Published({EngineResult(result), f.Name});
  EmptyIfThere(TableJournalName(f.Name));  // a change pending there never meets the new file
  return OpenDataFile(f, name, recLen);
}

Result CloseDataFile(DataFile& f) {
  if (!f.Handle->IsOpen()) {
    FreeSlot(f);
    return {};
  }
  Result done{WriteHeaderBack(f), f.Name, 0};
  f.ShareDepth = 0;
  std::string path = f.Handle->Path();
  int closed = EngineResult(f.Handle->Close());
  if (done.Ok()) done.Code = closed;
  f.Held.clear();
  f.Table.reset();  // its slot is let go; a change not ended stays for the next station
  if (f.OpenMode == kModePrivate) (void)platform::EraseFile(path);  // a fresh copy each open
  FreeSlot(f);
  return Published(done);
}

Result EmptyDataFile(DataFile& f) {
  std::string name = f.Name;
  int recLen = f.RecLen;
  std::int32_t group = 0;
  if (f.TableSlot >= 1 && f.TableSlot <= kTableSlots) group = State().OpenFileTable[f.TableSlot].group;
  SetOpenMode(f.OpenMode, group);
  Result done = CloseDataFile(f);
  if (done.Ok()) done = CreateDataFile(f, name, recLen);
  RestoreOpenMode();
  return done;
}

void ReopenFile(DataFile& f) {
  std::string path = f.Handle->Path();
  f.Handle->Close();
  f.Held.clear();
  SetResult(f.Handle->Open(path, f.Sharing));
  CheckDataIO(f, 0);
}

// ---- Records ---------------------------------------------------------------------

void ReadRecord(DataFile& f, std::int32_t n, void* buf) { Check(f, n, ReadLockedRecord(f, n, buf)); }

void internal::ReadIndexPage(DataFile& f, std::int32_t n, void* buf) {
  const auto size = static_cast<std::size_t>(f.RecLen);
  int result;
  while ((result = ReadAt(f, RecordOffset(f, n), buf, size, Guard::kNoLook)) == platform::error::kLockViolation)
    PollPause();  // Windows: a station that reads the page under its lock
  SetResult(result);
  CheckDataIO(f, n);
  SetInUse(n, buf);
}

void internal::WriteIndexPage(DataFile& f, std::int32_t n, const void* buf) {
  if (f.Journal) f.Journal->BeforeWrite(n, static_cast<const std::uint8_t*>(buf));
  SetResult(WriteAt(f, RecordOffset(f, n), buf, static_cast<std::size_t>(f.RecLen), Guard::kNoLook));
  CheckDataIO(f, n);
  UnlockRecord(f, n);  // a page this change appended
}

void PeekRecord(DataFile& f, std::int32_t n, void* buf) { Check(f, n, PeekAt(f, n, buf)); }

void WriteRecordHeld(DataFile& f, std::int32_t n, const void* buf) { Check(f, n, WriteHeldRecord(f, n, buf)); }

void WriteRecord(DataFile& f, std::int32_t n, const void* buf) {
  WriteRecordHeld(f, n, buf);
  UnlockRecord(f, n);
}

bool RecordIsFree(const void* buf) { return static_cast<const std::uint8_t*>(buf)[4] == 0; }

void IllegalOperation(const DataFile& f) {
  CurrentHost().Ask(std::string("Illegális file müvelet!"_cp) + '\0' + WithoutFolder(f.Name), "");
}

namespace {

// AllocRecord between the header read and the header write. A record
// appended at the end is a free record of zeros until the caller writes
// it: the file grows by setting its new size, one step that a kill cannot
// cut short whatever the record length, so a stopped station leaves at
// most a whole free record off the chain, never a part of one nor one that
// looks in use.
void AllocCore(DataFile& f, std::int32_t& n) {
  std::uint8_t* buffer = RecordBuffer();
  if (f.Header.FreeHead == -1) {
    n = f.CachedLength++;
    if (f.Journal) {
      std::vector<std::uint8_t> zeros(static_cast<std::size_t>(f.RecLen), 0);
      f.Journal->BeforeWrite(n, zeros.data());
    }
    SetResult(f.Handle->Truncate(RecordOffset(f, n + 1)));
    CheckDataIO(f, n);
    LockRecord(f, n);
    f.Appended = n;
  } else {
    f.Appended = 0;
    n = f.Header.FreeHead;
    ReadRecord(f, n, buffer);  // a free record is unlocked again by the read
    std::int32_t next = LoadInt32(buffer);
    if (RecordInUse() || next == 0 || next < -1 || next >= f.CachedLength) Damaged(f, n);
    f.Header.FreeHead = next;
    --f.Header.FreeCount;
  }
  f.Header.RecordTotal = f.CachedLength;
  CopyHeader(f);
}

// FreeRecord between the header read and the header write; buf is the
// caller's image, or null to start from the record on disk.
void FreeCore(DataFile& f, std::int32_t n, const void* buf) {
  if (n < 1 || n >= f.CachedLength) return;  // not a record of the file
  std::uint8_t* buffer = RecordBuffer();
  if (buf) std::memcpy(buffer, buf, static_cast<std::size_t>(f.RecLen));
  else PeekRecord(f, n, buffer);
  StoreInt32(buffer, f.Header.FreeHead);
  buffer[4] = 0;
  WriteRecord(f, n, buffer);
  f.Header.FreeHead = n;
  ++f.Header.FreeCount;
  f.Header.RecordTotal = f.CachedLength;
  CopyHeader(f);
}

}  // namespace

void AllocRecord(DataFile& f, std::int32_t& n) {
  RefreshHeaderLocked(f);
  AllocCore(f, n);
  WriteHeader(f);
}

void AllocRecordHeld(DataFile& f, std::int32_t& n) {
  AllocCore(f, n);
  WriteHeaderHeld(f);
}

void AppendRecord(DataFile& f, std::int32_t& n, const void* buf) {
  if (f.OpenMode == kModeReadOnly) return IllegalOperation(f);
  AllocRecord(f, n);
  WriteRecord(f, n, buf);
}

void FreeRecord(DataFile& f, std::int32_t n) {
  if (f.OpenMode == kModeReadOnly) return IllegalOperation(f);
  RefreshHeaderLocked(f);
  FreeCore(f, n, nullptr);
  WriteHeader(f);
}

void FreeRecordHeld(DataFile& f, std::int32_t n) {
  if (f.OpenMode == kModeReadOnly) return IllegalOperation(f);
  FreeCore(f, n, nullptr);
  WriteHeaderHeld(f);
}

void FreeRecordWith(DataFile& f, std::int32_t n, const void* buf) {
  if (f.OpenMode == kModeReadOnly) return IllegalOperation(f);
  RefreshHeaderLocked(f);
  FreeCore(f, n, buf);
  WriteHeader(f);
}

std::int32_t RecordCount(DataFile& f) {
  RefreshHeaderPeek(f);
  return f.CachedLength;
}

std::int32_t LiveRecordCount(DataFile& f) {
  RefreshHeaderPeek(f);
  return f.CachedLength - f.Header.FreeCount - 1;
}

bool RecordLockedElsewhere(DataFile& f, std::int32_t n) {
  return n >= 0 && f.Held.count(n) == 0 && f.Handle->LockedElsewhere(LockByte(f, n), 1);
}

void SequentialRead(DataFile& f, void* buf) {
  std::int32_t p = static_cast<std::int32_t>(f.Position / f.RecLen);
  std::int64_t at = RecordOffset(f, p);
  auto size = static_cast<std::size_t>(f.RecLen);
  if (ReadAt(f, at, buf, size) != 0) {
    std::memset(buf, 0, size);
    SetResult(ReadAt(f, at, buf, size - 1));
    CheckIndexIO(f, p);
  } else {
    State().LastIOResult = 0;
  }
  f.Position = at + f.RecLen;
}

// ---- Header operations -------------------------------------------------------------

bool HeaderShared(const DataFile& f) {
  return f.OpenMode != kModeExclusive && f.OpenMode != kModePrivate;
}

namespace {

void RefreshHeader(DataFile& f, bool lock) {
  if (!HeaderShared(f)) return;
  if (lock) ReadRecord(f, 0, f.HeaderRecord.data());
  else PeekRecord(f, 0, f.HeaderRecord.data());
  Check(f, 0, TakeHeader(f));
}

}  // namespace

void RefreshHeaderLocked(DataFile& f) { RefreshHeader(f, true); }
void RefreshHeaderPeek(DataFile& f) { RefreshHeader(f, false); }

void CopyHeader(DataFile& f) { FileToHeader(f); }

void WriteHeader(DataFile& f) {
  if (!HeaderShared(f)) return;
  if (f.OpenMode == kModeReadOnly) return UnlockRecord(f, 0);  // never written in mode 1
  WriteRecord(f, 0, f.HeaderRecord.data());
}

void WriteHeaderHeld(DataFile& f) {
  if (!HeaderShared(f) || f.OpenMode == kModeReadOnly) return;
  WriteRecordHeld(f, 0, f.HeaderRecord.data());
}

}  // namespace db
