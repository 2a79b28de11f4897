// Locking and transactions: record locks, the whole-file lock and shared
// use, groups of files, stale header markers.
#pragma once
#include <cstdint>
#include <string_view>

#include "db/datafile.h"

namespace db {

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
void SetOpenMode(OpenMode mode, std::int32_t group);
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

}  // namespace db
