// Shared by the Win32 files of the platform layer; not for other folders.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

namespace platform::win32 {

// True when a handle of the platform's file object holds the file open, in
// any process of either build (platform/sharing_internal.h): erasing,
// renaming or replacing it is then refused.
bool InUse(const std::string& path);

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
