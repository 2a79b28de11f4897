#include "platform/win32/console_handle.h"

namespace platform::win32 {
namespace {

HANDLE OpenDevice(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

bool IsScreenBuffer(HANDLE h) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleScreenBufferInfo(h, &info);
}

bool IsInputBuffer(HANDLE h) {
  DWORD mode;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode);
}

bool ConsoleHandle::Open(DWORD standard, const char* device, bool (*usable)(HANDLE)) {
  Handle = GetStdHandle(standard);
  if (usable(Handle)) return true;
  Handle = OpenDevice(device);
  Owned = Handle != INVALID_HANDLE_VALUE;
  return usable(Handle);
}

void ConsoleHandle::Close() {
  if (Owned) CloseHandle(Handle);
  Handle = INVALID_HANDLE_VALUE;
  Owned = false;
}

}  // namespace platform::win32
