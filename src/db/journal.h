// The change journal of an index: pre-images of the pages a change
// overwrites, so that the next station can undo a change whose writer died.
// The file's layout is in db.h. Internal to db/.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/file.h"

namespace db {

// CRC-32 of each piece of a record that lies in one 4096-byte block of the
// file, from the first; unused pieces 0. A record of at most kMaxRecLen
// bytes has at most four pieces.
using Pieces = std::array<std::uint32_t, 4>;

// The CRC-32 (IEEE) of bytes: the check of the journals' heads and entries.
[[nodiscard]] std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size);

// One record the change wrote, as its journal entry tells.
struct JournalEntry {
  std::int32_t Page = 0;
  std::uint32_t PreCrc = 0;  // of the pre-image; 0 for an appended page
  std::uint32_t Order = 0;   // the number of its latest write in the change
  Pieces Before{}, After{};  // the record before its latest write, and after
  std::vector<std::uint8_t> PreImage;
};

// One index's journal, used by its writer for its changes and by whoever
// finds a dead writer's change pending. Every method is called with the
// index's header lock held.
class ChangeJournal {
 public:
  explicit ChangeJournal(DataFile& index) : x_(index) {}

  // A change starts: headerRecord is record 0 as read under the lock.
  void Begin(const std::uint8_t* headerRecord);
  // A page read during the change: its image before any write of it.
  void Remember(std::int32_t n, const std::uint8_t* record);
  // Record n of the index is about to be written with record: its
  // pre-image and the image's checksum reach the journal first. Does
  // nothing outside a change.
  void BeforeWrite(std::int32_t n, const std::uint8_t* record);
  // True inside a change that has not written the header, when header
  // holds the bytes the change found there (its write may be left out).
  bool HeaderUnchanged(const std::uint8_t* header) const;
  // The change's last write returned: the journal is invalidated.
  void End();

  // Under the header lock. A pending change left by a writer that is gone
  // (a missing journal is created empty first): rolled back and
  // logged, or, when pages are no longer what that writer left, reported
  // as needing a rebuild (the program ends). True when it rolled back.
  bool RollBackPending();
  // Without the header lock: false when the journal holds no change (it is
  // no longer than its head, or missing), so that nothing is pending; one
  // size query once the journal is open.
  bool MayHoldChange();

 private:
  struct Written {
    std::int64_t At = 0;  // offset in the journal
    JournalEntry E;       // without the pre-image
  };
  bool OpenFile(bool create);
  // Cuts the journal back to its head: it holds no change.
  void Cut();
  void WriteJournal(std::int64_t at, const std::uint8_t* bytes, std::size_t size);
  std::vector<std::uint8_t> PreImage(std::int32_t n);

  DataFile& x_;
  std::unique_ptr<platform::File> file_ = platform::NewFile();
  bool active_ = false, written_ = false;
  std::uint32_t sequence_ = 0, order_ = 0;
  std::int32_t startLength_ = 0;
  std::int64_t end_ = 0;  // where the next entry goes
  std::vector<std::uint8_t> header_;  // record 0 at the start
  std::map<std::int32_t, std::vector<std::uint8_t>> read_;  // pages read, not yet written
  std::map<std::int32_t, Written> entries_;
};

// Empties the file when it is there (a journal beside a file created anew).
void EmptyIfThere(const std::string& name);
// Empties the journal beside an index created anew (when there is one).
void DiscardJournal(const std::string& indexPath);

// Whether x's changes go through a journal: a shared, writable header
// while the engine's journal switch is on.
bool JournalsChanges(const DataFile& x);

}  // namespace db
