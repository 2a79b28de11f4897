// Files and folders, named by Windows-style paths.
//
// The library names files as Windows does: "\" and "/" both separate, a path
// may start with a drive letter, and letter case does not matter. Win32 hands
// paths to the system unchanged. POSIX turns them into its own paths through
// ResolvePath first; every operation here does that itself.
//
// Results are 0 or the error numbers of platform/errors.h.
//
// Sharing: a file that a handle of the file object (platform/file.h) holds
// open is erased or renamed by nobody, as on Windows (kSharingViolation; a
// rename onto it is refused with kAccessDenied); creating or copying over it
// is refused (kSharingViolation) as its sharing flags say, and leaves it as
// it is. POSIX keeps these rules between the library's own handles, in any
// process. Whole-file reads and writes go through the file object, so a byte
// that another handle has locked refuses them (kLockViolation).
//
// POSIX drive table: drive X is the folder named by the environment variable
// TORMEX_DRIVE_X (for example TORMEX_DRIVE_D=/mnt/data); C: is "/" unless
// TORMEX_DRIVE_C names another folder. A drive is present while its folder
// exists. Paths the system reports (CurrentFolder, TempPath, WindowsPath) are
// written the Windows way through the same table: with C: = "/", the folder
// /home/x is "C:\home\x".
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace platform {

// ---- Paths -------------------------------------------------------------------

// The path the system opens for a Windows-style path. Win32: unchanged.
// POSIX:
//  - "\" becomes "/";
//  - a drive letter goes through the drive table; a drive without a folder
//    gives "" (which names no file);
//  - each part of the path that does not exist as spelled is looked up in
//    its folder without regard to letter case (ASCII letters), and the name
//    found is used; a part found neither way stays as spelled, so a file
//    can be created under it.
std::string ResolvePath(std::string_view path);

// An absolute path of the system written as Windows shows it. Win32:
// unchanged. POSIX: the drive whose folder holds the path most closely
// gives its letter ("/home/x" is "C:\home\x"); a path under no drive stays
// as it is.
std::string WindowsPath(std::string_view systemPath);

// True when the path names an existing file (not a folder).
bool FileExists(std::string_view path);
// True when the path names an existing folder.
bool FolderExists(std::string_view path);

// ---- Whole files ---------------------------------------------------------------

// Reads a whole file into bytes (open for reading, others denied nothing).
[[nodiscard]] int ReadFileBytes(std::string_view path, std::string& bytes);

// Creates or replaces a file with the bytes (open for writing, others
// denied writing). A read-only file is refused (kAccessDenied) on POSIX too,
// whoever runs the program.
[[nodiscard]] int WriteFileBytes(std::string_view path, std::string_view bytes);

// Deletes one file. A folder or a read-only file is refused
// (kAccessDenied), on POSIX whoever runs the program.
[[nodiscard]] int EraseFile(std::string_view path);

// Gives a file another name in the same folder, replacing a file of that
// name (in one step on POSIX).
[[nodiscard]] int RenameFile(std::string_view from, std::string_view to);

// Copies a file with its contents, its read-only attribute and its time of
// last writing. failIfExists refuses an existing target (kFileExists); a
// read-only target is refused (kAccessDenied).
[[nodiscard]] int CopyFileTo(std::string_view source, std::string_view target, bool failIfExists);

// ---- Attributes and times ------------------------------------------------------

// The Windows attribute bits. POSIX: read-only is a missing owner write bit;
// a name starting with "." is hidden; every plain file has the archive bit;
// a symbolic link adds kLink to what its target has.
namespace attr {
inline constexpr std::uint32_t kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04;
inline constexpr std::uint32_t kVolume = 0x08, kDirectory = 0x10, kArchive = 0x20;
inline constexpr std::uint32_t kAnyFile = 0x3F, kLink = 0x400;
}  // namespace attr

// 0 and the attributes, or the error number.
[[nodiscard]] int GetAttributes(std::string_view path, std::uint32_t& attributes);
// Sets the attributes; POSIX keeps only read-only (the owner write bit).
[[nodiscard]] int SetAttributes(std::string_view path, std::uint32_t attributes);

// File times count 100-nanosecond steps since 1601-01-01 UTC, as Windows
// keeps them.
[[nodiscard]] int GetWriteTime(std::string_view path, std::uint64_t& time);
[[nodiscard]] int SetWriteTime(std::string_view path, std::uint64_t time);
// 0 and the size in bytes, or the error number.
[[nodiscard]] int GetFileSize(std::string_view path, std::uint64_t& size);

// ---- Folder search -----------------------------------------------------------------

struct FoundEntry {
  std::string Name;          // the name within its folder
  std::uint32_t Attributes = 0;
  std::uint64_t Size = 0;
  std::uint64_t WriteTime = 0;
};

// True when a name matches a Windows wildcard pattern, letters compared
// without regard to case: "*" any run of characters, "?" one character (or
// none before a "." or at the end), ".*" at the end also matches a name
// without an extension, so "*.*" matches every name.
bool NameMatches(std::string_view pattern, std::string_view name);

// A search of one folder for the entries that match a pattern, as
// FindFirst/FindNext do: plain and read-only or archive entries always
// match; hidden, system, volume and folder entries only when their bits are
// in the attribute mask. "." and ".." are found like folders.
class DirSearch {
 public:
  DirSearch();
  ~DirSearch();
  DirSearch(const DirSearch&) = delete;
  DirSearch& operator=(const DirSearch&) = delete;

  // Starts a search for pattern (a folder and a name pattern, such as
  // "C:\DATA\*.*"); 0 and the first entry, kNoMoreFiles when nothing
  // matches, or the error number (kPathNotFound for a missing folder).
  [[nodiscard]] int First(std::string_view pattern, std::uint32_t mask, FoundEntry& entry);
  // 0 and the next entry, or kNoMoreFiles at the end.
  [[nodiscard]] int Next(FoundEntry& entry);
  // Ends the search; First may start another.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// ---- Folders -----------------------------------------------------------------------------

[[nodiscard]] int ChangeFolder(std::string_view path);
// kAlreadyExists when the name exists already.
[[nodiscard]] int MakeFolder(std::string_view path);
// An empty folder; kFolderNotEmpty when it holds entries. A symbolic link
// to a folder is removed itself, never what it leads to.
[[nodiscard]] int RemoveFolder(std::string_view path);

// Changes into a folder only when it is the user's own: it is not a
// symbolic link (Win32: not a reparse point) and, on POSIX, it belongs to
// the user running the program and no one else can put files into it (a
// folder that its group or everyone may write is refused unless the folder
// it lies in keeps others out). The test and the change are made on the
// same folder, so a name swapped in between cannot slip through. With
// foreign set (kAccessDenied returned) the current folder is unchanged;
// otherwise 0 or the error number of the change.
[[nodiscard]] int ChangeToOwnFolder(std::string_view path, bool& foreign);

// The current folder, absolute, without a trailing separator (except a
// root), written the Windows way ("C:\home\x" on POSIX).
std::string CurrentFolder();

// The private folder for temporary files, with its trailing separator; ""
// when there is none. Win32: the system's temporary path. POSIX: $TMPDIR
// when set, else the per-user folder of PrivateTempFolder under /tmp.
std::string TempPath();

#ifndef _WIN32
// The folder "tormex-<user id>" under the system folder base, as a system
// path with its trailing "/": created with mode 0700 when missing, narrowed
// to 0700 when wider. "" when it is a symbolic link, not a folder, or owned
// by another user: such a folder is never used.
std::string PrivateTempFolder(std::string_view base);
#endif

// ---- Drives ------------------------------------------------------------------------------

// Bit 0 for A: ... bit 25 for Z: for every present drive.
std::uint32_t LogicalDrives();

// The drive types of Windows.
namespace drive {
inline constexpr int kUnknown = 0, kNoRoot = 1, kRemovable = 2, kFixed = 3, kRemote = 4;
inline constexpr int kCdRom = 5, kRamDisk = 6;
}  // namespace drive

// The type of the drive of a root such as "C:\". POSIX: by the file system
// that holds the drive's folder (ISO 9660 and UDF a CD-ROM, network file
// systems remote, tmpfs and ramfs a RAM disk, others fixed).
int DriveType(std::string_view root);

// The volume label of a root such as "C:\", in Windows-1250; false when the
// system does not tell. POSIX: the folder of a configured drive (C: has none).
bool VolumeLabel(std::string_view root, std::string& label);

// Free bytes for the user on the drive of a root; 0 or the error number.
[[nodiscard]] int DiskFreeSpace(std::string_view root, std::uint64_t& bytes);

}  // namespace platform
