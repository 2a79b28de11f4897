// Whether a Windows test binary runs under Wine, for the tests that must
// skip what Wine does not do as Windows does (they say why when they skip).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace test_support {

inline bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

}  // namespace test_support
