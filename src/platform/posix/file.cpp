// The system's file on POSIX: Windows sharing modes and mandatory
// byte-range locks, emulated with open-file-description (OFD) locks.
//
// Every file is its own open file description (its own open()), so its OFD
// locks conflict with those of every other handle, in this process or
// another, and belong to no one else; the system drops them when the handle
// is closed or the process dies.
//
// Sharing modes: the locks of platform/sharing_internal.h, held with OFD
// locks (shared ones on the sharing bytes, an exclusive one on the gate).
// Looking for another handle's lock is F_OFD_GETLK, which ignores the
// asker's own locks, so a handle takes its bytes before it looks.

// Byte-range locks. Lock takes an exclusive OFD lock; the handle keeps a
// table of the ranges it holds, because OFD locks of one description merge
// and re-locking a held byte would succeed, where Windows refuses it.
// Reads and writes first ask F_OFD_GETLK whether another handle holds a
// byte of their range and are refused with a lock violation if so. The test and the
// transfer are two steps: a lock taken between them does not stop a
// transfer already under way, as one that started just before it. The
// unguarded transfers skip the look (a call of its own on a share).
//
// A handle opened for reading only still opens the file for reading and
// writing, so that it can take exclusive locks, and refuses writes itself.
// Only a file the process may not write (a read-only file system, another
// user's file) is opened for reading alone; its locks are then shared
// locks, which still refuse other handles' transfers and exclusive locks.
//
// The read-only attribute is the owner's write bit: opening such a file for
// writing, or creating over it, is refused (RefuseUnwritable) even for root.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <vector>

#include "platform/fs.h"
#include "platform/posix/fs_internal.h"
#include "platform/sharing_internal.h"

