// Shared files on Win32: CreateFileA with share modes, positioned
// ReadFile/WriteFile, LockFile/UnlockFile. The system gives every rule of
// platform/file_handle.h itself.
#include <windows.h>

#include "platform/file_handle.h"

namespace platform {
namespace {

// Access rights and share mode of a flags byte; false when it names none.
bool DecodeFlags(int flags, DWORD& access, DWORD& shareMode) {
  int accessBits = flags & 0x07, sharing = (flags >> 4) & 0x07;
  if (accessBits > 2 || sharing > 4) return false;
  static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE};
  access = kAccess[accessBits];
  shareMode = kShare[sharing];
  return true;
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  return at;
}

DWORD Low(std::int64_t v) { return static_cast<DWORD>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu); }
DWORD High(std::int64_t v) { return static_cast<DWORD>(static_cast<std::uint64_t>(v) >> 32); }

int LastError() { return static_cast<int>(GetLastError()); }

}  // namespace

struct SharedFile::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string path;

  int OpenWith(std::string_view name, int flags, DWORD disposition) {
    DWORD access = 0, shareMode = 0;
    if (!DecodeFlags(flags, access, shareMode)) return 12;
    if (disposition == CREATE_ALWAYS && !(access & GENERIC_WRITE)) return 12;
    std::string p(name);
    HANDLE h = CreateFileA(p.c_str(), access, shareMode, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    handle = h;
    path = p;
    return 0;
  }
};

SharedFile::SharedFile() : impl_(std::make_unique<Impl>()) {}
SharedFile::~SharedFile() { Close(); }

bool SharedFile::IsOpen() const { return impl_->handle != INVALID_HANDLE_VALUE; }
const std::string& SharedFile::Path() const { return impl_->path; }

int SharedFile::Open(std::string_view path, int flags) {
  Close();
  return impl_->OpenWith(path, flags, OPEN_EXISTING);
}

int SharedFile::Create(std::string_view path, int flags) {
  Close();
  return impl_->OpenWith(path, flags, CREATE_ALWAYS);
}

int SharedFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  if (!IsOpen()) return 6;
  if (offset < 0) return 131;
  auto* bytes = static_cast<char*>(buffer);
  while (got < size) {
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(got));
    DWORD n = 0;
    if (!ReadFile(impl_->handle, bytes + got, static_cast<DWORD>(size - got), &n, &at)) {
      int error = LastError();
      return error == ERROR_HANDLE_EOF ? 0 : error;
    }
    if (n == 0) break;
    got += n;
  }
  return 0;
}

int SharedFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
                        std::size_t& written) {
  written = 0;
  if (!IsOpen()) return 6;
  if (offset < 0) return 131;
  const auto* bytes = static_cast<const char*>(buffer);
  while (written < size) {
    OVERLAPPED at = At(offset + static_cast<std::int64_t>(written));
    DWORD n = 0;
    if (!WriteFile(impl_->handle, bytes + written, static_cast<DWORD>(size - written), &n, &at)) {
      int error = LastError();
      return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? 0 : error;
    }
    if (n == 0) break;
    written += n;
  }
  return 0;
}

int SharedFile::Size(std::int64_t& size) {
  size = 0;
  if (!IsOpen()) return 6;
  LARGE_INTEGER value;
  if (!GetFileSizeEx(impl_->handle, &value)) return LastError();
  size = value.QuadPart;
  return 0;
}

int SharedFile::Truncate(std::int64_t size) {
  if (!IsOpen()) return 6;
  if (size < 0) return 131;
  LARGE_INTEGER to;
  to.QuadPart = size;
  if (!SetFilePointerEx(impl_->handle, to, nullptr, FILE_BEGIN) || !SetEndOfFile(impl_->handle))
    return LastError();
  return 0;
}

int SharedFile::Flush() {
  if (!IsOpen()) return 6;
  return FlushFileBuffers(impl_->handle) ? 0 : LastError();
}

int SharedFile::Lock(std::int64_t offset, std::int64_t length) {
  if (!IsOpen()) return 6;
  if (offset < 0 || length <= 0) return 87;
  return LockFile(impl_->handle, Low(offset), High(offset), Low(length), High(length))
             ? 0
             : LastError();
}

int SharedFile::Unlock(std::int64_t offset, std::int64_t length) {
  if (!IsOpen()) return 6;
  return UnlockFile(impl_->handle, Low(offset), High(offset), Low(length), High(length))
             ? 0
             : LastError();
}

int SharedFile::Close() {
  if (!IsOpen()) return 0;
  int result = CloseHandle(impl_->handle) ? 0 : LastError();
  impl_->handle = INVALID_HANDLE_VALUE;
  return result;
}

}  // namespace platform
