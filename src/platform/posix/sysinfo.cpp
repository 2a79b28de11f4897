// The machine's name, the system version and the program's own path on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/posix/fs_internal.h"
#include "platform/sysinfo.h"

namespace platform {
namespace {

std::string g_programPath;  // fixed by SetProgramArgs

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// An absolute form of a path relative to the current folder, "." and ".."
// taken out by the text alone (links are not followed).
std::string Absolute(const std::string& path) {
  std::filesystem::path p(path);
  std::error_code ec;
  if (p.is_relative()) p = std::filesystem::current_path(ec) / p;
  return p.lexically_normal().string();
}

}  // namespace

namespace posix {

std::string FindInPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "";
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

}  // namespace posix

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  std::string s(name);
  s = s.substr(0, s.find('.')).substr(0, 15);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

int ProcessId() { return static_cast<int>(getpid()); }

int OsMajorVersion() { return 0; }

void SetProgramArgs(int argc, char** argv) {
  signal(SIGXFSZ, SIG_IGN);  // a write past the file-size limit fails (EFBIG) as on a full disk
  if (argc < 1 || !argv || !argv[0] || !*argv[0]) return;
  std::string arg0 = argv[0];
  std::string found = arg0.find('/') == std::string::npos ? posix::FindInPath(arg0) : "";
  g_programPath = Absolute(found.empty() ? arg0 : found);
}

std::string ProgramPath() {
  if (!g_programPath.empty()) return g_programPath;
  std::error_code ec;
  return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

}  // namespace platform
