// dbcheck index: the whole file read as it is and given to the engine's
// structure check of index files (which trusts none of its bytes).
#include <cstdint>
#include <string>
#include <vector>

#include "checks.h"
#include "db/db.h"
#include "platform/file_handle.h"

namespace dbcheck {
namespace {

// The file's bytes into bytes; 0 or the platform's error number.
int ReadWhole(const std::string& name, std::string& bytes) {
  platform::SharedFile file;
  if (int error = file.Open(name, platform::share::kReadOnlyDenyNone)) return error;
  std::int64_t size = 0;
  if (int error = file.Size(size)) return error;
  bytes.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (int error = file.ReadAt(0, bytes.data(), bytes.size(), got)) return error;
  bytes.resize(got);
  return 0;
}

}  // namespace

int CheckIndex(const std::vector<std::string>& args) {
  long keyLen = 0;
  bool duplicates = args.size() == 3 && args[2] == "dups";
  if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && !duplicates) ||
      !ParseNumber(args[1], 1, 246, keyLen)) {
    Say("usage: dbcheck index FILE KEYLEN [dups] (KEYLEN 1..246)");
    return 2;
  }
  const std::string& name = args[0];
  std::string bytes;
  if (int error = ReadWhole(name, bytes)) {
    Say(name + ": cannot be read: error " + std::to_string(error));
    return 1;
  }
  db::IndexCheck check = db::CheckIndexImage(bytes, static_cast<int>(keyLen), duplicates);
  if (!check.Fault.empty()) {
    Say(name + ": " + check.Fault);
    return 1;
  }
  Say(name + ": sound, " + std::to_string(check.Keys) + " keys in " +
      std::to_string(check.Depth) + " levels, " + std::to_string(check.Pages) + " pages, " +
      std::to_string(check.FreePages) + " free");
  return 0;
}

}  // namespace dbcheck
