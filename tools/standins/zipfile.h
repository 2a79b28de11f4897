// The zip reading that the stand-in unpacker and installer share: the
// entries of an archive (stored or deflated), each checked against its CRC,
// written out as files under a folder.
//
// Entry names are taken as relative paths with "/" between folders. A name
// that would leave the folder (absolute, with a drive, or with a ".." part)
// is refused and nothing of it is written.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace standins {

struct ExtractResult {
  bool Ok = false;
  std::vector<std::string> Errors;   // one line per failure (UTF-8)
  std::vector<std::string> Written;  // the files written, in archive order
};

// Extracts every entry of the archive into folder. An existing file is
// replaced only when overwrite is set (it is removed first, so a running
// program can be replaced where the system allows it); otherwise it is an
// error. An entry that cannot be written is reported and the others are
// still extracted; an archive that cannot be read stops at once.
ExtractResult ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder,
                         bool overwrite);

// Writes a UTF-8 line to standard output or error, in the code page the
// console shows (Win32: code page 852; POSIX: unchanged).
void Say(const std::string& utf8Line, bool error = false);

// Appends one line to the file that the environment variable
// TORMEX_STANDIN_LOG names, when it names one: how a test sees which
// stand-in the updater ran, in which folder and in which order.
void LogRun(const std::string& line);

}  // namespace standins
