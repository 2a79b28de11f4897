// Files on Win32: the system takes Windows paths as they are.
#include <windows.h>

#include "platform/fs.h"

namespace platform {

std::string ResolvePath(std::string_view path) { return std::string(path); }

bool FileExists(std::string_view path) {
  DWORD attributes = GetFileAttributesA(std::string(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int ReadFileBytes(std::string_view path, std::string& bytes) {
  bytes.clear();
  HANDLE file = CreateFileA(std::string(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  char buffer[65536];
  int result = 0;
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      result = static_cast<int>(GetLastError());
      break;
    }
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  CloseHandle(file);
  return result;
}

int WriteFileBytes(std::string_view path, std::string_view bytes) {
  HANDLE file = CreateFileA(std::string(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  int result = 0;
  for (std::size_t done = 0; done < bytes.size();) {
    DWORD n = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                   nullptr)) {
      result = static_cast<int>(GetLastError());
      break;
    }
    if (n == 0) {
      result = ERROR_DISK_FULL;
      break;
    }
    done += n;
  }
  if (!CloseHandle(file) && result == 0) result = static_cast<int>(GetLastError());
  return result;
}

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n <= MAX_PATH ? std::string(buffer, n) : std::string();
}

}  // namespace platform
