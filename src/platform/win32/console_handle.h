// The console's input and output handles, shared by the terminal and the
// font control.
#pragma once
#include <windows.h>

namespace platform::win32 {

bool IsScreenBuffer(HANDLE h);
bool IsInputBuffer(HANDLE h);

// A console handle: the standard one when it is a console buffer, else the
// console device opened by name (closed again at the end).
struct ConsoleHandle {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  bool Owned = false;

  bool Open(DWORD standard, const char* device, bool (*usable)(HANDLE));
  // The screen buffer (STD_OUTPUT_HANDLE or "CONOUT$") and the input buffer
  // (STD_INPUT_HANDLE or "CONIN$").
  bool OpenOutput() { return Open(STD_OUTPUT_HANDLE, "CONOUT$", IsScreenBuffer); }
  bool OpenInput() { return Open(STD_INPUT_HANDLE, "CONIN$", IsInputBuffer); }
  void Close();
};

}  // namespace platform::win32
