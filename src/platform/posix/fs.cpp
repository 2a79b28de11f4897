// Files named by Windows-style paths on POSIX.
#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {
namespace {

// The folder of a drive (upper-case letter) without a trailing "/", "" for
// the root; false when the drive has no folder.
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

bool SameIgnoringCase(const char* a, const std::string& b) {
  std::size_t i = 0;
  for (; a[i] && i < b.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return !a[i] && i == b.size();
}

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

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
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

// The Windows error number for a failed system call on path.
int ErrorNumber(int error, const std::string& path) {
  switch (error) {
    case ENOENT: {
      if (path.empty()) return 3;  // a drive without a folder
      std::size_t slash = path.find_last_of('/');
      std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
      return Exists(folder) ? 2 : 3;
    }
    case ENOTDIR: return 3;
    case EMFILE: case ENFILE: return 4;
    case EACCES: case EPERM: case EROFS: case EISDIR: case ETXTBSY: return 5;
    case ENOSPC: case EDQUOT: case EFBIG: return 112;
    case ENAMETOOLONG: return 206;
    default: return 31;
  }
}

}  // namespace

std::string ResolvePath(std::string_view path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    std::string root;
    if (!DriveRoot(static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))), root))
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

int ReadFileBytes(std::string_view path, std::string& bytes) {
  bytes.clear();
  std::string p = ResolvePath(path);
  int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrorNumber(errno, p);
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return 5;
  }
  char buffer[65536];
  int result = 0;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result = ErrorNumber(errno, p);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return result;
}

int WriteFileBytes(std::string_view path, std::string_view bytes) {
  std::string p = ResolvePath(path);
  struct stat st;
  if (!p.empty() && stat(p.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !(st.st_mode & S_IWUSR)))
    return 5;
  int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return ErrorNumber(errno, p);
  int result = 0;
  for (std::size_t done = 0; done < bytes.size() && result == 0;) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) result = n < 0 ? ErrorNumber(errno, p) : 112;
    else done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0 && result == 0) result = ErrorNumber(errno, p);
  return result;
}

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

}  // namespace platform
