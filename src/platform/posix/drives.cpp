// The drive table, the current and temporary folders and the drives'
// types, labels and free space on POSIX.
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/posix/fs_internal.h"

namespace platform {
namespace {

// The drive's folder when the drive is present (its folder exists); "/"
// for the root.
bool PresentRoot(char letter, std::string& root) {
  if (!posix::DriveRoot(letter, root)) return false;
  if (root.empty()) root = "/";
  struct stat st;
  return stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The present drive of a root such as "D:\" or "d:"; false when none.
bool RootFolder(std::string_view root, std::string& folder) {
  if (root.size() < 2 || root[1] != ':' || !std::isalpha(static_cast<unsigned char>(root[0])))
    return false;
  return PresentRoot(static_cast<char>(std::toupper(static_cast<unsigned char>(root[0]))), folder);
}

}  // namespace

std::string WindowsPath(std::string_view systemPath) {
  std::string path(systemPath);
  if (path.empty() || path[0] != '/') return path;
  char best = 0;
  std::size_t bestLength = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::string root;
    if (!posix::DriveRoot(letter, root)) continue;
    bool holds = root.empty() || path == root || path.rfind(root + "/", 0) == 0;
    if (holds && (!best || root.size() > bestLength)) {
      best = letter;
      bestLength = root.size();
    }
  }
  if (!best) return path;
  std::string rest = path.substr(bestLength);
  for (char& c : rest)
    if (c == '/') c = '\\';
  if (rest.empty() || rest[0] != '\\') rest.insert(rest.begin(), '\\');
  return std::string(1, best) + ":" + rest;
}

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? WindowsPath(buffer) : std::string();
}

std::string PrivateTempFolder(std::string_view base) {
  std::string folder = std::string(base);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  folder += "/tormex-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
    return {};
  if ((st.st_mode & 077) && chmod(folder.c_str(), 0700) != 0) return {};
  return folder + "/";
}

std::string TempPath() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string folder = tmpdir && *tmpdir ? std::string(tmpdir) : PrivateTempFolder("/tmp");
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  return WindowsPath(folder);
}

std::uint32_t LogicalDrives() {
  std::uint32_t mask = 0;
  for (int i = 0; i < 26; ++i) {
    std::string root;
    if (PresentRoot(static_cast<char>('A' + i), root)) mask |= 1u << i;
  }
  return mask;
}

int DriveType(std::string_view root) {
  std::string folder;
  if (!RootFolder(root, folder)) return drive::kNoRoot;
  struct statfs fs;
  if (statfs(folder.c_str(), &fs) != 0) return drive::kUnknown;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9660: case 0x15013346: return drive::kCdRom;             // ISO 9660, UDF
    case 0x6969: case 0x517B: case 0xFF534D42: case 0xFE534D42:      // NFS, SMB, CIFS, SMB2
    case 0x73757245: case 0x564C: return drive::kRemote;            // Coda, NCP
    case 0x01021994: case 0x858458F6: return drive::kRamDisk;       // tmpfs, ramfs
    default: return drive::kFixed;
  }
}

bool VolumeLabel(std::string_view root, std::string& label) {
  label.clear();
  std::string folder;
  if (!RootFolder(root, folder)) return false;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
  std::string variable = std::string("TORMEX_DRIVE_") + letter;
  const char* value = std::getenv(variable.c_str());
  if (!value || !*value) return false;
  label = OemToAnsi(Utf8ToCp852(folder));
  return true;
}

int DiskFreeSpace(std::string_view root, std::uint64_t& bytes) {
  bytes = 0;
  std::string folder = ResolvePath(root);
  if (folder.empty()) return error::kPathNotFound;
  struct statvfs fs;
  if (statvfs(folder.c_str(), &fs) != 0) return posix::ErrorNumber(errno, folder);
  bytes = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  return 0;
}

}  // namespace platform
