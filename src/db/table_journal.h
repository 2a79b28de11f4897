// The table journal of a data file: this station's slot, where its table
// changes are noted while they run, and the recovery of the changes of
// stations that are gone. The file's layout is in db.h. Internal to db/.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "db/db.h"
#include "platform/file.h"

namespace db {

class TableJournal {
 public:
  explicit TableJournal(DataFile& f) : f_(f) {}

  // See BeginTableChange and EndTableChange.
  [[nodiscard]] bool Begin(const TableChange& change);
  void End();
  // Recovers the pending changes of stations that are gone; waits while a
  // change of record `waitFor` (0: none) is pending at another slot.
  // Returns how many were undone or finished.
  int Recover(const std::vector<IndexFile*>& indexes, std::int32_t waitFor);

 private:
  // Opens (creating it under the data file's header lock when missing)
  // and claims a slot; false when the file cannot be used.
  void OpenAndClaim();
  [[nodiscard]] std::vector<std::uint8_t> ReadBytes(std::int64_t at, std::size_t size);
  void WriteBytes(std::int64_t at, const std::uint8_t* bytes, std::size_t size);
  void WriteHead(bool pending, std::int32_t record, const std::vector<std::uint8_t>& body);
  // Recovers slot k's change (its byte is held); true when it did.
  bool RecoverSlot(int k, const std::vector<IndexFile*>& indexes);

  DataFile& f_;
  std::unique_ptr<platform::File> file_ = platform::NewFile();
  int slot_ = -1;
  std::uint32_t sequence_ = 0;
  std::int32_t record_ = 0;
  std::vector<std::uint8_t> body_;  // of the change under way
};

}  // namespace db
