// The file object of the library: one open file with Windows sharing flags,
// reads and writes at offsets, byte-range locks and the time stamps of the
// open file. Every part of the library that opens a file's contents goes
// through it (the database engine, whole-file reads and writes, copies).
//
// It behaves as a Windows file handle does, on both platforms:
//  - Sharing flags (the run-time library's file mode byte): the low three
//    bits are the access (0 read, 1 write, 2 read and write), bits 4..6 the
//    sharing (0x00 compatibility and 0x10 deny all, 0x20 deny write, 0x30
//    deny read, 0x40 deny none). An open that another handle's sharing
//    forbids, or whose sharing forbids another handle's access, is refused
//    with kSharingViolation, between processes and between handles of one
//    process. No handle lets others erase or rename its file.
//  - Byte-range locks are exclusive, belong to the handle that took them and
//    are not recursive: locking a byte that any handle holds, this one
//    included, is refused with kLockViolation. A lock is released by
//    unlocking exactly the range that was locked (kNotLocked otherwise), or
//    by closing the handle, or by the end of the process.
//  - Locks are mandatory for the other handles: a read or write through any
//    other handle that touches a locked byte is refused with kLockViolation
//    and moves no byte. (Wine does not enforce this on reads and writes;
//    locking itself is faithful there.)
//  - A handle refuses what its access does not allow (kAccessDenied); one
//    opened for reading only still takes exclusive locks.
//
// Results are 0 or the error numbers of platform/errors.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/scoped_value.h"

namespace platform {

namespace share {
inline constexpr int kReadWriteDenyNone = 0x42;
inline constexpr int kReadOnlyDenyNone = 0x40;
inline constexpr int kReadWriteDenyWrite = 0x22;
inline constexpr int kWriteDenyWrite = 0x21;
// Whole-file reading lets others do anything but erase; whole-file writing
// lets others read only.
inline constexpr int kReading = kReadOnlyDenyNone;
inline constexpr int kWriting = kWriteDenyWrite;
}  // namespace share

class File {
 public:
  virtual ~File() = default;  // the system's file closes itself

  // Opens an existing file (a Windows-style path) with sharing flags. An
  // open handle is closed first.
  [[nodiscard]] virtual int Open(std::string_view path, int flags) = 0;
  // Creates the file, or empties an existing one, and opens it with the
  // sharing flags (the access must allow writing). A read-only file is
  // refused (kAccessDenied), on POSIX whoever runs the program; a file that
  // another handle's sharing protects is refused (kSharingViolation) and
  // left as it is.
  [[nodiscard]] virtual int Create(std::string_view path, int flags) = 0;
  virtual bool IsOpen() const = 0;
  // The path as given to Open or Create.
  virtual const std::string& Path() const = 0;

  // Up to size bytes from offset; got tells how many came (fewer at the end
  // of the file, with result 0).
  [[nodiscard]] virtual int ReadAt(std::int64_t offset, void* buffer, std::size_t size,
                                   std::size_t& got) = 0;
  // size bytes at offset, growing the file as needed. A full disk is no
  // error: written tells how many bytes went.
  [[nodiscard]] virtual int WriteAt(std::int64_t offset, const void* buffer, std::size_t size,
                                    std::size_t& written) = 0;
  // ReadAt and WriteAt for bytes that no other handle's lock can guard now:
  // the caller holds the lock that guards them, or no station locks them.
  // Where looking for another handle's lock is a call of its own (POSIX)
  // none is made; where the system checks every transfer (Windows) it is
  // ReadAt and WriteAt.
  [[nodiscard]] virtual int ReadAtUnguarded(std::int64_t offset, void* buffer, std::size_t size,
                                            std::size_t& got) {
    return ReadAt(offset, buffer, size, got);
  }
  [[nodiscard]] virtual int WriteAtUnguarded(std::int64_t offset, const void* buffer, std::size_t size,
                                             std::size_t& written) {
    return WriteAt(offset, buffer, size, written);
  }
  [[nodiscard]] virtual int Size(std::int64_t& size) = 0;
  [[nodiscard]] virtual int Truncate(std::int64_t size) = 0;
  [[nodiscard]] virtual int Flush() = 0;

  // Exclusive lock of length bytes from offset (locks may lie beyond the
  // end of the file); 0, or kLockViolation when any handle holds one of
  // its bytes.
  [[nodiscard]] virtual int Lock(std::int64_t offset, std::int64_t length) = 0;
  // Releases a range locked through this handle with exactly these bounds.
  [[nodiscard]] virtual int Unlock(std::int64_t offset, std::int64_t length) = 0;
  // Whether another handle holds a lock on a byte of the range (false when
  // it cannot be told). One call where the system can ask (POSIX); else a
  // lock taken and let go again.
  [[nodiscard]] virtual bool LockedElsewhere(std::int64_t offset, std::int64_t length) {
    int result = Lock(offset, length);
    if (result == 0) (void)Unlock(offset, length);  // locked just above: cannot fail
    return result == error::kLockViolation;
  }

  // The time of last writing, in the units of platform/fs.h.
  [[nodiscard]] virtual int GetWriteTime(std::uint64_t& time) = 0;
  [[nodiscard]] virtual int SetWriteTime(std::uint64_t time) = 0;

  // Closes the handle, releasing its locks; closing a closed handle does
  // nothing.
  virtual int Close() = 0;
};

// The system calls that the system's files of this process have made, by
// what they were for, since the process began: every call on a file of a
// share is a round trip to the file server, so measurements and the
// engine's call budgets count them. Opening and closing count as one call
// each (with the locks of the sharing protocol under Locks).
struct FileCalls {
  std::uint64_t Reads = 0, Writes = 0;
  std::uint64_t Locks = 0;      // a lock taken, refused or let go
  std::uint64_t LockTests = 0;  // a look for another handle's lock
  std::uint64_t Sizes = 0, Truncates = 0, Flushes = 0, Opens = 0, Closes = 0;

  [[nodiscard]] std::uint64_t Total() const {
    return Reads + Writes + Locks + LockTests + Sizes + Truncates + Flushes + Opens + Closes;
  }
};
// The counters (the system's files add to them as they call).
FileCalls& FileCallCount();

// Copies the whole contents of from into to, both from offset 0.
// kDiskFull when the disk took only a part; what went stays.
[[nodiscard]] int CopyContents(File& from, File& to);

// A closed file: the system's, or what the installed maker gives.
std::unique_ptr<File> NewFile();
// The system's own file, whatever maker is installed (for makers that wrap
// it).
std::unique_ptr<File> NewSystemFile();

// Installs the maker that NewFile calls, for the guard's lifetime; the
// maker in force before is put back at the end.
using FileMaker = std::function<std::unique_ptr<File>()>;
class FileMakerGuard : public ScopedValue<FileMaker> {
 public:
  using Maker = FileMaker;
  explicit FileMakerGuard(Maker maker);
};

}  // namespace platform
