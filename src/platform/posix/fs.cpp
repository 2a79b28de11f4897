// Files named by Windows-style paths on POSIX.
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/file.h"
#include "platform/posix/fs_internal.h"
#include "platform/text_internal.h"

namespace platform {
namespace posix {

bool DriveRoot(char letter, std::string& root) {
  std::string variable = std::string("TORMEX_DRIVE_") + letter;
  const char* value = std::getenv(variable.c_str());
  if (value && *value) {
    root = value;
  } else if (letter == 'C') {
    root = "/";
  } else {
    return false;
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root == "/") root.clear();
  return true;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsDiskFull(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

int ErrorNumber(int error, const std::string& path) {
  if (IsDiskFull(error)) return error::kDiskFull;
  switch (error) {
    case ENOENT: {
      if (path.empty()) return error::kPathNotFound;  // a drive without a folder
      std::size_t slash = path.find_last_of('/');
      std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
      return Exists(folder) ? error::kFileNotFound : error::kPathNotFound;
    }
    case ENOTDIR: return error::kPathNotFound;
    case EMFILE: case ENFILE: return error::kTooManyOpenFiles;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: return error::kAccessDenied;
    case ENOEXEC: return error::kBadProgram;
    case EEXIST: return error::kAlreadyExists;
    case ENOTEMPTY: return error::kFolderNotEmpty;
    case ENAMETOOLONG: return error::kNameTooLong;
    default: return error::kGeneralFailure;
  }
}

int RefuseUnwritable(const struct stat& st) {
  return S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR) ? error::kAccessDenied : error::kNone;
}

int SetWriteTimeOf(int fd, const std::string& path, std::uint64_t time) {
  std::int64_t seconds;
  long nanoseconds;
  UnixTimeOf(time, seconds, nanoseconds);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the time of last access stays
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = nanoseconds;
  int rc = fd >= 0 ? futimens(fd, times) : utimensat(AT_FDCWD, path.c_str(), times, 0);
  return rc == 0 ? error::kNone : ErrorNumber(errno, path);
}

std::uint64_t FileTimeOf(std::int64_t seconds, long nanoseconds) {
  constexpr std::int64_t kEpochDifference = 11644473600LL;  // 1601 -> 1970
  return static_cast<std::uint64_t>((seconds + kEpochDifference) * 10000000LL + nanoseconds / 100);
}

void UnixTimeOf(std::uint64_t fileTime, std::int64_t& seconds, long& nanoseconds) {
  constexpr std::int64_t kEpochDifference = 11644473600LL;
  seconds = static_cast<std::int64_t>(fileTime / 10000000ULL) - kEpochDifference;
  nanoseconds = static_cast<long>(fileTime % 10000000ULL) * 100;
}

bool AttributesOf(const std::string& path, std::string_view name, std::uint32_t& attributes,
                  std::uint64_t& size, std::uint64_t& writeTime) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= attr::kLink;
    struct stat target;
    if (stat(path.c_str(), &target) == 0) st = target;  // a broken link stays a file
  }
  if (S_ISDIR(st.st_mode)) attributes |= attr::kDirectory;
  else attributes |= attr::kArchive;
  if (!(st.st_mode & S_IWUSR)) attributes |= attr::kReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= attr::kHidden;
  size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  writeTime = FileTimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return true;
}

bool IsProgramName(std::string_view name) {
  if (name.size() < 4 || name[name.size() - 4] != '.') return false;
  std::string ext;
  for (char c : name.substr(name.size() - 3))
    ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "exe" || ext == "com" || ext == "bat";
}

}  // namespace posix

namespace {

using posix::ErrorNumber;
using posix::Exists;

using detail::SameIgnoringCase;

// The name in folder that equals name without regard to letter case; "" when none.
std::string FindIgnoringCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (SameIgnoringCase(entry->d_name, name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Each part of a "/"-separated path, taken as spelled when it exists and
// otherwise as the first entry of its folder that matches it without regard
// to case.
std::string MatchCase(const std::string& path) {
  std::string out = !path.empty() && path[0] == '/' ? "/" : "";
  bool missing = false;  // below a missing part nothing exists
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    std::string candidate = Join(out, part);
    if (!missing && part != "." && part != ".." && !Exists(candidate)) {
      std::string found = FindIgnoringCase(out, part);
      if (found.empty()) missing = true;
      else candidate = Join(out, found);
    }
    out = candidate;
  }
  if (path.size() > 1 && path.back() == '/' && !out.empty() && out.back() != '/') out += '/';
  return out;
}

int Stat(std::string_view path, struct stat& st, std::string& p) {
  p = ResolvePath(path);
  return stat(p.c_str(), &st) == 0 ? error::kNone : ErrorNumber(errno, p);
}

}  // namespace

std::string ResolvePath(std::string_view path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    std::string root;
    if (!posix::DriveRoot(static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))), root))
      return {};
    std::string rest = p.substr(2);
    if (rest.empty()) p = root.empty() ? "/" : root;
    else p = root + (rest[0] != '/' ? "/" : "") + rest;
  }
  return MatchCase(p);
}

