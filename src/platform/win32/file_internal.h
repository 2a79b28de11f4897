// Shared by the Win32 files of the platform layer; not for other folders.
#pragma once
#include <windows.h>

#include <cstdint>

namespace platform::win32 {

inline int LastError() { return static_cast<int>(GetLastError()); }

// The errors of a write that found the disk full.
inline bool IsDiskFull(DWORD error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

inline std::uint64_t TimeOf(const FILETIME& t) {
  return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

inline FILETIME FileTimeOf(std::uint64_t time) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(time);
  t.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return t;
}

}  // namespace platform::win32
