// The system's file on Win32: CreateFileA with share modes, positioned
// ReadFile/WriteFile, LockFile/UnlockFile.
//
// Sharing is decided twice. The share modes asked of CreateFileA keep the
// rules of platform/file.h among the handles one Windows (or one Wine
// server) knows, stations of the previous release among them; no share
// mode includes FILE_SHARE_DELETE. The locks of platform/sharing_internal.h
// carry the same rules to every other station: POSIX ones, those under
// another Wine server, those behind a file server.
//
// Under Wine only a handle open for writing takes exclusive locks (a
// read-only handle's lock becomes a shared one towards other Wine servers
// and POSIX stations), so the claim's exclusive locks go through a handle
// of their own, open for reading and writing, where the system grants one.
#include <windows.h>

#include "platform/file.h"
#include "platform/sharing_internal.h"
#include "platform/win32/file_internal.h"

namespace platform {
namespace {

using win32::LastError;

using sharing::kShareBase;

// The access rights and share mode that a decoded flags byte asks of
// CreateFileA.
DWORD AccessOf(const sharing::Mode& mode) {
  return (mode.Read ? GENERIC_READ : 0) | (mode.Write ? GENERIC_WRITE : 0);
}
DWORD ShareModeOf(const sharing::Mode& mode) {
  return (mode.DenyRead ? 0 : FILE_SHARE_READ) | (mode.DenyWrite ? 0 : FILE_SHARE_WRITE);
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

bool TryLockByte(HANDLE h, std::int64_t offset, bool exclusive) {
  OVERLAPPED at = At(offset);
  DWORD how = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  ++FileCallCount().Locks;
  return LockFileEx(h, how, 0, 1, 0, &at) != 0;
}

void UnlockByte(HANDLE h, std::int64_t offset) {
  OVERLAPPED at = At(offset);
  ++FileCallCount().Locks;
  UnlockFileEx(h, 0, 1, 0, &at);
}

// A handle of the file open for reading and writing that shares
// everything, for exclusive locks that look at other handles' locks;
// INVALID_HANDLE_VALUE when the system grants none.
HANDLE OpenLockingHandle(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Takes the gate of the sharing protocol through h, waiting while another
// open holds it, up to sharing::kGateWaitMs: 0, or the system's error
// (ERROR_LOCK_VIOLATION when the wait ran out).
DWORD TakeGate(HANDLE h) {
  for (int waited = 0; !TryLockByte(h, kShareBase + sharing::kGate, true); ++waited) {
    DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION || waited >= sharing::kGateWaitMs) return error;
    Sleep(1);
  }
  return 0;
}

// True when a handle other than h holds a lock on the sharing byte.
bool HeldElsewhere(HANDLE h, int byte) {
  if (!TryLockByte(h, kShareBase + byte, true)) return true;
  UnlockByte(h, kShareBase + byte);
  return false;
}

class Win32File final : public File {
 public:
  ~Win32File() override { Close(); }

  int Open(std::string_view path, int flags) override { return OpenWith(path, flags, false); }
  int Create(std::string_view path, int flags) override { return OpenWith(path, flags, true); }
  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  const std::string& Path() const override { return path_; }

  int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (int error = CheckOffset(offset)) return error;
    auto* bytes = static_cast<char*>(buffer);
    while (got < size) {
      OVERLAPPED at = At(offset + static_cast<std::int64_t>(got));
      DWORD n = 0;
      ++FileCallCount().Reads;
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
      ++FileCallCount().Writes;
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
    ++FileCallCount().Sizes;
    if (!GetFileSizeEx(handle_, &value)) return LastError();
    size = value.QuadPart;
    return error::kNone;
  }

  int Truncate(std::int64_t size) override {
    if (int error = CheckOffset(size)) return error;
    LARGE_INTEGER to;
    to.QuadPart = size;
    FileCallCount().Truncates += 2;  // the position, then the end
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) || !SetEndOfFile(handle_))
      return LastError();
    return error::kNone;
  }

  int Flush() override {
    if (!IsOpen()) return error::kInvalidHandle;
    ++FileCallCount().Flushes;
    return FlushFileBuffers(handle_) ? error::kNone : LastError();
  }

  int Lock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    if (offset < 0 || length <= 0) return error::kInvalidParameter;
    ++FileCallCount().Locks;
    return LockFile(handle_, Low(offset), High(offset), Low(length), High(length)) ? error::kNone
                                                                                  : LastError();
  }

  int Unlock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    ++FileCallCount().Locks;
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
    ++FileCallCount().Closes;
    int result = CloseHandle(handle_) ? error::kNone : LastError();
    handle_ = INVALID_HANDLE_VALUE;
    return result;
  }

 private:
  int OpenWith(std::string_view name, int flags, bool create) {
    Close();
    sharing::Mode mode;
    if (!sharing::DecodeFlags(flags, mode) || (create && !mode.Write)) return error::kInvalidAccess;
    std::string p(name);
    ++FileCallCount().Opens;
    HANDLE h = CreateFileA(p.c_str(), AccessOf(mode), ShareModeOf(mode), nullptr,
                           create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    handle_ = h;
    int error = ClaimSharing(p, mode);
    if (!error && create) error = Truncate(0);  // emptied only once the claim holds
    if (error) {
      Close();
      return error;
    }
    path_ = p;
    return error::kNone;
  }

  // Takes this handle's sharing locks and looks for conflicts, under the
  // gate (platform/sharing_internal.h). A lock this handle holds would
  // refuse its own exclusive attempts, so it looks before it takes. Where
  // the file system keeps no byte-range locks, the share modes alone decide.
  int ClaimSharing(const std::string& path, const sharing::Mode& mode) {
    HANDLE own = OpenLockingHandle(path);
    HANDLE looker = own != INVALID_HANDLE_VALUE ? own : handle_;
    int result = error::kNone;  // no locks on this file system: the modes decided
    DWORD gate = TakeGate(looker);
    if (gate == ERROR_LOCK_VIOLATION) result = error::kSharingViolation;
    if (gate == 0) {
      bool conflict = sharing::AnyConflict(mode, [&](int byte) { return HeldElsewhere(looker, byte); });
      bool taken = !conflict && sharing::ForEachOwnByte(mode, [&](int byte) {
        return TryLockByte(handle_, kShareBase + byte, false);
      });
      if (!taken) result = error::kSharingViolation;
      UnlockByte(looker, kShareBase + sharing::kGate);
    }
    if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
    return result;
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

bool win32::InUse(const std::string& path) {
  HANDLE h = OpenLockingHandle(path);
  if (h == INVALID_HANDLE_VALUE) return false;  // the system's own refusal answers then
  OVERLAPPED at = At(kShareBase + sharing::kHasRead);
  bool held = !LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 2, 0, &at);
  if (!held) UnlockFileEx(h, 0, 2, 0, &at);
  CloseHandle(h);
  return held;
}

}  // namespace platform
