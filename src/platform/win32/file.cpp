// The system's file on Win32: CreateFileA with share modes, positioned
// ReadFile/WriteFile, LockFile/UnlockFile. The system gives every rule of
// platform/file.h itself; no share mode here includes FILE_SHARE_DELETE,
// so DeleteFileA and MoveFileExA refuse a file that a handle holds.
#include <windows.h>

#include "platform/file.h"
#include "platform/win32/file_internal.h"

namespace platform {
namespace {

using win32::LastError;

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

// The bytes of one ReadFile or WriteFile call: its count is a DWORD, and a
// 64-bit program may be asked for more than that holds in one transfer.
DWORD ChunkOf(std::size_t left) {
  constexpr std::size_t kMaxChunk = std::size_t{1} << 30;
  return static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk);
}

DWORD Low(std::int64_t v) { return static_cast<DWORD>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu); }
DWORD High(std::int64_t v) { return static_cast<DWORD>(static_cast<std::uint64_t>(v) >> 32); }

class Win32File final : public File {
 public:
  ~Win32File() override { Close(); }

  int Open(std::string_view path, int flags) override { return OpenWith(path, flags, OPEN_EXISTING); }
  int Create(std::string_view path, int flags) override {
    return OpenWith(path, flags, CREATE_ALWAYS);
  }
  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  const std::string& Path() const override { return path_; }

  int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (int error = CheckOffset(offset)) return error;
    auto* bytes = static_cast<char*>(buffer);
    while (got < size) {
      OVERLAPPED at = At(offset + static_cast<std::int64_t>(got));
      DWORD n = 0;
      if (!ReadFile(handle_, bytes + got, ChunkOf(size - got), &n, &at)) {
        int error = LastError();
        return error == ERROR_HANDLE_EOF ? error::kNone : error;
      }
      if (n == 0) break;
      got += n;
    }
    return error::kNone;
  }

  int WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
              std::size_t& written) override {
    written = 0;
    if (int error = CheckOffset(offset)) return error;
    const auto* bytes = static_cast<const char*>(buffer);
    while (written < size) {
      OVERLAPPED at = At(offset + static_cast<std::int64_t>(written));
      DWORD n = 0;
      if (!WriteFile(handle_, bytes + written, ChunkOf(size - written), &n, &at)) {
        DWORD error = GetLastError();
        return win32::IsDiskFull(error) ? error::kNone : static_cast<int>(error);
      }
      if (n == 0) break;
      written += n;
    }
    return error::kNone;
  }

  int Size(std::int64_t& size) override {
    size = 0;
    if (!IsOpen()) return error::kInvalidHandle;
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_, &value)) return LastError();
    size = value.QuadPart;
    return error::kNone;
  }

  int Truncate(std::int64_t size) override {
    if (int error = CheckOffset(size)) return error;
    LARGE_INTEGER to;
    to.QuadPart = size;
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_))
      return LastError();
    return error::kNone;
  }

  int Flush() override {
    if (!IsOpen()) return error::kInvalidHandle;
    return FlushFileBuffers(handle_) ? error::kNone : LastError();
  }

  int Lock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    if (offset < 0 || length <= 0) return error::kInvalidParameter;
    return LockFile(handle_, Low(offset), High(offset), Low(length), High(length)) ? error::kNone
                                                                                  : LastError();
  }

  int Unlock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    return UnlockFile(handle_, Low(offset), High(offset), Low(length), High(length))
               ? error::kNone
               : LastError();
  }

  int GetWriteTime(std::uint64_t& time) override {
    if (!IsOpen()) return error::kInvalidHandle;
    FILETIME t;
    if (!GetFileTime(handle_, nullptr, nullptr, &t)) return LastError();
    time = win32::TimeOf(t);
    return error::kNone;
  }

  int SetWriteTime(std::uint64_t time) override {
    if (!IsOpen()) return error::kInvalidHandle;
    FILETIME t = win32::FileTimeOf(time);
    return SetFileTime(handle_, nullptr, nullptr, &t) ? error::kNone : LastError();
  }

  int Close() override {
    if (!IsOpen()) return error::kNone;
    int result = CloseHandle(handle_) ? error::kNone : LastError();
    handle_ = INVALID_HANDLE_VALUE;
    return result;
  }

 private:
  int OpenWith(std::string_view name, int flags, DWORD disposition) {
    Close();
    DWORD access = 0, shareMode = 0;
    if (!DecodeFlags(flags, access, shareMode)) return error::kInvalidAccess;
    if (disposition == CREATE_ALWAYS && !(access & GENERIC_WRITE)) return error::kInvalidAccess;
    std::string p(name);
    HANDLE h = CreateFileA(p.c_str(), access, shareMode, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    handle_ = h;
    path_ = p;
    return error::kNone;
  }

  int CheckOffset(std::int64_t offset) const {
    if (!IsOpen()) return error::kInvalidHandle;
    return offset < 0 ? error::kNegativeSeek : error::kNone;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::string path_;
};

}  // namespace

std::unique_ptr<File> NewSystemFile() { return std::make_unique<Win32File>(); }

}  // namespace platform
