// Files on Win32: the system takes Windows paths as they are.
#include <windows.h>

#include <memory>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/win32/file_internal.h"

namespace platform {
namespace {

using win32::FileTimeOf;
using win32::LastError;
using win32::TimeOf;

std::string Z(std::string_view s) { return std::string(s); }

// A handle for reading or setting the times of a file or folder.
HANDLE OpenForTimes(std::string_view path, DWORD access) {
  return CreateFileA(Z(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A file is copied over only where a handle writing it and denying writes
// would be granted (platform/fs.h), whichever station holds it.
int RefuseHeldTarget(std::string_view target) {
  std::unique_ptr<File> probe = NewSystemFile();
  return probe->Open(target, share::kWriting) == error::kSharingViolation ? error::kSharingViolation
                                                                         : error::kNone;
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

// DeleteFileA, MoveFileExA and CopyFileA refuse a file that a handle's
// share mode protects; a file that a station of another system or Wine
// server holds open is refused first (win32::InUse), as on POSIX.
int EraseFile(std::string_view path) {
  if (win32::InUse(Z(path))) return error::kSharingViolation;
  return DeleteFileA(Z(path).c_str()) ? error::kNone : LastError();
}

int RenameFile(std::string_view from, std::string_view to) {
  if (win32::InUse(Z(from))) return error::kSharingViolation;
  if (win32::InUse(Z(to))) return error::kAccessDenied;  // an open file is not replaced
  return MoveFileExA(Z(from).c_str(), Z(to).c_str(), MOVEFILE_REPLACE_EXISTING) ? error::kNone
                                                                                : LastError();
}

int CopyFileTo(std::string_view source, std::string_view target, bool failIfExists) {
  if (int rc = RefuseHeldTarget(target)) return rc;
  return CopyFileA(Z(source).c_str(), Z(target).c_str(), failIfExists) ? error::kNone : LastError();
}

int GetAttributes(std::string_view path, std::uint32_t& attributes) {
  DWORD a = GetFileAttributesA(Z(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return LastError();
  attributes = a;
  return 0;
}

int SetAttributes(std::string_view path, std::uint32_t attributes) {
  return SetFileAttributesA(Z(path).c_str(), attributes) ? error::kNone : LastError();
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
  int rc = SetFileTime(h, nullptr, nullptr, &t) ? error::kNone : LastError();
  CloseHandle(h);
  return rc;
}

int GetFileSize(std::string_view path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(Z(path).c_str(), GetFileExInfoStandard, &data)) return LastError();
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return error::kAccessDenied;
  size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return 0;
}

// ---- Folder search ---------------------------------------------------------------

struct DirSearch::Impl {
  HANDLE Find = INVALID_HANDLE_VALUE;
  DWORD Excluded = 0;
  ~Impl() {
    if (Find != INVALID_HANDLE_VALUE) FindClose(Find);
  }
};

namespace {

void Fill(const WIN32_FIND_DATAA& data, FoundEntry& entry) {
  entry.Name = data.cFileName;
  entry.Attributes = data.dwFileAttributes;
  entry.Size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  entry.WriteTime = TimeOf(data.ftLastWriteTime);
}

}  // namespace

DirSearch::DirSearch() = default;
DirSearch::~DirSearch() = default;

int DirSearch::First(std::string_view pattern, std::uint32_t mask, FoundEntry& entry) {
  Close();
  auto impl = std::make_unique<Impl>();
  impl->Excluded = ~mask & (attr::kHidden | attr::kSystem | attr::kVolume | attr::kDirectory);
  WIN32_FIND_DATAA data;
  impl->Find = FindFirstFileA(Z(pattern).c_str(), &data);
  if (impl->Find == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? error::kNoMoreFiles : static_cast<int>(error);
  }
  impl_ = std::move(impl);
  if (!(data.dwFileAttributes & impl_->Excluded)) {
    Fill(data, entry);
    return 0;
  }
  return Next(entry);
}

int DirSearch::Next(FoundEntry& entry) {
  if (!impl_) return error::kNoMoreFiles;
  WIN32_FIND_DATAA data;
  while (FindNextFileA(impl_->Find, &data)) {
    if (data.dwFileAttributes & impl_->Excluded) continue;
    Fill(data, entry);
    return 0;
  }
  DWORD error = GetLastError();
  return error == ERROR_NO_MORE_FILES ? error::kNoMoreFiles : static_cast<int>(error);
}

void DirSearch::Close() { impl_.reset(); }

// ---- Folders and drives ------------------------------------------------------------

int ChangeFolder(std::string_view path) {
  return SetCurrentDirectoryA(Z(path).c_str()) ? error::kNone : LastError();
}

int MakeFolder(std::string_view path) {
  return CreateDirectoryA(Z(path).c_str(), nullptr) ? error::kNone : LastError();
}

int RemoveFolder(std::string_view path) {
  return RemoveDirectoryA(Z(path).c_str()) ? error::kNone : LastError();
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
