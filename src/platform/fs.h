// Files and folders, named by Windows-style paths.
//
// The library names files as Windows does: "\" and "/" both separate, a path
// may start with a drive letter, and letter case does not matter. Win32 hands
// paths to the system unchanged. POSIX turns them into its own paths through
// ResolvePath first; every operation here does that itself.
//
// Failures are reported as the Windows system error numbers that the
// run-time library also uses (2 file not found, 3 path not found, 4 too many
// open files, 5 access denied, 112 disk full...); 0 is success.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// The path the system opens for a Windows-style path. Win32: unchanged.
// POSIX:
//  - "\" becomes "/";
//  - a drive letter goes through the drive table: drive X is the folder named
//    by the variable TORMEX_DRIVE_X; C: is "/" when that is not set; any
//    other drive without a folder gives "" (which names no file);
//  - each part of the path that does not exist as spelled is looked up in
//    its folder without regard to letter case (ASCII letters), and the name
//    found is used; a part found neither way stays as spelled, so a file
//    can be created under it.
std::string ResolvePath(std::string_view path);

// True when the path names an existing file (not a folder).
bool FileExists(std::string_view path);

// Reads a whole file into bytes; 0 or the error number.
int ReadFileBytes(std::string_view path, std::string& bytes);

// Creates or replaces a file with the bytes; 0 or the error number. A
// read-only file is refused (5) on POSIX too, whoever runs the program.
int WriteFileBytes(std::string_view path, std::string_view bytes);

// The current folder, absolute, without a trailing separator (except a root).
std::string CurrentFolder();

}  // namespace platform