bool FileExists(std::string_view path) {
  struct stat st;
  std::string p = ResolvePath(path);
  return !p.empty() && stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(std::string_view path) {
  struct stat st;
  std::string p = ResolvePath(path);
  return !p.empty() && stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int EraseFile(std::string_view path) {
  std::string p = ResolvePath(path);
  struct stat st;
  if (p.empty() || lstat(p.c_str(), &st) != 0) return ErrorNumber(errno, p);
  if (!S_ISLNK(st.st_mode))
    if (int rc = posix::RefuseUnwritable(st)) return rc;
  if (posix::InUse(p)) return error::kSharingViolation;
  return unlink(p.c_str()) == 0 ? error::kNone : ErrorNumber(errno, p);
}

int RenameFile(std::string_view from, std::string_view to) {
  std::string source = ResolvePath(from), target = ResolvePath(to);
  if (source.empty() || target.empty()) return error::kPathNotFound;
  if (posix::InUse(source)) return error::kSharingViolation;
  if (posix::InUse(target)) return error::kAccessDenied;  // an open file is not replaced
  return rename(source.c_str(), target.c_str()) == 0 ? error::kNone : ErrorNumber(errno, source);
}

int CopyFileTo(std::string_view source, std::string_view target, bool failIfExists) {
  if (failIfExists && Exists(ResolvePath(target))) return error::kFileExists;
  std::uint32_t attributes = 0;
  std::uint64_t time = 0;
  std::unique_ptr<File> in = NewFile(), out = NewFile();
  if (int rc = in->Open(source, share::kReading)) return rc;
  if (int rc = GetAttributes(source, attributes)) return rc;
  if (int rc = in->GetWriteTime(time)) return rc;
  if (int rc = out->Create(target, share::kWriting)) return rc;
  if (int rc = CopyContents(*in, *out)) return rc;
  if (int rc = out->SetWriteTime(time)) return rc;
  if (int rc = out->Close()) return rc;
  return SetAttributes(target, attributes & attr::kReadOnly);
}

int GetAttributes(std::string_view path, std::uint32_t& attributes) {
  std::string p = ResolvePath(path);
  std::size_t slash = p.find_last_of('/');
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  std::uint64_t size, time;
  return posix::AttributesOf(p, name, attributes, size, time) ? error::kNone : ErrorNumber(errno, p);
}

int SetAttributes(std::string_view path, std::uint32_t attributes) {
  struct stat st;
  std::string p;
  if (int rc = Stat(path, st, p)) return rc;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & attr::kReadOnly) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  return chmod(p.c_str(), mode) == 0 ? error::kNone : ErrorNumber(errno, p);
}

int GetWriteTime(std::string_view path, std::uint64_t& time) {
  struct stat st;
  std::string p;
  if (int rc = Stat(path, st, p)) return rc;
  time = posix::FileTimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  return 0;
}

int SetWriteTime(std::string_view path, std::uint64_t time) {
  std::string p = ResolvePath(path);
  return posix::SetWriteTimeOf(-1, p, time);
}

int GetFileSize(std::string_view path, std::uint64_t& size) {
  struct stat st;
  std::string p;
  if (int rc = Stat(path, st, p)) return rc;
  if (S_ISDIR(st.st_mode)) return error::kAccessDenied;
  size = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

// ---- Folders ---------------------------------------------------------------------

int ChangeFolder(std::string_view path) {
  std::string p = ResolvePath(path);
  if (p.empty()) return error::kPathNotFound;
  return chdir(p.c_str()) == 0 ? error::kNone : ErrorNumber(errno, p);
}

int MakeFolder(std::string_view path) {
  std::string p = ResolvePath(path);
  if (p.empty()) return error::kPathNotFound;
  return mkdir(p.c_str(), 0777) == 0 ? error::kNone : ErrorNumber(errno, p);
}

int RemoveFolder(std::string_view path) {
  std::string p = ResolvePath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (p.empty() || lstat(p.c_str(), &st) != 0) return ErrorNumber(errno, p);
  if (S_ISLNK(st.st_mode)) {
    struct stat target;
    if (stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return error::kNotAFolder;
    return unlink(p.c_str()) == 0 ? error::kNone : ErrorNumber(errno, p);
  }
  if (!S_ISDIR(st.st_mode)) return error::kNotAFolder;
  return rmdir(p.c_str()) == 0 ? error::kNone : ErrorNumber(errno, p);
}

}  // namespace platform
