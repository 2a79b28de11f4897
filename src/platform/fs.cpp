// The parts of the file layer that are the same on every system.
#include <cctype>

#include "platform/file.h"
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
  std::unique_ptr<File> file = NewFile();
  std::int64_t size = 0;
  std::size_t got = 0;
  if (int rc = file->Open(path, share::kReading)) return rc;
  if (int rc = file->Size(size)) return rc;
  bytes.resize(static_cast<std::size_t>(size));
  int rc = file->ReadAt(0, bytes.data(), bytes.size(), got);
  bytes.resize(got);
  return rc;
}

int WriteFileBytes(std::string_view path, std::string_view bytes) {
  std::unique_ptr<File> file = NewFile();
  if (int rc = file->Create(path, share::kWriting)) return rc;
  std::size_t written = 0;
  int rc = file->WriteAt(0, bytes.data(), bytes.size(), written);
  if (rc == error::kNone && written < bytes.size()) rc = error::kDiskFull;
  int closed = file->Close();
  return rc ? rc : closed;
}

}  // namespace platform
