// How handles of either build, in any process and under any Wine server,
// honour each other's sharing flags (platform/file.h). Shared by the file
// objects of platform/posix and platform/win32; not for other folders.
//
// The protocol rests on byte-range locks alone, which every system and file
// server carries between Windows and POSIX clients (share modes do not
// cross: Wine keeps them in each Wine server's memory, and POSIX has none).
// Five bytes far beyond any record stand for the file's sharing state
// (records are at most 10000 bytes and numbered by 32 bits, so data ends
// below 2^46):
//
//   kShareBase + 0   held shared by every handle with read access
//   kShareBase + 1   held shared by every handle with write access
//   kShareBase + 2   held shared by every handle that denies reading
//   kShareBase + 3   held shared by every handle that denies writing
//   kShareBase + 4   the gate: held exclusively only while one open
//                    makes its claim
//
// An open takes the gate (waiting while another open holds it), looks for
// another handle's lock on each byte it conflicts with (reading with +2,
// writing with +3, denying reads with +0, denying writes with +1), takes
// its own bytes and lets the gate go. On a conflict it closes again and
// reports a sharing violation. Every handle holds +0 or +1, so a file with
// another handle's lock on either is open elsewhere: erasing, renaming and
// replacing it are refused. A tool that needs a file alone opens it
// denying writes (or all), which every other writer's +1 refuses.
//
// Stations of the previous release: POSIX ones hold bytes +0 to +3 the same
// way but take no gate (they take their bytes, then look), so they see and
// are seen by every station; only two conflicting opens racing each other
// within a few microseconds, one of them such a station's, may both be
// granted. Windows ones only kept share modes: the Windows build still asks
// for the same share modes too, so on one Windows server or one Wine server
// they keep refusing each other as before.
#pragma once
#include <cstdint>

namespace platform::sharing {

inline constexpr std::int64_t kShareBase = std::int64_t{1} << 62;
inline constexpr int kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3, kGate = 4;
// How long an open waits for another open's claim to end.
inline constexpr int kGateWaitMs = 2000;

struct Mode {
  bool Read = false, Write = false;          // access wanted
  bool DenyRead = false, DenyWrite = false;  // denied to others
};

// The access and sharing of a flags byte (platform/file.h); false when it
// names none.
inline bool DecodeFlags(int flags, Mode& mode) {
  int access = flags & 0x07, sharing = (flags >> 4) & 0x07;
  if (access > 2 || sharing > 4) return false;
  mode.Read = access != 1;
  mode.Write = access != 0;
  mode.DenyRead = sharing <= 1 || sharing == 3;
  mode.DenyWrite = sharing <= 2;
  return true;
}

// Calls take(byte) for each byte a handle of the mode holds; false as soon
// as one call answers false.
template <typename Take>
bool ForEachOwnByte(const Mode& mode, Take take) {
  return (!mode.Read || take(kHasRead)) && (!mode.Write || take(kHasWrite)) &&
         (!mode.DenyRead || take(kDeniesRead)) && (!mode.DenyWrite || take(kDeniesWrite));
}

// True when held(byte) answers true for a byte whose foreign lock refuses
// a handle of the mode.
template <typename Held>
bool AnyConflict(const Mode& mode, Held held) {
  return (mode.Read && held(kDeniesRead)) || (mode.Write && held(kDeniesWrite)) ||
         (mode.DenyRead && held(kHasRead)) || (mode.DenyWrite && held(kHasWrite));
}

}  // namespace platform::sharing
