// Folder search with Windows wildcards and attribute masks on POSIX.
//
// A search reads the folder's names once, at First, sorted as NTFS lists
// them (by their upper-case form); each entry's attributes are read when
// Next reaches it, so entries deleted during the search are passed over.
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "platform/fs.h"
#include "platform/posix/fs_internal.h"

namespace platform {
namespace {

char Fold(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Splits "folder\pattern" at its last separator (or a drive's colon).
void SplitPattern(std::string_view full, std::string& folder, std::string& pattern) {
  std::size_t cut = full.find_last_of("\\/");
  if (cut == std::string_view::npos && full.size() >= 2 && full[1] == ':') cut = 1;
  if (cut == std::string_view::npos) {
    folder = ".";
    pattern = std::string(full);
    return;
  }
  folder = std::string(full.substr(0, cut + 1));
  pattern = std::string(full.substr(cut + 1));
}

}  // namespace

struct DirSearch::Impl {
  std::string Folder;  // system path, ending in "/"
  std::string Pattern;
  std::uint32_t Excluded = 0;  // the special bits that the mask leaves out
  std::vector<std::string> Names;
  std::size_t Next = 0;
};

DirSearch::DirSearch() = default;
DirSearch::~DirSearch() = default;

int DirSearch::First(std::string_view pattern, std::uint32_t mask, FoundEntry& entry) {
  Close();
  auto impl = std::make_unique<Impl>();
  std::string folder;
  SplitPattern(pattern, folder, impl->Pattern);
  impl->Folder = ResolvePath(folder);
  if (impl->Folder.empty()) return error::kPathNotFound;
  if (impl->Folder.back() != '/') impl->Folder += '/';
  impl->Excluded = ~mask & (attr::kHidden | attr::kSystem | attr::kVolume | attr::kDirectory);
  DIR* dir = opendir(impl->Folder.c_str());
  if (!dir) return errno == ENOENT || errno == ENOTDIR ? error::kPathNotFound : posix::ErrorNumber(errno, impl->Folder);
  while (dirent* d = readdir(dir))
    if (NameMatches(impl->Pattern, d->d_name)) impl->Names.emplace_back(d->d_name);
  closedir(dir);
  std::sort(impl->Names.begin(), impl->Names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Fold(x) < Fold(y); });
  });
  impl_ = std::move(impl);
  return Next(entry);
}

int DirSearch::Next(FoundEntry& entry) {
  if (!impl_) return error::kNoMoreFiles;
  while (impl_->Next < impl_->Names.size()) {
    const std::string& name = impl_->Names[impl_->Next++];
    FoundEntry found;
    if (!posix::AttributesOf(impl_->Folder + name, name, found.Attributes, found.Size,
                             found.WriteTime))
      continue;  // gone since the search started
    if (found.Attributes & impl_->Excluded) continue;
    found.Name = name;
    entry = std::move(found);
    return 0;
  }
  return error::kNoMoreFiles;
}

void DirSearch::Close() { impl_.reset(); }

}  // namespace platform
