// Shared by the engine's own files; not for other folders.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/db.h"
#include "platform/scoped_value.h"

namespace db::internal {

// The result the engine keeps in LastIOResult for a platform error number:
// sharing and lock violations read as 5 (access denied), as the run-time
// library reports them; a full disk as a write error.
[[nodiscard]] int EngineResult(int platformError);

// The result as the engine's compatibility view keeps it too (DbOk,
// LastIOResult); returns it.
Result Published(Result result);

// Byte offset of record n, and of its lock byte (64-bit arithmetic).
inline std::int64_t RecordOffset(const DataFile& f, std::int32_t n) {
  return static_cast<std::int64_t>(n) * f.RecLen;
}
inline std::int64_t LockByte(const DataFile& f, std::int32_t n) {
  return (static_cast<std::int64_t>(n) + 1) * f.RecLen - 1;
}

// Reads or writes count bytes at offset through f's handle and moves f's
// position after them. The result is the platform's number; a short count
// is kReadError / kWriteError. kNoLook: no other handle's lock can decide
// the transfer, so none is looked for: the bytes lie in a record whose lock
// byte f holds (the protocol locks no other byte of a record), or nothing
// is decided by a refusal (an index page read by a search, checked
// against its path).
enum class Guard { kLook, kNoLook };
[[nodiscard]] int ReadAt(DataFile& f, std::int64_t offset, void* buf, std::size_t count, Guard guard = Guard::kLook);
[[nodiscard]] int WriteAt(DataFile& f, std::int64_t offset, const void* buf, std::size_t count,
                          Guard guard = Guard::kLook);
// The pages of an index are read and written without their locks, and
// without looking for other handles' locks: a change holds the header
// lock, which keeps every other change off the index's pages, and a search
// relies on no refusal, as every page it reads is checked against its path.
// Where the system refuses a page that another station reads under its lock
// (a station of an earlier release, on Windows), the read waits for it.
void ReadIndexPage(DataFile& f, std::int32_t n, void* buf);
void WriteIndexPage(DataFile& f, std::int32_t n, const void* buf);
// kNoLook when f holds record n's lock.
inline Guard GuardOf(const DataFile& f, std::int32_t n) { return f.Held.count(n) > 0 ? Guard::kNoLook : Guard::kLook; }

// Reads count bytes at offset, repeating (about 1 ms apart) while another
// station's lock refuses the read; the engine result.
[[nodiscard]] int ReadPatiently(DataFile& f, std::int64_t offset, void* buf, std::size_t count);

// Takes record n's lock without waiting: true when f holds it now (or
// record locks do not apply), false when another station holds it.
[[nodiscard]] bool TryLockRecord(DataFile& f, std::int32_t n);

// Whether LockRecord and UnlockRecord act for record n of f.
[[nodiscard]] bool RecordLockApplies(const DataFile& f, std::int32_t n);

// The sharing flags of an open in a mode.
[[nodiscard]] int SharingOf(int mode);

// f's header record <-> f's copy of the header.
inline void HeaderToFile(DataFile& f) { f.Header = FileHeader::Decode(f.HeaderRecord.data()); }
inline void FileToHeader(DataFile& f) {
  if (f.HeaderRecord.size() < kHeaderSize) f.HeaderRecord.resize(kHeaderSize);  // never opened
  f.Header.Encode(f.HeaderRecord.data());
}

// Sets the engine's locking switch for the guard's life: on, or suspended
// (off, one level deeper in SuspendDepth). The switch and the depth are put
// back as they were when the guard ends, an end of the program on its way
// out included.
class LockingSwitch {
 public:
  explicit LockingSwitch(bool on);

 private:
  platform::ScopedValue<bool> on_;
  platform::ScopedValue<std::int16_t> depth_;
};

// The end of CheckIndexIO for a failure no caller can go on from: reported
// and the program ended with LastIOResult.
[[noreturn]] void EndOnIndexIO(DataFile& f, std::int32_t n);

// The open-file table.
void TakeSlot(DataFile& f, SlotKind kind, std::int32_t group);
void FreeSlot(DataFile& f);

// The name without its folder.
std::string WithoutFolder(std::string_view name);

// Waits about a millisecond between polls.
void PollPause();
// True when a key is waiting and it is Esc (the key is taken).
bool EscPressed();

// The busy box of the host (Host::ShowBusyBox), shown once; Remove (or the
// destructor) takes it away and puts back what it covered.
class BusyBox {
 public:
  bool Shown() const { return view_ != nullptr; }
  // Shows the box (once; later calls do nothing), when the host can.
  void Show(int topRow);
  // Writes a line inside the frame, window-relative.
  void Line(int column, int row, std::string_view text);
  void Remove();

 private:
  std::unique_ptr<HostView> view_;
};

}  // namespace db::internal
