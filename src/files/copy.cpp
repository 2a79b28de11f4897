// Copying files and the size of a named file.
#include <cctype>

#include "console/console.h"
#include "files/files.h"
#include "files/internal.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace files {
namespace {

// An I/O error that no result reports ends the program with its number.
void Check(int rc) {
  if (rc != 0) console::EndProgram(rc);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

CopyResult CopyFileBlocks(std::string_view source, std::string_view target) {
  std::unique_ptr<platform::File> in = platform::NewFile(), out = platform::NewFile();
  if (in->Open(detail::Cut(source), platform::share::kReading) != 0) return CopyResult::kSourceNotOpened;
  if (out->Create(detail::Cut(target), platform::share::kWriting) != 0) return CopyResult::kTargetNotCreated;
  int copied = platform::CopyContents(*in, *out);
  bool full = copied == platform::error::kDiskFull;
  if (!full) Check(copied);
  std::uint64_t time = 0;
  Check(in->GetWriteTime(time));
  Check(out->SetWriteTime(time));
  Check(in->Close());
  Check(out->Close());
  return full ? CopyResult::kDiskFull : CopyResult::kCopied;
}

bool CopyFileSystem(std::string_view source, std::string_view target) {
  return platform::CopyFileTo(detail::Cut(source), detail::Cut(target), false) == 0;
}

std::uint32_t FileSizeByName(std::string_view pathName) {
  std::string path = detail::Cut(pathName);
  const std::string_view name = platform::FilePart(path);
  platform::DirSearch search;
  platform::FoundEntry entry;
  for (int rc = search.First(path, platform::attr::kSystem, entry); rc == 0; rc = search.Next(entry))
    if (SameIgnoringCase(entry.Name, name)) return static_cast<std::uint32_t>(entry.Size);
  return 0;
}

}  // namespace files
