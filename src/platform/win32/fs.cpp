// Files on Win32: the system takes Windows paths as they are.
#include <windows.h>

#include "platform/fs.h"

namespace platform {
namespace {

int LastError() { return static_cast<int>(GetLastError()); }

std::string Z(std::string_view s) { return std::string(s); }

std::uint64_t TimeOf(const FILETIME& t) {
  return static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

FILETIME FileTimeOf(std::uint64_t time) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(time);
  t.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return t;
}

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// A handle for reading or setting the times of a file or folder.
HANDLE OpenForTimes(std::string_view path, DWORD access) {
  return CreateFileA(Z(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

std::string ResolvePath(std::string_view path) { return std::string(path); }
std::string WindowsPath(std::string_view systemPath) { return std::string(systemPath); }

bool FileExists(std::string_view path) {
  DWORD attributes = GetFileAttributesA(Z(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(std::string_view path) {
  DWORD attributes = GetFileAttributesA(Z(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}


int EraseFile(std::string_view path) { return DeleteFileA(Z(path).c_str()) ? 0 : LastError(); }

int RenameFile(std::string_view from, std::string_view to) {
  return MoveFileExA(Z(from).c_str(), Z(to).c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError();
}

int CopyFileTo(std::string_view source, std::string_view target, bool failIfExists) {
  return CopyFileA(Z(source).c_str(), Z(target).c_str(), failIfExists) ? 0 : LastError();
}

int GetAttributes(std::string_view path, std::uint32_t& attributes) {
  DWORD a = GetFileAttributesA(Z(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return LastError();
  attributes = a;
  return 0;
}

int SetAttributes(std::string_view path, std::uint32_t attributes) {
  return SetFileAttributesA(Z(path).c_str(), attributes) ? 0 : LastError();
}

int GetWriteTime(std::string_view path, std::uint64_t& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(Z(path).c_str(), GetFileExInfoStandard, &data)) return LastError();
  time = TimeOf(data.ftLastWriteTime);
  return 0;
}

int SetWriteTime(std::string_view path, std::uint64_t time) {
  HANDLE h = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  FILETIME t = FileTimeOf(time);
  int rc = SetFileTime(h, nullptr, nullptr, &t) ? 0 : LastError();
  CloseHandle(h);
  return rc;
}

int GetFileSize(std::string_view path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(Z(path).c_str(), GetFileExInfoStandard, &data)) return LastError();
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
  size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return 0;
}

// ---- FileHandle ------------------------------------------------------------------

FileHandle::~FileHandle() { Close(); }

int FileHandle::OpenRead(std::string_view path) {
  Close();
  HANDLE h = CreateFileA(Z(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

int FileHandle::Create(std::string_view path) {
  Close();
  HANDLE h = CreateFileA(Z(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

int FileHandle::Read(void* buffer, std::size_t size, std::size_t& got) {
  DWORD n = 0;
  got = 0;
  if (!ReadFile(AsHandle(handle_), buffer, static_cast<DWORD>(size), &n, nullptr)) return LastError();
  got = n;
  return 0;
}

int FileHandle::Write(const void* buffer, std::size_t size, std::size_t& written) {
  written = 0;
  const char* bytes = static_cast<const char*>(buffer);
  while (written < size) {
    DWORD n = 0;
    if (!WriteFile(AsHandle(handle_), bytes + written, static_cast<DWORD>(size - written), &n,
                   nullptr)) {
      DWORD error = GetLastError();
      written += n;
      return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? 0 : static_cast<int>(error);
    }
    if (n == 0) return 0;
    written += n;
  }
  return 0;
}

int FileHandle::GetWriteTime(std::uint64_t& time) {
  FILETIME t;
  if (!GetFileTime(AsHandle(handle_), nullptr, nullptr, &t)) return LastError();
  time = TimeOf(t);
  return 0;
}

int FileHandle::SetWriteTime(std::uint64_t time) {
  FILETIME t = FileTimeOf(time);
  return SetFileTime(AsHandle(handle_), nullptr, nullptr, &t) ? 0 : LastError();
}

int FileHandle::Close() {
  if (handle_ == kNone) return 0;
  int rc = CloseHandle(AsHandle(handle_)) ? 0 : LastError();
  handle_ = kNone;
  return rc;
}

// ---- Folder search ---------------------------------------------------------------

struct DirSearch::Impl {
  HANDLE find = INVALID_HANDLE_VALUE;
  DWORD excluded = 0;
  ~Impl() {
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
  }
};

namespace {

void Fill(const WIN32_FIND_DATAA& data, FoundEntry& entry) {
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  entry.size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  entry.writeTime = TimeOf(data.ftLastWriteTime);
}

}  // namespace

DirSearch::DirSearch() = default;
DirSearch::~DirSearch() = default;

int DirSearch::First(std::string_view pattern, std::uint32_t mask, FoundEntry& entry) {
  Close();
  auto impl = std::make_unique<Impl>();
  impl->excluded = ~mask & (attr::kHidden | attr::kSystem | attr::kVolume | attr::kDirectory);
  WIN32_FIND_DATAA data;
  impl->find = FindFirstFileA(Z(pattern).c_str(), &data);
  if (impl->find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 18 : static_cast<int>(error);
  }
  impl_ = std::move(impl);
  if (!(data.dwFileAttributes & impl_->excluded)) {
    Fill(data, entry);
    return 0;
  }
  return Next(entry);
}

int DirSearch::Next(FoundEntry& entry) {
  if (!impl_) return 18;
  WIN32_FIND_DATAA data;
  while (FindNextFileA(impl_->find, &data)) {
    if (data.dwFileAttributes & impl_->excluded) continue;
    Fill(data, entry);
    return 0;
  }
  DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? 18 : static_cast<int>(error);
}

void DirSearch::Close() { impl_.reset(); }

// ---- Folders and drives ------------------------------------------------------------

int ChangeFolder(std::string_view path) {
  return SetCurrentDirectoryA(Z(path).c_str()) ? 0 : LastError();
}

int MakeFolder(std::string_view path) {
  return CreateDirectoryA(Z(path).c_str(), nullptr) ? 0 : LastError();
}

int RemoveFolder(std::string_view path) {
  return RemoveDirectoryA(Z(path).c_str()) ? 0 : LastError();
}

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n <= MAX_PATH ? std::string(buffer, n) : std::string();
}

std::string TempPath() {
  char buffer[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof buffer, buffer);
  return n > 0 && n <= MAX_PATH ? std::string(buffer, n) : std::string();
}

std::uint32_t LogicalDrives() { return GetLogicalDrives(); }

int DriveType(std::string_view root) { return static_cast<int>(GetDriveTypeA(Z(root).c_str())); }

bool VolumeLabel(std::string_view root, std::string& label) {
  char buffer[256] = {};
  label.clear();
  if (!GetVolumeInformationA(Z(root).c_str(), buffer, sizeof buffer, nullptr, nullptr, nullptr,
                             nullptr, 0))
    return false;
  label = buffer;
  return true;
}

int DiskFreeSpace(std::string_view root, std::uint64_t& bytes) {
  ULARGE_INTEGER free;
  bytes = 0;
  if (!GetDiskFreeSpaceExA(Z(root).c_str(), &free, nullptr, nullptr)) return LastError();
  bytes = free.QuadPart;
  return 0;
}

}  // namespace platform
