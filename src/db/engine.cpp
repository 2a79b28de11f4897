// The engine's process-wide state: life cycle, the open-file table, the
// open-mode and locking switches, the station identifier, and the helpers
// that the other engine files share.
#include <cstring>
#include <utility>

#include "db/db.h"
#include "db/internal.h"
#include "db/page_cache.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/path.h"
#include "platform/sysinfo.h"

namespace db {

using namespace platform::literals;

EngineState::EngineState() = default;
EngineState::~EngineState() = default;
EngineState& EngineState::operator=(EngineState&&) noexcept = default;

EngineState& State() {
  static EngineState state;
  return state;
}

void ResetEngine() { State() = EngineState(); }

// ---- Life cycle ----------------------------------------------------------------

namespace {

std::string FormStationId() {
  if (std::string id = CurrentHost().StationSetting(); !id.empty()) return id;
  std::string machine = CurrentHost().MachineName();
  if (machine.empty()) machine = platform::ComputerName();
  return machine + "_" + std::to_string(platform::ProcessId());
}

}  // namespace

void InitDatabase() {
  EngineState& s = State();
  s.RecordBuffer = std::make_unique<std::uint8_t[]>(kMaxRecLen);
  s.Cache = std::make_unique<PageCache>();
  s.OpenFileTable = {};
  s.TableHigh = s.TableCount = 0;
  s.LockingOn = true;
  s.SuspendDepth = 0;
  if (s.StationId.empty()) s.StationId = FormStationId();
}

void DoneDatabase() {
  State().RecordBuffer.reset();
  State().Cache.reset();
}

const std::string& StationId() { return State().StationId; }
void SetStationId(std::string_view id) { State().StationId = std::string(id); }

// ---- Open-file table -------------------------------------------------------------

Result CloseAllFiles() {
  EngineState& s = State();
  Result first;
  for (int slot = 1; slot <= s.TableHigh && slot <= kTableSlots; ++slot) {
    OpenFileSlot entry = s.OpenFileTable[slot];
    if (!entry.file) continue;
    Result closed = entry.kind == SlotKind::kIndex ? CloseIndex(static_cast<IndexFile&>(*entry.file))
                                                   : CloseDataFile(*entry.file);
    if (first.Ok()) first = std::move(closed);
  }
  s.OpenFileTable = {};
  s.TableHigh = s.TableCount = 0;
  return first;
}

int OpenFileCount() { return State().TableCount; }

namespace internal {

void TakeSlot(DataFile& f, SlotKind kind, std::int32_t group) {
  EngineState& s = State();
  int slot = 1;
  while (slot <= s.TableHigh && s.OpenFileTable[slot].file) ++slot;
  if (slot > kTableSlots) {
    f.TableSlot = 0;
    s.TableHigh = kTableSlots;
    CurrentHost().Ask("Túl sok file!"_cp, "");
    return;
  }
  if (slot > s.TableHigh) s.TableHigh = static_cast<std::int16_t>(slot);
  ++s.TableCount;
  s.OpenFileTable[slot] = {&f, kind, group};
  f.TableSlot = static_cast<std::int16_t>(slot);
}

void FreeSlot(DataFile& f) {
  EngineState& s = State();
  if (f.TableSlot >= 1 && f.TableSlot <= kTableSlots && s.OpenFileTable[f.TableSlot].file == &f) {
    s.OpenFileTable[f.TableSlot] = {};
    --s.TableCount;
  }
  f.TableSlot = 0;
}

}  // namespace internal

void SetFileGroup(DataFile& f, std::int32_t group) {
  if (f.TableSlot >= 1 && f.TableSlot <= kTableSlots) State().OpenFileTable[f.TableSlot].group = group;
}

void ClearFileGroups() {
  for (auto& slot : State().OpenFileTable) slot.group = 0;
}

// ---- Switches --------------------------------------------------------------------

void SetOpenMode(OpenMode mode, std::int32_t group) {
  EngineState& s = State();
  s.SavedOpenMode = s.OpenMode;
  s.SavedFileGroup = s.FileGroup;
  s.OpenMode = mode;
  s.FileGroup = group;
}

void RestoreOpenMode() {
  EngineState& s = State();
  s.OpenMode = s.SavedOpenMode;
  s.FileGroup = s.SavedFileGroup;
}

void ResetOpenMode() {
  State().OpenMode = kModeShared;
  State().FileGroup = 0;
}

void SetLocking(bool on) {
  State().LockingOn = on;
  State().SuspendDepth = on ? 0 : 1;
}

namespace internal {

LockingSwitch::LockingSwitch(bool on)
    : on_(State().LockingOn, on),
      depth_(State().SuspendDepth, static_cast<std::int16_t>(State().SuspendDepth + (on ? 0 : 1))) {}

}  // namespace internal

// ---- Shared helpers ------------------------------------------------------------------

FileHeader FileHeader::Decode(const std::uint8_t* bytes) {
  return {.FreeHead = LoadInt32(bytes + kFreeHeadAt),
          .FreeCount = LoadInt32(bytes + kFreeCountAt),
          .RootPage = LoadInt32(bytes + kRootPageAt),
          .RecordTotal = LoadInt32(bytes + kRecordTotalAt),
          .TxFlag = bytes[kTxFlagAt],
          .ShareCount = LoadInt16(bytes + kShareCountAt)};
}

void FileHeader::Encode(std::uint8_t* bytes) const {
  StoreInt32(bytes + kFreeHeadAt, FreeHead);
  StoreInt32(bytes + kFreeCountAt, FreeCount);
  StoreInt32(bytes + kRootPageAt, RootPage);
  StoreInt32(bytes + kRecordTotalAt, RecordTotal);
  bytes[kTxFlagAt] = TxFlag;
  StoreInt16(bytes + kShareCountAt, ShareCount);
}

bool FileHeader::Sane() const {
  bool headOk = FreeHead == -1 || (FreeHead >= 1 && FreeHead < RecordTotal);
  return headOk && FreeCount >= 0 && FreeCount < RecordTotal && (FreeHead == -1) == (FreeCount == 0);
}

namespace internal {

int EngineResult(int platformError) {
  switch (platformError) {
    case platform::error::kSharingViolation:
    case platform::error::kLockViolation: return platform::error::kAccessDenied;
    case platform::error::kDiskFull: return kWriteError;
    default: return platformError;
  }
}

int ReadAt(DataFile& f, std::int64_t offset, void* buf, std::size_t count, Guard guard) {
  std::size_t got = 0;
  int result = guard == Guard::kLook ? f.Handle->ReadAt(offset, buf, count, got)
                                     : f.Handle->ReadAtUnguarded(offset, buf, count, got);
  if (result == 0 && got < count) result = kReadError;
  if (result == 0) f.Position = offset + static_cast<std::int64_t>(count);
  return result;
}

int WriteAt(DataFile& f, std::int64_t offset, const void* buf, std::size_t count, Guard guard) {
  std::size_t written = 0;
  int result = guard == Guard::kLook ? f.Handle->WriteAt(offset, buf, count, written)
                                     : f.Handle->WriteAtUnguarded(offset, buf, count, written);
  if (result == 0 && written < count) result = kWriteError;
  if (result == 0) f.Position = offset + static_cast<std::int64_t>(count);
  return result;
}

int ReadPatiently(DataFile& f, std::int64_t offset, void* buf, std::size_t count) {
  int result;
  while ((result = ReadAt(f, offset, buf, count)) == platform::error::kLockViolation) PollPause();
  return EngineResult(result);
}

bool RecordLockApplies(const DataFile& f, std::int32_t n) {
  const EngineState& s = State();
  if (!s.LockingOn || s.OpenMode == kModeNoLocks || n < 0) return false;
  return n == 0 || (f.OpenMode == kModeShared && f.LockDepth <= 0);
}

int SharingOf(int mode) {
  switch (mode) {
    case kModeReadOnly: return platform::share::kReadOnlyDenyNone;
    case kModeExclusive:
    case kModeNoLocks: return platform::share::kReadWriteDenyWrite;
    default: return platform::share::kReadWriteDenyNone;
  }
}

std::string WithoutFolder(std::string_view name) { return std::string(platform::FilePart(name)); }

namespace {
std::function<void()>& WaitWatch() {
  static std::function<void()> watch;
  return watch;
}
}  // namespace

void PollPause() {
  if (WaitWatch()) WaitWatch()();
  platform::SleepMs(1);
}

bool EscPressed() {
  return CurrentHost().InputWaiting() && CurrentHost().TakeInput() == KeyTaken::kEsc;
}

}  // namespace internal

WaitWatchGuard::WaitWatchGuard(std::function<void()> watch) : ScopedValue(internal::WaitWatch(), std::move(watch)) {}

}  // namespace db