namespace platform {
namespace {

using sharing::kShareBase;
using sharing::Mode;

flock Range(short type, off_t offset, off_t length) {
  flock lock{};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = length;
  return lock;
}

// True when another open file description holds a lock on a byte of the
// range (any lock: shared ones stand for locks too, see above).
bool ForeignLock(int fd, off_t offset, off_t length) {
  flock probe = Range(F_WRLCK, offset, length);
  ++FileCallCount().LockTests;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

bool ShareLock(int fd, int byte) {
  flock lock = Range(F_RDLCK, kShareBase + byte, 1);
  ++FileCallCount().Locks;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Takes (or lets go) the gate of the sharing protocol; taking waits while
// another open holds it, up to sharing::kGateWaitMs.
bool TakeGate(int fd) {
  flock lock = Range(F_WRLCK, kShareBase + sharing::kGate, 1);
  for (int waited = 0; ++FileCallCount().Locks, fcntl(fd, F_OFD_SETLK, &lock) != 0; ++waited) {
    if ((errno != EAGAIN && errno != EACCES) || waited >= sharing::kGateWaitMs) return false;
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
  }
  return true;
}

void LetGateGo(int fd) {
  flock lock = Range(F_UNLCK, kShareBase + sharing::kGate, 1);
  ++FileCallCount().Locks;
  fcntl(fd, F_OFD_SETLK, &lock);
}

// Opens the descriptor for a mode; 0 or the error number.
int OpenDescriptor(const std::string& path, const Mode& mode, bool create, int& fd,
                   bool& readOnlyFd) {
  struct stat st;
  ++FileCallCount().Opens;  // the look before the open
  bool exists = stat(path.c_str(), &st) == 0;
  if (exists && (mode.Write || S_ISDIR(st.st_mode)))
    if (int error = posix::RefuseUnwritable(st)) return error;
  if (!exists && !create) return posix::ErrorNumber(ENOENT, path);
  readOnlyFd = false;
  ++FileCallCount().Opens;
  fd = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0 && !mode.Write && (errno == EACCES || errno == EROFS)) {
    ++FileCallCount().Opens;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    readOnlyFd = true;
  }
  return fd < 0 ? posix::ErrorNumber(errno, path) : error::kNone;
}

class PosixFile final : public File {
 public:
  ~PosixFile() override { Close(); }

  int Open(std::string_view path, int flags) override { return OpenWith(path, flags, false); }
  int Create(std::string_view path, int flags) override { return OpenWith(path, flags, true); }
  bool IsOpen() const override { return fd_ >= 0; }
  const std::string& Path() const override { return path_; }

  int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    return Read(offset, buffer, size, got, true);
  }
  int ReadAtUnguarded(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) override {
    return Read(offset, buffer, size, got, false);
  }
  int WriteAt(std::int64_t offset, const void* buffer, std::size_t size, std::size_t& written) override {
    return Write(offset, buffer, size, written, true);
  }
  int WriteAtUnguarded(std::int64_t offset, const void* buffer, std::size_t size,
                       std::size_t& written) override {
    return Write(offset, buffer, size, written, false);
  }

  int Size(std::int64_t& size) override {
    size = 0;
    struct stat st;
    if (int error = Stat(st)) return error;
    size = st.st_size;
    return error::kNone;
  }

  int Truncate(std::int64_t size) override {
    if (int error = CheckTransfer(size, 0, writable_)) return error;
    ++FileCallCount().Truncates;
    return ftruncate(fd_, size) == 0 ? error::kNone : posix::ErrorNumber(errno, path_);
  }

  int Flush() override {
    if (!IsOpen()) return error::kInvalidHandle;
    ++FileCallCount().Flushes;
    return fdatasync(fd_) == 0 ? error::kNone : posix::ErrorNumber(errno, path_);
  }

  int Lock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    if (offset < 0 || length <= 0 || offset > kShareBase - length) return error::kInvalidParameter;
    if (Overlaps(offset, length)) return error::kLockViolation;
    flock lock = Range(readOnlyFd_ ? F_RDLCK : F_WRLCK, offset, length);
    ++FileCallCount().Locks;
    if (fcntl(fd_, F_OFD_SETLK, &lock) != 0)
      return errno == EAGAIN || errno == EACCES ? error::kLockViolation
                                                : posix::ErrorNumber(errno, path_);
    if (readOnlyFd_ && ForeignLock(fd_, offset, length)) {
      lock.l_type = F_UNLCK;  // another reader's shared lock: not exclusive
      ++FileCallCount().Locks;
      fcntl(fd_, F_OFD_SETLK, &lock);
      return error::kLockViolation;
    }
    held_.emplace_back(offset, length);
    return error::kNone;
  }

  int Unlock(std::int64_t offset, std::int64_t length) override {
    if (!IsOpen()) return error::kInvalidHandle;
    for (auto it = held_.begin(); it != held_.end(); ++it) {
      if (it->first != offset || it->second != length) continue;
      flock lock = Range(F_UNLCK, offset, length);
      ++FileCallCount().Locks;
      fcntl(fd_, F_OFD_SETLK, &lock);
      held_.erase(it);
      return error::kNone;
    }
    return error::kNotLocked;
  }

  bool LockedElsewhere(std::int64_t offset, std::int64_t length) override {
    return IsOpen() && offset >= 0 && length > 0 && ForeignLock(fd_, offset, length);
  }

  int GetWriteTime(std::uint64_t& time) override {
    struct stat st;
    if (int error = Stat(st)) return error;
    time = posix::FileTimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return error::kNone;
  }

  int SetWriteTime(std::uint64_t time) override {
    if (!IsOpen()) return error::kInvalidHandle;
    return posix::SetWriteTimeOf(fd_, path_, time);
  }

  int Close() override {
    if (!IsOpen()) return error::kNone;
    ++FileCallCount().Closes;
    int result = close(fd_) == 0 ? error::kNone : posix::ErrorNumber(errno, path_);
    fd_ = -1;
    readable_ = writable_ = readOnlyFd_ = false;
    held_.clear();
    return result;
  }

