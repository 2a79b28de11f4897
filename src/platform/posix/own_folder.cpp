// Entering a folder only when it is the user's own (fs.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs.h"
#include "platform/posix/fs_internal.h"

namespace platform {

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
  else if (st.st_uid != geteuid())
    foreign = true, error = 5;
  else if (fchdir(fd) != 0)
    error = posix::ErrorNumber(errno, p);
  close(fd);
  return error;
}

}  // namespace platform
