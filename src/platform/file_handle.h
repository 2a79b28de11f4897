// Files shared by several programs at once: opening with Windows sharing
// flags, reading and writing at offsets, and byte-range locks.
//
// This is the file object of the database engine. It behaves as a Windows
// file handle does, on both platforms:
//  - Sharing flags (the run-time library's file mode byte): the low three
//    bits are the access (0 read, 1 write, 2 read and write), bits 4..6 the
//    sharing (0x00 compatibility and 0x10 deny all, 0x20 deny write, 0x30
//    deny read, 0x40 deny none). 0x42 is read/write deny none, 0x40 read only
//    deny none, 0x22 read/write deny write. An open that another handle's
//    sharing forbids, or whose sharing forbids another handle's access, is
//    refused with 32, between processes and between handles of one process.
//  - Byte-range locks are exclusive, belong to the handle that took them and
//    are not recursive: locking a byte that any handle holds, this one
//    included, is refused with 33. A lock is released by unlocking exactly
//    the range that was locked (158 otherwise), or by closing the handle, or
//    by the end of the process.
//  - Locks are mandatory for the other handles: a read or write through any
//    other handle that touches a locked byte is refused with 33 and moves no
//    byte. (Wine does not enforce this on reads and writes; locking itself is
//    faithful there.)
//  - A handle opened for reading only refuses writes (5), and still takes
//    exclusive locks.
//
// Results are the Windows system error numbers (0 success, 2 file not
// found, 3 path not found, 4 too many open files, 5 access denied, 12
// invalid access code, 32 sharing violation, 33 lock violation, 87 invalid
// parameter, 131 negative offset, 158 range not locked, 112 disk full...).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

namespace share {
inline constexpr int kReadWriteDenyNone = 0x42;
inline constexpr int kReadOnlyDenyNone = 0x40;
inline constexpr int kReadWriteDenyWrite = 0x22;
}  // namespace share

inline constexpr int kSharingViolation = 32;
inline constexpr int kLockViolation = 33;
inline constexpr int kNotLocked = 158;

class SharedFile {
 public:
  SharedFile();
  ~SharedFile();  // closes
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // Opens an existing file (a Windows-style path) with sharing flags;
  // 0 or the error number. An open handle is closed first.
  int Open(std::string_view path, int flags);
  // Creates the file, or empties an existing one, and opens it with the
  // sharing flags (the access must allow writing). A read-only file is
  // refused (5), on POSIX whoever runs the program; a file that another
  // handle's sharing protects is refused (32) and left as it is.
  int Create(std::string_view path, int flags);
  bool IsOpen() const;
  // The path as given to Open or Create.
  const std::string& Path() const;

  // Up to size bytes from offset; got tells how many came (fewer at the end
  // of the file, with result 0). 0 or the error number.
  int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& got);
  // size bytes at offset, growing the file as needed. A full disk is no
  // error: written tells how many bytes went. 0 or the error number.
  int WriteAt(std::int64_t offset, const void* buffer, std::size_t size, std::size_t& written);
  int Size(std::int64_t& size);
  int Truncate(std::int64_t size);
  int Flush();

  // Exclusive lock of length bytes from offset (locks may lie beyond the
  // end of the file); 0, or 33 when any handle holds one of its bytes.
  int Lock(std::int64_t offset, std::int64_t length);
  // Releases a range locked through this handle with exactly these bounds.
  int Unlock(std::int64_t offset, std::int64_t length);

  // Closes the handle, releasing its locks; closing a closed handle does
  // nothing. 0 or the error number.
  int Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
