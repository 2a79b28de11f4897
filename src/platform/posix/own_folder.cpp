// Entering a folder only when it is the user's own (fs.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/posix/fs_internal.h"

namespace platform {

namespace {

// True when others than the user can put files into the folder: it lets
// everyone write, or its group when that is not the user's own group (a
// umask of 002 with a group per user makes folders group-writable for the
// user alone), and the folder it lies in lets others reach it (it is not
// the user's own, or lets its group or everyone search it). A folder that
// only the user can reach is private whatever its own mode.
bool OthersCanWrite(int fd, const struct stat& folder) {
  bool groupOfOthers = (folder.st_mode & S_IWGRP) && folder.st_gid != getegid();
  if (!(folder.st_mode & S_IWOTH) && !groupOfOthers) return false;
  struct stat parent;
  if (fstatat(fd, "..", &parent, 0) != 0) return true;
  return parent.st_uid != geteuid() || (parent.st_mode & (S_IXGRP | S_IXOTH));
}

}  // namespace

// The folder is opened without following a link in its last part, checked
// through that descriptor and entered through it (fchdir), so what is
// checked is what is entered.
int ChangeToOwnFolder(std::string_view path, bool& foreign) {
  foreign = false;
  std::string p = ResolvePath(path);
  if (p.empty()) return error::kPathNotFound;
  int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    struct stat st;
    foreign = errno == ELOOP || (lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    return foreign ? error::kAccessDenied : posix::ErrorNumber(errno, p);
  }
  struct stat st;
  int error = 0;
  if (fstat(fd, &st) != 0)
    error = posix::ErrorNumber(errno, p);
  else if (st.st_uid != geteuid() || OthersCanWrite(fd, st))
    foreign = true, error = error::kAccessDenied;
  else if (fchdir(fd) != 0)
    error = posix::ErrorNumber(errno, p);
  close(fd);
  return error;
}

}  // namespace platform
