// The table journal of a data file: this station's slot, where its table
// changes are noted while they run, and the recovery of the changes of
// stations that are gone. The file's layout is in db.h. Internal to db/.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/file.h"

namespace db {

// The head of a slot (the layout: db.h).
struct SlotHead {
  std::uint32_t Sequence = 0;
  bool Pending = false;
  std::int32_t Record = 0;
  std::uint32_t BodyLength = 0, BodyCrc = 0;
  std::string Station;
};

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
  enum class Settled { kNothing, kDone, kLeft };  // kLeft: another station holds its record
  // Opens (creating it under the data file's header lock when missing),
  // claims a slot and enters this station in the directory. A journal that
  // cannot be opened (a folder the station may not write) is logged once
  // and left: slot_ stays -1 and changes go unguarded.
  void OpenAndClaim();
  [[nodiscard]] std::vector<std::uint8_t> ReadBytes(std::int64_t at, std::size_t size);
  void WriteBytes(std::int64_t at, const std::uint8_t* bytes, std::size_t size);
  // Settles slot k's pending change (its byte is held).
  Settled RecoverSlot(int k, const std::vector<IndexFile*>& indexes);
  // Slot k holds a pending change of record.
  [[nodiscard]] bool Changing(int k, std::int32_t record);

  DataFile& f_;
  std::unique_ptr<platform::File> file_ = platform::NewFile();
  int slot_ = -1;
  bool unusable_ = false;  // the journal could not be opened: changes go unguarded
  bool ownChecked_ = false;  // the slot's change from before this station looked at
  std::uint32_t sequence_ = 0;
  SlotHead head_;  // of the change under way (Pending) or the last one
  std::chrono::steady_clock::time_point lastScan_;
};

}  // namespace db
