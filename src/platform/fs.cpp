// The parts of the file layer that are the same on every system.
#include <cctype>

#include "platform/fs.h"

namespace platform {
namespace {

char Fold(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool OnlyStars(std::string_view s) { return s.find_first_not_of('*') == std::string_view::npos; }

}  // namespace

bool NameMatches(std::string_view p, std::string_view n) {
  if (p.empty()) return n.empty();
  switch (p[0]) {
    case '*':
      for (std::size_t k = 0; k <= n.size(); ++k)
        if (NameMatches(p.substr(1), n.substr(k))) return true;
      return false;
    case '?':
      if (!n.empty() && NameMatches(p.substr(1), n.substr(1))) return true;
      return (n.empty() || n[0] == '.') && NameMatches(p.substr(1), n);
    case '.':
      if (n.empty() && OnlyStars(p.substr(1))) return true;  // "x.*" and "x." match "x"
      break;
  }
  return !n.empty() && Fold(p[0]) == Fold(n[0]) && NameMatches(p.substr(1), n.substr(1));
}

int ReadFileBytes(std::string_view path, std::string& bytes) {
  bytes.clear();
  FileHandle file;
  if (int rc = file.OpenRead(path)) return rc;
  char buffer[65536];
  for (;;) {
    std::size_t got = 0;
    if (int rc = file.Read(buffer, sizeof buffer, got)) return rc;
    if (got == 0) return 0;
    bytes.append(buffer, got);
  }
}

int WriteFileBytes(std::string_view path, std::string_view bytes) {
  FileHandle file;
  if (int rc = file.Create(path)) return rc;
  std::size_t written = 0;
  int rc = file.Write(bytes.data(), bytes.size(), written);
  if (rc == 0 && written < bytes.size()) rc = 112;  // ERROR_DISK_FULL
  int closed = file.Close();
  return rc ? rc : closed;
}

}  // namespace platform
