// Shared by the POSIX files of the platform layer; not for other folders.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

// The folder of a drive (upper-case letter) without a trailing "/", "" for
// the root; false when the drive has no folder.
bool DriveRoot(char letter, std::string& root);

// The Windows error number for a failed system call (errno) on path.
int ErrorNumber(int error, const std::string& path);

// True for the errno values of a write that found the disk full (or the
// file-size limit reached): error::kDiskFull.
bool IsDiskFull(int error);

// The read-only attribute: a folder, or a file without the owner's write
// bit, is not written, created over or erased, whoever asks
// (error::kAccessDenied); 0 otherwise.
int RefuseUnwritable(const struct stat& st);

// True when a file (not a link) is held open by any handle of the platform's
// file object, in this process or another, or by a station of the previous
// release: erasing or renaming it is then a sharing violation.
bool InUse(const std::string& path);

// Sets the time of last writing of the open descriptor fd, or of path when
// fd is -1.
int SetWriteTimeOf(int fd, const std::string& path, std::uint64_t time);

// True when something (a link included) exists under the name.
bool Exists(const std::string& path);

// The attributes of an entry named name, from lstat/stat of path; false
// when it does not exist.
bool AttributesOf(const std::string& path, std::string_view name, std::uint32_t& attributes,
                  std::uint64_t& size, std::uint64_t& writeTime);

// Seconds and nanoseconds since 1970 <-> Windows file time.
std::uint64_t FileTimeOf(std::int64_t seconds, long nanoseconds);
void UnixTimeOf(std::uint64_t fileTime, std::int64_t& seconds, long& nanoseconds);

// A bare command name as the shell finds it: the first executable file of
// that name in a PATH folder (an empty entry is the current folder); ""
// when there is none.
std::string FindInPath(const std::string& name);

// True when name ends in ".exe", ".com" or ".bat" (any case).
bool IsProgramName(std::string_view name);

}  // namespace platform::posix
