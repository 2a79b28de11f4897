// Multi-user locking: record locks with the record-busy box, the whole-file
// lock and shared use kept in the header with the file-busy box, groups of
// files, and the repair of stale header markers.
//
// The protocol. A record's lock is its lock byte (see db.h), held with an
// exclusive byte-range lock of the operating system. Record 0's lock is the
// mutex of the header: TxFlag and ShareCount change only by
// read-modify-write under it (RefreshHeaderLocked ... WriteHeader). A
// whole-file lock is TxFlag set by one station; a shared use is one count in
// ShareCount. A station that wants the whole file waits while TxFlag or
// ShareCount is set; one that wants shared use waits while TxFlag is set.
// Every wait polls: the header's lock is released between attempts so the
// holder can finish, and each attempt follows the last after about 1 ms.
// The operating system releases a stopped station's byte locks; its header
// markers stay until ClearStaleMarkers runs.
//
// Every decision between stations rests on these byte-range locks, which
// both builds take at the same offsets and which file servers carry between
// Windows and POSIX clients: "busy" is an attempt to take the lock, let go
// at once (RecordLockedElsewhere), never a read that the system may or may
// not refuse (Windows refuses it, Wine and POSIX do not). Who has a file
// open, and whether a tool may have it alone (reindex, the sample's swap,
// erase, rename, create over), is decided by the sharing locks of the file
// object (platform/sharing_internal.h), which previous-release POSIX
// stations take too.
#include <cstring>

#include "db/db.h"
#include "db/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "text/text.h"

