// dbcheck data and dbcheck markers.
#include <cstdint>
#include <string>
#include <vector>

#include "checks.h"
#include "data_records.h"
#include "db/db.h"
#include "platform/errors.h"
#include "platform/file.h"

namespace dbcheck {

int Fault(const std::string& file, const std::string& what) {
  Say(file + ": " + what);
  return 1;
}

int Unreadable(const std::string& file, const std::string& what, int error) {
  if (error != platform::error::kLockViolation)
    return Fault(file, what + " cannot be read: error " + std::to_string(error));
  Say(file + ": " + what + " is locked by a station: busy, try again when it is let go");
  return kBusy;
}

int OpenDataFile(const std::string& name, long recLen, OpenData& data) {
  if (int error = data.File->Open(name, platform::share::kReadOnlyDenyNone))
    return Fault(name, "cannot be opened: error " + std::to_string(error));
  std::int64_t size = 0;
  (void)data.File->Size(size);  // untold, it stays 0: reported as empty below
  if (size == 0) return Fault(name, "the file is empty: it has no header");
  if (size % recLen != 0)
    return Fault(name, "length " + std::to_string(size) + " is not a multiple of the record length " +
                           std::to_string(recLen));
  data.Total = size / recLen;
  Records records(*data.File, recLen);
  if (int error = records.Read(0)) return Unreadable(name, "the header", error);
  data.Header = db::FileHeader::Decode(records.Bytes());
  if (data.Header.RecordTotal > data.Total || data.Header.RecordTotal < 1)
    return Fault(name, "RecordTotal " + std::to_string(data.Header.RecordTotal) + ", but the file holds " +
                           std::to_string(data.Total) + " records");
  return 0;
}

namespace {

// The free chain from the header's head: every link inside the file, no
// record twice, every member free, as many as the header counts. seen
// marks the members.
int CheckChain(const std::string& name, Records& records, std::int64_t total,
               std::int32_t head, std::int32_t count, std::vector<bool>& seen) {
  seen.assign(static_cast<std::size_t>(total), false);
  std::int64_t members = 0;
  std::int64_t from = 0;
  for (std::int64_t p = head; p != -1;) {
    if (p < 1 || p >= total)
      return Fault(name, "free link " + std::to_string(p) + " in record " + std::to_string(from) +
                             " points outside the file");
    if (seen[static_cast<std::size_t>(p)])
      return Fault(name, "the free chain runs in a circle at record " + std::to_string(p));
    seen[static_cast<std::size_t>(p)] = true;
    if (int error = records.Read(p)) return Unreadable(name, "record " + std::to_string(p), error);
    if (records.Bytes()[4] != 0)
      return Fault(name, "record " + std::to_string(p) + " is on the free chain but in use");
    ++members;
    from = p;
    p = db::LoadInt32(records.Bytes());
  }
  if (members != count)
    return Fault(name, "the free chain holds " + std::to_string(members) +
                           " records, the header counts " + std::to_string(count));
  return 0;
}

// Free records that the chain does not hold: what a station stopped
// between a record's write and the header's leaves (harmless; reindex puts
// them back on the chain). The error of a record that cannot be read, with
// its number in failed.
int FreeOffChain(Records& records, const std::vector<bool>& seen, std::int64_t& off, std::int64_t& failed) {
  off = 0;
  for (std::size_t n = 1; n < seen.size(); ++n) {
    if (seen[n]) continue;
    failed = static_cast<std::int64_t>(n);
    if (int error = records.Read(failed)) return error;
    if (records.Bytes()[4] == 0) ++off;
  }
  return 0;
}

}  // namespace

int CheckData(const std::vector<std::string>& args) {
  long recLen = 0;
  if (args.size() != 2 || !ParseNumber(args[1], db::kMinRecLen, db::kMaxRecLen, recLen)) {
    Say("usage: dbcheck data FILE RECLEN (RECLEN " + std::to_string(db::kMinRecLen) + ".." +
        std::to_string(db::kMaxRecLen) + ")");
    return 2;
  }
  const std::string& name = args[0];
  OpenData data;
  if (int code = OpenDataFile(name, recLen, data)) return code;
  Records records(*data.File, recLen);
  const db::FileHeader& header = data.Header;
  std::int64_t total = data.Total;
  std::int32_t head = header.FreeHead, count = header.FreeCount, recordTotal = header.RecordTotal;
  // Records beyond RecordTotal are appends cut short: free, or damage.
  for (std::int64_t n = recordTotal; n < total; ++n) {
    if (int error = records.Read(n)) return Unreadable(name, "record " + std::to_string(n), error);
    if (records.Bytes()[4] != 0)
      return Fault(name, "RecordTotal " + std::to_string(recordTotal) + ", but record " +
                             std::to_string(n) + " after it is in use");
  }
  if (count < 0 || count >= total)
    return Fault(name, "FreeCount " + std::to_string(count) + " is impossible");
  if ((head == -1) != (count == 0))
    return Fault(name, "FreeHead " + std::to_string(head) + " does not fit FreeCount " +
                           std::to_string(count));
  std::vector<bool> seen;
  if (int fault = CheckChain(name, records, total, head, count, seen)) return fault;
  std::int64_t offChain = 0, failed = 0;
  if (int error = FreeOffChain(records, seen, offChain, failed))
    return Unreadable(name, "record " + std::to_string(failed), error);
  if (header.TxFlag != 0) return Fault(name, "TxFlag is set (dbcheck markers clears it)");
  if (header.ShareCount != 0)
    return Fault(name, "ShareCount is " + std::to_string(header.ShareCount) + " (dbcheck markers clears it)");
  Say(name + ": sound, " + std::to_string(total) + " records, " +
      std::to_string(total - 1 - count - offChain) + " in use, " + std::to_string(count) + " free");
  if (records.Held() > 0)
    Say(name + ": " + std::to_string(records.Held()) +
        " records held by a station (in use there; read around their lock bytes)");
  if (offChain > 0)
    Say(name + ": " + std::to_string(offChain) +
        " free records off the free chain, left by a station that stopped (harmless; reindex "
        "puts them back on the chain)");
  return 0;
}

int CheckMarkers(const std::vector<std::string>& args) {
  if (args.size() != 3) {
    Say("usage: dbcheck markers MASK EXCLUDE NAMES");
    return 2;
  }
  int error = db::ClearStaleMarkers(args[0], args[1], args[2]);
  if (error == 0) return 0;
  Say("markers: a file could not be repaired: " + db::ErrorText(error));
  return 1;
}

}  // namespace dbcheck
