// What dbcheck's checks of data files share: the file opened with its
// header, its records read as the engine peeks them, and the lines that
// say why a file or a record cannot be read.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "checks.h"
#include "db/db.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace dbcheck {

// Says "file: what"; returns 1.
int Fault(const std::string& file, const std::string& what);

// A record that cannot be read: busy (a station's lock covers more than
// the lock byte: try again later; kBusy) or a fault (1).
int Unreadable(const std::string& file, const std::string& what, int error);

// The file's records, read on demand. A record whose lock byte (its last)
// a station holds is read around that byte, as the engine peeks it: a held
// record is in use at a station, not damage.
class Records {
 public:
  Records(platform::File& file, long recLen) : file_(file), bytes_(recLen) {}
  // Record n into Bytes(); the platform's error number (or 100 when short).
  [[nodiscard]] int Read(std::int64_t n) {
    int result = ReadBytes(n, bytes_.size());
    if (result != platform::error::kLockViolation) return result;
    bytes_.back() = 0;
    result = ReadBytes(n, bytes_.size() - 1);
    if (result == 0) held_.insert(n);
    return result;
  }
  const std::uint8_t* Bytes() const { return bytes_.data(); }
  // The records read around their lock byte so far.
  std::size_t Held() const { return held_.size(); }
  // True when record n was read around its lock byte.
  bool IsHeld(std::int64_t n) const { return held_.contains(n); }

 private:
  int ReadBytes(std::int64_t n, std::size_t size) {
    std::size_t got = 0;
    int result = file_.ReadAt(n * static_cast<std::int64_t>(bytes_.size()), bytes_.data(), size, got);
    return result != 0 ? result : got < size ? db::kReadError : 0;
  }
  platform::File& file_;
  std::vector<std::uint8_t> bytes_;
  std::set<std::int64_t> held_;
};

// A data file open for reading (others denied nothing) with its header.
struct OpenData {
  std::unique_ptr<platform::File> File = platform::NewFile();
  std::int64_t Total = 0;  // the records the file holds, the header included
  db::FileHeader Header;
};

// Opens name and reads its header, checked as far as any walk of its
// records needs: records of recLen bytes, RecordTotal 1..Total. Returns 0,
// or the exit code with the fault said.
[[nodiscard]] int OpenDataFile(const std::string& name, long recLen, OpenData& data);

}  // namespace dbcheck
