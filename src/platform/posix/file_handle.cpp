// Shared files on POSIX: Windows sharing modes and mandatory byte-range
// locks, emulated with open-file-description (OFD) locks.
//
// Every SharedFile is its own open file description (its own open()), so
// its OFD locks conflict with those of every other handle, in this process
// or another, and belong to no one else; the system drops them when the
// handle is closed or the process dies.
//
// Sharing modes. Four bytes far beyond any record stand for the sharing
// state of the file (records are at most 10000 bytes and numbered by 32 bits,
// so data ends below 2^46):
//
//   kShareBase + 0   held by every handle with read access
//   kShareBase + 1   held by every handle with write access
//   kShareBase + 2   held by every handle that denies reading to others
//   kShareBase + 3   held by every handle that denies writing to others
//
// A handle holds its bytes with shared (read) locks, so any number of
// handles can hold the same byte. An open first takes its own bytes, then
// looks (F_OFD_GETLK, which ignores the asker's own locks) for another
// handle on the bytes it conflicts with: reading conflicts with +2, writing
// with +3, denying reads with +0, denying writes with +1. On a conflict it
// closes again and reports 32. Two conflicting opens racing each other may
// both be refused, never both granted.
//
// Byte-range locks. Lock takes an exclusive OFD lock; the handle keeps a
// table of the ranges it holds, because OFD locks of one description merge
// and re-locking a held byte would succeed, where Windows refuses it.
// Reads and writes first ask F_OFD_GETLK whether another handle holds a
// byte of their range and are refused with 33 if so. The test and the
// transfer are two steps: a lock taken between them does not stop a
// transfer already under way, as one that started just before it.
//
// A handle opened for reading only still opens the file for reading and
// writing, so that it can take exclusive locks, and refuses writes itself.
// Only a file the process may not write (a read-only file system, another
// user's file) is opened for reading alone; its locks are then shared
// locks, which still refuse other handles' transfers and exclusive locks.
//
// The read-only attribute is the owner's write bit: opening such a file for
// writing, or creating over it, is refused with 5 even for root.
#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/fs.h"
#include "platform/posix/fs_internal.h"

