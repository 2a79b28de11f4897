// Entering a folder only when it is the user's own (fs.h).
#include <windows.h>

#include <string>

#include "platform/fs.h"

namespace platform {

// The temporary folder of Windows is the user's own; only a folder that
// leads elsewhere (a junction or symbolic link) is refused.
int ChangeToOwnFolder(std::string_view path, bool& foreign) {
  std::string p(path);
  DWORD attributes = GetFileAttributesA(p.c_str());
  foreign = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (foreign) return error::kAccessDenied;
  return SetCurrentDirectoryA(p.c_str()) ? 0 : static_cast<int>(GetLastError());
}

}  // namespace platform