namespace db {

using namespace internal;
using namespace platform::literals;

// ---- Busy boxes --------------------------------------------------------------------

namespace internal {

void BusyBox::Show(int topRow) {
  if (!view_) view_ = CurrentHost().ShowBusyBox(topRow);
}

void BusyBox::Line(int column, int row, std::string_view text) {
  if (view_) view_->Write(column, row, text);
}

void BusyBox::Remove() { view_.reset(); }

}  // namespace internal

namespace {

void ShowRecordBusy(BusyBox& box, const DataFile& f, std::int32_t n) {
  box.Show(11);
  std::string number = text::Trim(text::FormatPicture("########", n));
  const std::string lines[] = {std::string("Egy kis türelmet kérek"_cp), "a rekord foglalt !",
                               "File: " + WithoutFolder(f.Name), "Rec.no: " + number};
  for (int i = 0; i < 4; ++i) box.Line(1, i + 1, text::Center(lines[i], 30));
}

const std::string_view kTransaction = "   Tranzakció folyik!    "_cp;
const std::string_view kFileTaken = "   A file-t foglalják!   "_cp;

void ShowFileBusy(BusyBox& box, std::string_view first, std::string_view name) {
  box.Show(12);
  box.Line(1, 1, first);
  box.Line(1, 2, "Várjon,vagy Esc-el vissza"_cp);
  box.Line(2, 3, name.substr(0, 24));
}

// Waits, under the file-busy box naming name, until claim takes the header:
// claim runs on a fresh copy of the header with its lock held and either
// changes the copy, which is then written back, and returns "", or returns
// the reason for waiting. False when Esc gave up the wait.
bool WaitForHeader(DataFile& f, std::string_view name, std::string_view (*claim)(FileHeader&)) {
  BusyBox box;
  for (;;) {
    RefreshHeaderLocked(f);
    std::string_view busy = claim(f.Header);
    if (busy.empty()) break;
    UnlockRecord(f, 0);
    if (!box.Shown()) ShowFileBusy(box, busy, name);
    if (EscPressed()) return false;
    PollPause();
  }
  CopyHeader(f);
  WriteHeader(f);
  box.Remove();
  return true;
}

void Blunder() {
  std::string message("A programozó elrontotta"_cp);
  message += '\0';
  message += "a tranzakció kezelést"_cp;
  message += '\0';
  message += "Értesítse (kíméletesen)!"_cp;
  CurrentHost().Ask(message, "");
}

void ClampDepths(DataFile& f) {
  if (f.LockDepth < 0) f.LockDepth = 0;
  if (f.ShareDepth < 0) f.ShareDepth = 0;
}

}  // namespace

// ---- Record locks -------------------------------------------------------------------

void LockRecord(DataFile& f, std::int32_t n) {
  if (!RecordLockApplies(f, n) || f.Held.count(n) > 0) return;
  BusyBox box;
  std::int64_t at = LockByte(f, n);
  int result;
  while ((result = f.Handle->Lock(at, 1)) == platform::error::kLockViolation) {
    if (n != 0 && !box.Shown()) ShowRecordBusy(box, f, n);
    PollPause();
  }
  if (result == 0) f.Held.insert(n);
}

bool internal::TryLockRecord(DataFile& f, std::int32_t n) {
  if (!RecordLockApplies(f, n) || f.Held.count(n) > 0) return true;
  if (f.Handle->Lock(LockByte(f, n), 1) != 0) return false;
  f.Held.insert(n);
  return true;
}

void UnlockRecord(DataFile& f, std::int32_t n) {
  // A lock this DataFile holds is released whatever the switches say now,
  // so that no lock outlives the operation that took it.
  if (f.Held.erase(n) > 0) (void)f.Handle->Unlock(LockByte(f, n), 1);  // held: cannot fail
}

// ---- Whole-file lock and shared use --------------------------------------------

bool LockWholeFile(DataFile& f) {
  if (f.ShareDepth > 0) return true;
  auto claim = [](FileHeader& h) -> std::string_view {
    if (h.TxFlag != 0) return kTransaction;
    if (h.ShareCount > 0) return kFileTaken;
    h.TxFlag = 1;
    return {};
  };
  if (f.LockDepth <= 0 && !WaitForHeader(f, f.Name, claim)) return false;
  ++f.LockDepth;
  return true;
}

void UnlockWholeFile(DataFile& f) {
  if (f.LockDepth <= 0 && f.ShareDepth <= 0) Blunder();
  if (f.ShareDepth <= 0 && --f.LockDepth == 0) {
    RefreshHeaderLocked(f);
    f.Header.TxFlag = 0;
    CopyHeader(f);
    WriteHeader(f);
  }
  ClampDepths(f);
}

bool ShareFile(DataFile& f) {
  if (f.LockDepth > 0) return true;
  auto claim = [](FileHeader& h) -> std::string_view {
    if (h.TxFlag != 0) return kTransaction;
    ++h.ShareCount;
    return {};
  };
  if (f.ShareDepth <= 0 && !WaitForHeader(f, WithoutFolder(f.Name), claim)) return false;
  ++f.ShareDepth;
  return true;
}

void UnshareFile(DataFile& f) {
  if (f.LockDepth <= 0 && f.ShareDepth <= 0) Blunder();
  if (f.LockDepth <= 0 && --f.ShareDepth == 0) {
    RefreshHeaderLocked(f);
    if (f.Header.ShareCount > 0) --f.Header.ShareCount;
    CopyHeader(f);
    WriteHeader(f);
  }
  ClampDepths(f);
}

// ---- Groups -----------------------------------------------------------------------------

namespace {

// The group-1 files of slots 1..last (data and index files).
template <typename Action>
bool ForGroupOne(int last, Action action) {
  EngineState& s = State();
  for (int slot = 1; slot <= last && slot <= kTableSlots; ++slot) {
    const OpenFileSlot& entry = s.OpenFileTable[slot];
    if (entry.file && entry.group == 1 && !action(*entry.file, slot))
      return false;
  }
  return true;
}

}  // namespace

bool LockGroup() {
  return ForGroupOne(State().TableHigh, [](DataFile& f, int slot) {
    if (LockWholeFile(f)) return true;
    ForGroupOne(slot - 1, [](DataFile& held, int) {
      UnlockWholeFile(held);
      return true;
    });
    return false;
  });
}

void UnlockGroup() {
  ForGroupOne(State().TableHigh, [](DataFile& f, int) {
    UnlockWholeFile(f);
    return true;
  });
}

// ---- Stale markers ------------------------------------------------------------------------

namespace {

// Moves count bytes at offset 0 of a file, repeating while another
// station's lock refuses it; the platform's result (short: 100 or 101).
int Transfer(platform::File& file, std::uint8_t* bytes, std::size_t count, bool write) {
  for (;;) {
    std::size_t moved = 0;
    int result = write ? file.WriteAt(0, bytes, count, moved) : file.ReadAt(0, bytes, count, moved);
    if (result == platform::error::kLockViolation) {
      PollPause();
      continue;
    }
    if (result == 0 && moved < count) result = write ? kWriteError : kReadError;
    return result;
  }
}

// Reports and clears the markers of one file; 0 or the error number.
int ClearMarkersOf(const std::string& path, std::string& line) {
  std::unique_ptr<platform::File> file = platform::NewFile();
  std::uint8_t header[kHeaderSize];
  int result = file->Open(path, platform::share::kReadWriteDenyNone);
  if (result == 0) result = Transfer(*file, header, kHeaderSize, false);
  if (result == 0) {
    FileHeader fields = FileHeader::Decode(header);
    bool tx = fields.TxFlag != 0, shared = fields.ShareCount != 0;
    if (tx) line += " Tranzakció!"_cp;
    if (shared) line += " Lock!";
    if (tx || shared) {
      fields.TxFlag = 0;
      fields.ShareCount = 0;
      fields.Encode(header);
      result = Transfer(*file, header, kHeaderSize, true);
    }
  }
  file->Close();
  if (result != 0) result = EngineResult(result);
  if (result != 0) line += " " + ErrorText(result);
  return result;
}

}  // namespace

int ClearStaleMarkers(std::string_view mask, std::string_view exclude, std::string_view names) {
  std::string upperNames = text::UpperCaseText(names), upperExclude = text::UpperCaseText(exclude);
  std::string folder(mask.substr(0, platform::FilePartStart(mask)));
  int counter = 0, firstError = 0;
  platform::DirSearch search;
  platform::FoundEntry entry;
  for (int found = search.First(mask, platform::attr::kAnyFile, entry); found == 0;
       found = search.Next(entry)) {
    if (entry.Attributes & (platform::attr::kDirectory | platform::attr::kVolume)) continue;
    std::string name = text::UpperCaseText(entry.Name);
    if (upperNames.find(name) == std::string::npos) continue;
    if (!upperExclude.empty() && name.find(upperExclude) != std::string::npos) continue;
    std::string line = text::FormatPicture("#####", ++counter) + ". " + entry.Name;
    int result = ClearMarkersOf(folder + entry.Name, line);
    if (result != 0 && firstError == 0) firstError = result;
    CurrentHost().Line(line);
  }
  return firstError;
}

}  // namespace db