namespace platform {
namespace {

constexpr off_t kShareBase = off_t{1} << 62;
constexpr int kHasRead = 0, kHasWrite = 1, kDeniesRead = 2, kDeniesWrite = 3;

struct Mode {
  bool read = false, write = false;          // access wanted
  bool denyRead = false, denyWrite = false;  // denied to others
};

// The access and sharing of a flags byte; false when it names none.
bool DecodeFlags(int flags, Mode& mode) {
  int access = flags & 0x07, sharing = (flags >> 4) & 0x07;
  if (access > 2 || sharing > 4) return false;
  mode.read = access != 1;
  mode.write = access != 0;
  mode.denyRead = sharing <= 1 || sharing == 3;
  mode.denyWrite = sharing <= 2;
  return true;
}

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
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

bool ShareLock(int fd, int byte) {
  flock lock = Range(F_RDLCK, kShareBase + byte, 1);
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

struct SharedFile::Impl {
  int fd = -1;
  bool writable = false;   // the handle's access allows writing
  bool readOnlyFd = false; // the descriptor itself is read-only
  std::string path;
  std::vector<std::pair<std::int64_t, std::int64_t>> held;  // offset, length

  // Takes this handle's sharing bytes and looks for conflicts; 0 or 32.
  int ClaimSharing(const Mode& mode) {
    if ((mode.read && !ShareLock(fd, kHasRead)) || (mode.write && !ShareLock(fd, kHasWrite)) ||
        (mode.denyRead && !ShareLock(fd, kDeniesRead)) ||
        (mode.denyWrite && !ShareLock(fd, kDeniesWrite)))
      return kSharingViolation;
    bool conflict = (mode.read && ForeignLock(fd, kShareBase + kDeniesRead, 1)) ||
                    (mode.write && ForeignLock(fd, kShareBase + kDeniesWrite, 1)) ||
                    (mode.denyRead && ForeignLock(fd, kShareBase + kHasRead, 1)) ||
                    (mode.denyWrite && ForeignLock(fd, kShareBase + kHasWrite, 1));
    return conflict ? kSharingViolation : 0;
  }

  bool Overlaps(std::int64_t offset, std::int64_t length) const {
    for (const auto& [o, l] : held)
      if (offset < o + l && o < offset + length) return true;
    return false;
  }
};

SharedFile::SharedFile() : impl_(std::make_unique<Impl>()) {}
SharedFile::~SharedFile() { Close(); }

bool SharedFile::IsOpen() const { return impl_->fd >= 0; }
const std::string& SharedFile::Path() const { return impl_->path; }

namespace {

// Opens the descriptor for a mode; 0 or the error number.
int OpenDescriptor(const std::string& path, const Mode& mode, bool create, int& fd,
                   bool& readOnlyFd) {
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) return 5;
  if (exists && mode.write && !(st.st_mode & S_IWUSR)) return 5;  // read-only attribute
  if (!exists && !create) return posix::ErrorNumber(ENOENT, path);
  readOnlyFd = false;
  fd = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0 && !mode.write && (errno == EACCES || errno == EROFS)) {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    readOnlyFd = true;
  }
  return fd < 0 ? posix::ErrorNumber(errno, path) : 0;
}

}  // namespace

int SharedFile::Open(std::string_view path, int flags) {
  Close();
  Mode mode;
  if (!DecodeFlags(flags, mode)) return 12;
  std::string resolved = ResolvePath(path);
  if (resolved.empty()) return 3;
  int fd = -1;
  bool readOnlyFd = false;
  if (int error = OpenDescriptor(resolved, mode, false, fd, readOnlyFd)) return error;
  impl_->fd = fd;
  impl_->readOnlyFd = readOnlyFd;
  if (int error = impl_->ClaimSharing(mode)) {
    Close();
    return error;
  }
  impl_->writable = mode.write;
  impl_->path = std::string(path);
  return 0;
}

int SharedFile::Create(std::string_view path, int flags) {
  Close();
  Mode mode;
  if (!DecodeFlags(flags, mode) || !mode.write) return 12;
  std::string resolved = ResolvePath(path);
  if (resolved.empty()) return 3;
  int fd = -1;
  bool readOnlyFd = false;
  if (int error = OpenDescriptor(resolved, mode, true, fd, readOnlyFd)) return error;
  impl_->fd = fd;
  impl_->readOnlyFd = readOnlyFd;
  if (int error = impl_->ClaimSharing(mode)) {
    Close();
    return error;
  }
  if (ftruncate(fd, 0) != 0) {
    int error = posix::ErrorNumber(errno, resolved);
    Close();
    return error;
  }
  impl_->writable = true;
  impl_->path = std::string(path);
  return 0;
}

int SharedFile::ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  if (!IsOpen()) return 6;
  if (offset < 0) return 131;
  if (size > 0 && ForeignLock(impl_->fd, offset, static_cast<off_t>(size))) return kLockViolation;
  auto* bytes = static_cast<char*>(buffer);
  while (got < size) {
    ssize_t n = pread(impl_->fd, bytes + got, size - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return posix::ErrorNumber(errno, impl_->path);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

int SharedFile::WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
                        std::size_t& written) {
  written = 0;
  if (!IsOpen()) return 6;
  if (!impl_->writable) return 5;
  if (offset < 0) return 131;
  if (size > 0 && ForeignLock(impl_->fd, offset, static_cast<off_t>(size))) return kLockViolation;
  const auto* bytes = static_cast<const char*>(buffer);
  while (written < size) {
    ssize_t n = pwrite(impl_->fd, bytes + written, size - written,
                       offset + static_cast<off_t>(written));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == ENOSPC || errno == EFBIG || errno == EDQUOT)) break;  // disk full
    if (n < 0) return posix::ErrorNumber(errno, impl_->path);
    if (n == 0) break;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

int SharedFile::Size(std::int64_t& size) {
  size = 0;
  if (!IsOpen()) return 6;
  struct stat st;
  if (fstat(impl_->fd, &st) != 0) return posix::ErrorNumber(errno, impl_->path);
  size = st.st_size;
  return 0;
}

int SharedFile::Truncate(std::int64_t size) {
  if (!IsOpen()) return 6;
  if (!impl_->writable) return 5;
  if (size < 0) return 131;
  return ftruncate(impl_->fd, size) == 0 ? 0 : posix::ErrorNumber(errno, impl_->path);
}

int SharedFile::Flush() {
  if (!IsOpen()) return 6;
  return fdatasync(impl_->fd) == 0 ? 0 : posix::ErrorNumber(errno, impl_->path);
}

int SharedFile::Lock(std::int64_t offset, std::int64_t length) {
  if (!IsOpen()) return 6;
  if (offset < 0 || length <= 0 || offset > kShareBase - length) return 87;
  if (impl_->Overlaps(offset, length)) return kLockViolation;
  flock lock = Range(impl_->readOnlyFd ? F_RDLCK : F_WRLCK, offset, length);
  if (fcntl(impl_->fd, F_OFD_SETLK, &lock) != 0)
    return errno == EAGAIN || errno == EACCES ? kLockViolation : posix::ErrorNumber(errno, impl_->path);
  if (impl_->readOnlyFd && ForeignLock(impl_->fd, offset, length)) {
    lock.l_type = F_UNLCK;  // another reader's shared lock: not exclusive
    fcntl(impl_->fd, F_OFD_SETLK, &lock);
    return kLockViolation;
  }
  impl_->held.emplace_back(offset, length);
  return 0;
}

int SharedFile::Unlock(std::int64_t offset, std::int64_t length) {
  if (!IsOpen()) return 6;
  auto& held = impl_->held;
  for (auto it = held.begin(); it != held.end(); ++it) {
    if (it->first != offset || it->second != length) continue;
    flock lock = Range(F_UNLCK, offset, length);
    fcntl(impl_->fd, F_OFD_SETLK, &lock);
    held.erase(it);
    return 0;
  }
  return kNotLocked;
}

int SharedFile::Close() {
  if (!IsOpen()) return 0;
  int result = close(impl_->fd) == 0 ? 0 : posix::ErrorNumber(errno, impl_->path);
  impl_->fd = -1;
  impl_->writable = impl_->readOnlyFd = false;
  impl_->held.clear();
  return result;
}

}  // namespace platform
