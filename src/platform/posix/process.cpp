// Child programs on POSIX, started the way Windows starts them (process.h).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/posix/fs_internal.h"
#include "platform/process.h"
#include "platform/process_internal.h"
#include "platform/sysinfo.h"
#include "platform/text_internal.h"

extern char** environ;

namespace platform {
namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file of a program word, tried as written and, without an extension,
// with ".exe"; "" when neither exists.
std::string FileOfName(const std::string& name) {
  std::string path = ResolvePath(name);
  if (IsFile(path)) return path;
  if (FilePart(name).find('.') != std::string_view::npos) return {};
  path = ResolvePath(name + ".exe");
  return IsFile(path) ? path : std::string();
}

// The file that CreateProcessA would start for the program word.
std::string FindProgram(const std::string& word) {
  if (word.find_first_of("\\/:") != std::string::npos) {
    std::string found = FileOfName(word);
    return found.empty() ? ResolvePath(word) : found;
  }
  std::string folders = ProgramFolder() + ":.";
  if (const char* path = std::getenv("PATH")) folders += std::string(":") + path;
  std::size_t start = 0;
  while (start <= folders.size()) {
    std::size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    std::string found = FileOfName((folder.empty() ? std::string(".") : folder) + "/" + word);
    if (!found.empty()) return found;
    start = end + 1;
  }
  return word;
}

// True for a file named *.bat (any letter case): a batch file, which the
// command interpreter runs (POSIX: /bin/sh).
bool IsBatchFile(const std::string& path) {
  return path.size() >= 4 && detail::SameIgnoringCase(path.substr(path.size() - 4), ".bat");
}

// A file named as a Windows program gets its owner's execute bit.
void GrantExecute(const std::string& path) {
  struct stat st;
  if (!posix::IsProgramName(path) || stat(path.c_str(), &st) != 0 || (st.st_mode & S_IXUSR)) return;
  chmod(path.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

// While a child runs, Ctrl+C and Ctrl+\ from the terminal reach the child
// only; the child starts with their default actions unless the parent
// ignored them before.
class ChildSignals {
 public:
  ChildSignals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &oldInt_);
    sigaction(SIGQUIT, &ignore, &oldQuit_);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigemptyset(&none);
    if (oldInt_.sa_handler != SIG_IGN) sigaddset(&defaults, SIGINT);
    if (oldQuit_.sa_handler != SIG_IGN) sigaddset(&defaults, SIGQUIT);
    posix_spawnattr_init(&attributes_);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }
  ~ChildSignals() {
    posix_spawnattr_destroy(&attributes_);
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGQUIT, &oldQuit_, nullptr);
  }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  struct sigaction oldInt_ {}, oldQuit_ {};
  posix_spawnattr_t attributes_;
};

int Spawn(const std::string& path, const std::vector<std::string>& words,
          const ChildSignals& signals, pid_t& pid) {
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  return posix_spawn(&pid, path.c_str(), nullptr, signals.Attributes(), argv.data(), environ);
}

// Starts the file with the words (words[0] is the child's argument 0) and
// waits for it. A file that is no program for the system (no binary, no
// "#!" line, an empty file) does not start: kBadProgram, never a shell.
int RunFile(const std::string& path, const std::vector<std::string>& words, std::uint32_t& exitCode) {
  ChildSignals signals;
  pid_t pid = 0;
  if (int rc = Spawn(path, words, signals, pid); rc != 0) return posix::ErrorNumber(rc, path);
  int status = 0;
  pid_t done;
  while ((done = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (done < 0) exitCode = 0xFFFFFFFF;
  else if (WIFEXITED(status)) exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
  else if (WIFSIGNALED(status)) exitCode = 128 + static_cast<std::uint32_t>(WTERMSIG(status));
  else exitCode = 0xFFFFFFFF;
  return 0;
}

std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

using detail::SameIgnoringCase;

void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

int StartAndWait(std::string_view program, std::string_view arguments, std::uint32_t& exitCode) {
  std::vector<std::string> words = SplitCommandLine(ProgramCommandLine(program, arguments));
  if (words[0].empty()) return error::kFileNotFound;
  std::string path = FindProgram(words[0]);
  GrantExecute(path);
  if (IsBatchFile(path)) {  // its interpreter runs it, as on Windows
    words[0] = path;
    words.insert(words.begin(), "sh");
    return RunFile("/bin/sh", words, exitCode);
  }
  return RunFile(path, words, exitCode);
}

int RunCommand(std::string_view command, std::uint32_t& exitCode) {
  std::string comspec = GetEnvironment("comspec");
  if (!comspec.empty()) return StartAndWait(comspec, "/c " + std::string(command), exitCode);
  std::size_t i = command.find_first_not_of(" \t");
  if (i == std::string_view::npos) i = command.size();
  std::string text(command.substr(i));
  std::size_t end = 0;
  std::string first = detail::ProgramWord(text, end);
  std::string path = first.empty() ? std::string() : ResolvePath(first);
  if (IsFile(path)) {
    GrantExecute(path);
    text = ShellQuote(path[0] == '/' ? path : "./" + path) + text.substr(end);
  }
  return RunFile("/bin/sh", {"sh", "-c", text}, exitCode);
}

std::string GetEnvironment(std::string_view name) {
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view item(*entry);
    std::size_t equals = item.find('=');
    if (equals != std::string_view::npos && SameIgnoringCase(item.substr(0, equals), name))
      return std::string(item.substr(equals + 1));
  }
  return {};
}

bool ShellOpen(std::string_view file, std::string_view) {
  if (posix::FindInPath("xdg-open").empty()) return false;
  std::string path = ResolvePath(file);
  if (!posix::Exists(path)) path = std::string(file);  // a web address, say
  std::uint32_t code = 0;
  int rc = RunFile("/bin/sh", {"sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", path}, code);
  return rc == 0 && code == 0;
}

void PauseOnPlainConsole(std::string_view prompt, bool newLineFirst) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  struct termios saved;
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    return;
  }
  WriteAll(fd, std::string("\x1b[25;1H") + (newLineFirst ? "\x1b[K\r\n" : "") + Cp852ToUtf8(prompt));
  struct termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &raw);
  char key[64];
  while (read(fd, key, 1) < 0 && errno == EINTR) {
  }
  raw.c_cc[VMIN] = 0;  // the rest of a key's sequence, sent with it
  raw.c_cc[VTIME] = 1;
  tcsetattr(fd, TCSANOW, &raw);
  while (read(fd, key, sizeof key) > 0) {
  }
  tcsetattr(fd, TCSANOW, &saved);
  close(fd);
}

}  // namespace platform
