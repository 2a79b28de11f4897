// The engine's process-wide state, its life cycle and the station
// identifier.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/datafile.h"

namespace db {

// What an open-file slot holds.
enum class SlotKind : std::uint8_t { kData, kIndex };

struct OpenFileSlot {
  DataFile* file = nullptr;  // null = free; an index is its DataFile part
  SlotKind kind = SlotKind::kData;
  std::int32_t group = 0;
};

struct PageCache;  // the index files' page cache (below)

struct EngineState {
  db::OpenMode OpenMode = kModeShared, SavedOpenMode = kModeShared;
  std::int32_t FileGroup = 0, SavedFileGroup = 0;
  bool LockingOn = false;
  std::int16_t SuspendDepth = 0;  // spans of suspended locking, nested
  std::int16_t LastIOResult = 0;
  bool RecordInUse = false;
  bool DbOk = false;
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

// The engine's flags. DbOk is the result of the last search, step or key
// change (found, added, removed: their only result) and a copy of the last
// open's, create's or close's Result.Ok(); LastIOResult is that Result's
// Code, or the number a record operation failed with just before its
// fatal end.
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

}  // namespace db
