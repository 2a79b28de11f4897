// dbcheck index: the whole file read as it is and given to the engine's
// structure check of index files (which trusts none of its bytes).
#include <cstdint>
#include <string>
#include <vector>

#include "checks.h"
#include "data_records.h"
#include "db/db.h"
#include "platform/file.h"
#include "platform/fs.h"

namespace dbcheck {
namespace {

// True when a station holds the index's header lock (the lock byte of
// record 0): a change is under way there.
bool HeaderLockHeld(const std::string& name, long recLen) {
  std::unique_ptr<platform::File> file = platform::NewFile();
  if (file->Open(name, platform::share::kReadOnlyDenyNone) != 0) return false;
  if (file->Lock(recLen - 1, 1) != 0) return true;
  (void)file->Unlock(recLen - 1, 1);  // locked just above: cannot fail
  return false;
}

// A change the journal holds: said as such, and the index checked as the
// rollback will leave it. Returns the exit code; bytes becomes that image.
int JudgePending(const std::string& name, long keyLen, std::string& bytes) {
  std::string journal;
  if (platform::ReadFileBytes(db::JournalName(name), journal) != 0) return 0;
  db::JournalVerdict verdict = db::JudgeJournal(journal, bytes);
  if (!verdict.Pending) return 0;
  if (verdict.RebuildNeeded) {
    Say(name + ": a change cut short at station " + verdict.Station +
        " cannot be rolled back: " + verdict.Reason + "; rebuild the index with reindex");
    return 1;
  }
  if (HeaderLockHeld(name, db::IndexRecLen(static_cast<int>(keyLen))))
    Say(name + ": a change is in progress at station " + verdict.Station +
        " (its journal is pending); checked as it was before the change");
  else
    Say(name + ": a change cut short at station " + verdict.Station +
        " is pending; the next station to open or change the index rolls it back; "
        "checked as the rollback leaves it");
  bytes = verdict.RolledBack;
  return 0;
}

}  // namespace

int ReadIndexImage(const std::string& name, long keyLen, std::string& bytes) {
  if (int error = platform::ReadFileBytes(name, bytes)) return Unreadable(name, "the file", error);
  return JudgePending(name, keyLen, bytes);
}

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
  if (int code = ReadIndexImage(name, keyLen, bytes)) return code;
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
