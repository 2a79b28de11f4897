// Taking a Windows-style path apart, and putting one together: "\" and "/"
// both separate, and "X:" before the rest names a drive (platform/fs.h).
// Pure text: nothing here looks at the disk.
//
//   path                  FolderPart          FilePart   Extension
//   "C:\SZAMLA\p.exe"     "C:\SZAMLA"         "p.exe"    ".exe"
//   "C:\p.exe"            "C:\"  (the root)   "p.exe"    ".exe"
//   "C:p.exe"             "C:"                "p.exe"    ".exe"
//   "\\gep\oszt\p.exe"    "\\gep\oszt"        "p.exe"    ".exe"
//   "/home/x/p"           "/home/x"           "p"        ""
//   "p.exe"               ""                  "p.exe"    ".exe"
//   "C:\SZAMLA\"          "C:\SZAMLA"         ""         ""
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// "\" or "/".
constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Where the file part starts: just after the last separator or drive colon
// (0 when there is none).
std::size_t FilePartStart(std::string_view path);

// Everything after the last separator or drive colon.
std::string_view FilePart(std::string_view path);

// The folder that holds the file part, as a folder to change into: the
// text before the file part without its final separator, except where that
// separator is a root's ("C:\", "\", "\\"): a file in a drive's root lies
// in "C:\", not in "C:" (the drive's current folder). "" when the path has
// no folder.
std::string FolderPart(std::string_view path);

// The file part's extension from its last "." on ("" when it has none).
std::string_view Extension(std::string_view path);

// name in folder: one "\" between them unless folder is empty or already
// ends in a separator or a drive colon ("C:\" + "x" = "C:\x", "C:" + "x" =
// "C:x").
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace platform
