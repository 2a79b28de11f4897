// The machine's name, the system version and the program's own path on Win32.
#include <windows.h>

#include "platform/sysinfo.h"

namespace platform {

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

int ProcessId() { return static_cast<int>(GetCurrentProcessId()); }

// RtlGetVersion tells the true version; GetVersionEx answers what the
// program's manifest lets it see.
int OsMajorVersion() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto rtlGetVersion =
      ntdll ? reinterpret_cast<RtlGetVersionFn>(
                  reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (rtlGetVersion && rtlGetVersion(&info) == 0) return static_cast<int>(info.dwMajorVersion);
  return 0;
}

void SetProgramArgs(int, char**) {}

std::string ProgramPath() {
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

}  // namespace platform