 private:
  int OpenWith(std::string_view path, int flags, bool create) {
    Close();
    Mode mode;
    if (!sharing::DecodeFlags(flags, mode) || (create && !mode.Write)) return error::kInvalidAccess;
    std::string resolved = ResolvePath(path);
    if (resolved.empty()) return error::kPathNotFound;
    if (int error = OpenDescriptor(resolved, mode, create, fd_, readOnlyFd_)) return error;
    int error = ClaimSharing(mode);
    if (!error && create && (++FileCallCount().Truncates, ftruncate(fd_, 0) != 0)) error = posix::ErrorNumber(errno, resolved);
    if (error) {
      Close();
      return error;
    }
    readable_ = mode.Read;
    writable_ = mode.Write;
    path_ = std::string(path);
    return error::kNone;
  }

  // A transfer, refused first when look finds another handle's lock on a
  // byte of it.
  int Read(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got, bool look) {
    got = 0;
    if (int error = CheckTransfer(offset, look ? size : 0, readable_)) return error;
    auto* bytes = static_cast<char*>(buffer);
    while (got < size) {
      ++FileCallCount().Reads;
      ssize_t n = pread(fd_, bytes + got, size - got, offset + static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return posix::ErrorNumber(errno, path_);
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return error::kNone;
  }

  int Write(std::int64_t offset, const void* buffer, std::size_t size, std::size_t& written, bool look) {
    written = 0;
    if (int error = CheckTransfer(offset, look ? size : 0, writable_)) return error;
    const auto* bytes = static_cast<const char*>(buffer);
    while (written < size) {
      ++FileCallCount().Writes;
      ssize_t n = pwrite(fd_, bytes + written, size - written, offset + static_cast<off_t>(written));
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || (n < 0 && posix::IsDiskFull(errno))) break;  // full: a short count
      if (n < 0) return posix::ErrorNumber(errno, path_);
      written += static_cast<std::size_t>(n);
    }
    return error::kNone;
  }

  // Takes this handle's sharing bytes and looks for conflicts, under the
  // gate. A descriptor opened for reading alone cannot take the gate's
  // exclusive lock; it claims without it.
  int ClaimSharing(const Mode& mode) {
    bool gated = !readOnlyFd_ && TakeGate(fd_);
    if (!gated && !readOnlyFd_) return error::kSharingViolation;
    bool taken = sharing::ForEachOwnByte(mode, [&](int byte) { return ShareLock(fd_, byte); });
    bool conflict = !taken || sharing::AnyConflict(mode, [&](int byte) {
      return ForeignLock(fd_, kShareBase + byte, 1);
    });
    if (gated) LetGateGo(fd_);
    return conflict ? error::kSharingViolation : error::kNone;
  }

  // Whether a transfer of size bytes at offset may go: the handle is open,
  // its access allows it, and no other handle locks one of the bytes.
  int CheckTransfer(std::int64_t offset, std::size_t size, bool allowed) const {
    if (!IsOpen()) return error::kInvalidHandle;
    if (!allowed) return error::kAccessDenied;
    if (offset < 0) return error::kNegativeSeek;
    if (size > 0 && ForeignLock(fd_, offset, static_cast<off_t>(size))) return error::kLockViolation;
    return error::kNone;
  }

  int Stat(struct stat& st) const {
    if (!IsOpen()) return error::kInvalidHandle;
    ++FileCallCount().Sizes;
    return fstat(fd_, &st) == 0 ? error::kNone : posix::ErrorNumber(errno, path_);
  }

  bool Overlaps(std::int64_t offset, std::int64_t length) const {
    for (const auto& [o, l] : held_)
      if (offset < o + l && o < offset + length) return true;
    return false;
  }

  int fd_ = -1;
  bool readable_ = false, writable_ = false;  // what the handle's access allows
  bool readOnlyFd_ = false;                   // the descriptor itself is read-only
  std::string path_;
  std::vector<std::pair<std::int64_t, std::int64_t>> held_;  // offset, length
};

}  // namespace

std::unique_ptr<File> NewSystemFile() { return std::make_unique<PosixFile>(); }

bool posix::InUse(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  bool held = ForeignLock(fd, kShareBase + sharing::kHasRead, 2);
  close(fd);
  return held;
}

}  // namespace platform
