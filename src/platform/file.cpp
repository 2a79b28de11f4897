// The maker of files that NewFile calls, its guard, and copying between
// open files.
#include "platform/file.h"

#include <vector>

namespace platform {
namespace {

FileMakerGuard::Maker& InstalledMaker() {
  static FileMakerGuard::Maker maker;
  return maker;
}

}  // namespace

FileCalls& FileCallCount() {
  static FileCalls calls;
  return calls;
}

int CopyContents(File& from, File& to) {
  std::vector<char> buffer(65536);
  for (std::int64_t at = 0;;) {
    std::size_t got = 0, written = 0;
    if (int rc = from.ReadAt(at, buffer.data(), buffer.size(), got)) return rc;
    if (got == 0) return error::kNone;
    if (int rc = to.WriteAt(at, buffer.data(), got, written)) return rc;
    if (written < got) return error::kDiskFull;
    at += static_cast<std::int64_t>(got);
  }
}

std::unique_ptr<File> NewFile() {
  const FileMakerGuard::Maker& maker = InstalledMaker();
  return maker ? maker() : NewSystemFile();
}

FileMakerGuard::FileMakerGuard(Maker maker) : ScopedValue(InstalledMaker(), std::move(maker)) {}

}  // namespace platform
