// Shared by the engine's own files; not for other folders.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/db.h"
#include "ui/ui.h"

namespace db::internal {

// The result the engine keeps in LastIOResult for a platform error number:
// sharing and lock violations read as 5 (access denied), as the run-time
// library reports them; a full disk as a write error.
int EngineResult(int platformError);

// Byte offset of record n, and of its lock byte (64-bit arithmetic).
inline std::int64_t RecordOffset(const DataFile& f, std::int32_t n) {
  return static_cast<std::int64_t>(n) * f.RecLen;
}
inline std::int64_t LockByte(const DataFile& f, std::int32_t n) {
  return (static_cast<std::int64_t>(n) + 1) * f.RecLen - 1;
}

// Reads or writes count bytes at offset through f's handle and moves f's
// position after them. The result is the platform's number; a short count
// is kReadError / kWriteError.
int ReadAt(DataFile& f, std::int64_t offset, void* buf, std::size_t count);
int WriteAt(DataFile& f, std::int64_t offset, const void* buf, std::size_t count);

// Reads count bytes at offset, repeating (about 1 ms apart) while another
// station's lock refuses the read; the engine result.
int ReadPatiently(DataFile& f, std::int64_t offset, void* buf, std::size_t count);

// Whether LockRecord and UnlockRecord act for record n of f.
bool RecordLockApplies(const DataFile& f, std::int32_t n);

// The sharing flags of an open in a mode.
int SharingOf(int mode);

// Little-endian 32-bit numbers in the engine's files.
inline std::int32_t Int32At(const std::uint8_t* p) {
  std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  return static_cast<std::int32_t>(v);
}
inline void PutInt32(std::uint8_t* p, std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The header bytes <-> f's copy.
void HeaderToFile(const std::uint8_t* bytes, DataFile& f);
void FileToHeader(const DataFile& f, std::uint8_t* bytes);
// True when header bytes make sense: RecordTotal at least 1, the chain head
// -1 or a record below RecordTotal, FreeCount from 0 to below RecordTotal,
// and 0 exactly when the chain is empty.
bool HeaderSane(const std::uint8_t* bytes);

// The open-file table.
void TakeSlot(DataFile& f, std::uint8_t kind, std::int32_t group);
void FreeSlot(DataFile& f);

// The name without its folder.
std::string WithoutFolder(std::string_view name);

// Waits about a millisecond between polls.
void PollPause();
// True when a key is waiting and it is Esc (the key is taken).
bool EscPressed();

// A framed box in columns 30..60 from a row to row 16, drawn in the inverse
// of the current text attribute over saved cells; Remove (or the
// destructor) puts the cells and the output state back.
class BusyBox {
 public:
  BusyBox() = default;
  ~BusyBox() { Remove(); }
  BusyBox(const BusyBox&) = delete;
  BusyBox& operator=(const BusyBox&) = delete;
  bool Shown() const { return shown_; }
  // Shows the box (once; later calls do nothing); the console must be open,
  // else nothing is shown.
  void Show(int topRow);
  // Writes a line inside the frame, window-relative.
  void Line(int column, int row, std::string_view text);
  void Remove();

 private:
  bool shown_ = false;
  int top_ = 0;
  std::uint8_t attr_ = 0;
  ui::ScreenState state_;
  std::vector<std::uint8_t> cells_;
};

}  // namespace db::internal
