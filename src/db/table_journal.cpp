// Table changes: a station's intent for one record and its keys, noted in
// its slot of the table journal while the change runs, and the recovery of
// the changes whose stations are gone (the protocol and layout: db.h).
#include "db/table_journal.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "db/internal.h"
#include "db/journal.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/path.h"

namespace db {

using namespace internal;
using namespace platform::literals;

namespace {

constexpr int kSlots = 128;
constexpr int kHeadSize = 64;  // a directory entry and a slot's head alike
constexpr std::int64_t kDirectorySize = std::int64_t{kSlots} * kHeadSize;
constexpr std::int64_t kSlotSize = 65536;
constexpr std::int64_t kSlotLocks = std::int64_t{1} << 61;
constexpr std::int64_t kBlock = 4096;
constexpr char kMagic[4] = {'T', 'J', 'R', '1'};
constexpr char kEntryMagic[4] = {'T', 'J', 'S', '1'};
constexpr std::size_t kMaxStation = 31;
// How often a station that only adds looks for stopped stations' changes
// (at the open, and before every change and delete, it always does).
constexpr std::chrono::seconds kAddScanEvery{1};

std::int64_t SlotAt(int k) { return kDirectorySize + k * kSlotSize; }

// ---- The layout: one encoder and one decoder for each part -----------------------

using Head = SlotHead;

void PutStation(std::uint8_t* b, const std::string& station) {
  std::size_t length = std::min(station.size(), kMaxStation);
  b[0] = static_cast<std::uint8_t>(length);
  std::memcpy(b + 1, station.data(), length);
}

std::string GetStation(const std::uint8_t* b) {
  return std::string(reinterpret_cast<const char*>(b + 1), std::min<std::size_t>(b[0], kMaxStation));
}

void EncodeHead(const Head& h, std::uint8_t* b) {
  std::memset(b, 0, kHeadSize);
  std::memcpy(b, kMagic, 4);
  StoreUint32(b + 4, h.Sequence);
  b[8] = h.Pending ? 1 : 0;
  StoreInt32(b + 12, h.Record);
  StoreUint32(b + 16, h.BodyLength);
  StoreUint32(b + 20, h.BodyCrc);
  PutStation(b + 24, h.Station);
  StoreUint32(b + 60, Crc32(b, 60));
}

// A directory entry: the slot was claimed by a station (zeros: by none
// since its last recovery).
void EncodeEntry(const std::string& station, std::uint8_t* b) {
  std::memset(b, 0, kHeadSize);
  std::memcpy(b, kEntryMagic, 4);
  PutStation(b + 4, station);
  StoreUint32(b + 60, Crc32(b, 60));
}

bool IsEntry(const std::uint8_t* b) {
  return std::memcmp(b, kEntryMagic, 4) == 0 && LoadUint32(b + 60) == Crc32(b, 60);
}

// False for a head that is not one (never written, or cut short).
bool DecodeHead(const std::uint8_t* b, Head& h) {
  if (std::memcmp(b, kMagic, 4) != 0 || LoadUint32(b + 60) != Crc32(b, 60)) return false;
  h.Sequence = LoadUint32(b + 4);
  h.Pending = b[8] == 1;
  h.Record = LoadInt32(b + 12);
  h.BodyLength = LoadUint32(b + 16);
  h.BodyCrc = LoadUint32(b + 20);
  h.Station = GetStation(b + 24);
  return true;
}

// A change as the journal keeps it: indexes by name.
struct Intent {
  struct Key {
    std::string Name;
    int KeyLength = 0;
    bool Duplicates = false;
    std::optional<std::string> Before, After;
  };
  TableChangeKind Kind = TableChangeKind::kAdd;
  std::int32_t Record = 0;
  std::vector<std::uint8_t> Before, After;
  std::vector<Key> Keys;
};

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
  out.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), 255)));
  out.insert(out.end(), text.begin(), text.begin() + static_cast<long>(std::min<std::size_t>(text.size(), 255)));
}

std::vector<std::uint8_t> EncodeBody(const Intent& in, int recLen) {
  std::vector<std::uint8_t> out(16, 0);
  out[0] = static_cast<std::uint8_t>(in.Kind);
  StoreInt32(out.data() + 4, in.Record);
  StoreInt32(out.data() + 8, recLen);
  out[12] = static_cast<std::uint8_t>(in.Keys.size());
  out[13] = static_cast<std::uint8_t>(in.Keys.size() >> 8);
  for (const auto* image : {&in.Before, &in.After}) {
    if (image->empty()) out.resize(out.size() + static_cast<std::size_t>(recLen), 0);
    else out.insert(out.end(), image->begin(), image->end());
  }
  for (const Intent::Key& k : in.Keys) {
    out.push_back(static_cast<std::uint8_t>((k.Before ? 1 : 0) | (k.After ? 2 : 0) | (k.Duplicates ? 4 : 0)));
    out.push_back(static_cast<std::uint8_t>(k.KeyLength));
    PutText(out, k.Name);
    PutText(out, k.Before.value_or(""));
    PutText(out, k.After.value_or(""));
  }
  return out;
}

class BodyReader {
 public:
  explicit BodyReader(const std::vector<std::uint8_t>& b) : b_(b) {}
  bool Take(std::size_t n, const std::uint8_t*& at) {
    if (b_.size() - pos_ < n) return false;
    at = b_.data() + pos_;
    pos_ += n;
    return true;
  }
  bool Text(std::string& text) {
    const std::uint8_t *length = nullptr, *bytes = nullptr;
    if (!Take(1, length) || !Take(*length, bytes)) return false;
    text.assign(reinterpret_cast<const char*>(bytes), *length);
    return true;
  }

 private:
  const std::vector<std::uint8_t>& b_;
  std::size_t pos_ = 0;
};

// False for a body that does not fit the data file (damaged).
bool DecodeBody(const std::vector<std::uint8_t>& b, int recLen, Intent& in) {
  BodyReader read(b);
  const std::uint8_t *fixed = nullptr, *before = nullptr, *after = nullptr;
  if (!read.Take(16, fixed) || LoadInt32(fixed + 8) != recLen || fixed[0] < 1 || fixed[0] > 3) return false;
  in.Kind = static_cast<TableChangeKind>(fixed[0]);
  in.Record = LoadInt32(fixed + 4);
  if (!read.Take(static_cast<std::size_t>(recLen), before) || !read.Take(static_cast<std::size_t>(recLen), after))
    return false;
  in.Before.assign(before, before + recLen);
  in.After.assign(after, after + recLen);
  for (int i = 0, keys = fixed[12] | (fixed[13] << 8); i < keys; ++i) {
    const std::uint8_t* flags = nullptr;
    Intent::Key k;
    std::string beforeKey, afterKey;
    if (!read.Take(2, flags) || !read.Text(k.Name) || !read.Text(beforeKey) || !read.Text(afterKey)) return false;
    k.KeyLength = flags[1];
    k.Duplicates = (flags[0] & 4) != 0;
    if (flags[0] & 1) k.Before = beforeKey;
    if (flags[0] & 2) k.After = afterKey;
    in.Keys.push_back(std::move(k));
  }
  return true;
}

// ---- Names of the indexes ---------------------------------------------------------

std::string FolderOf(const std::string& name) { return name.substr(0, platform::FilePartStart(name)); }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The index's name as the journal keeps it: alone when it lies in the data
// file's folder, so that stations that reach the folder by other paths
// find it.
std::string KeptName(const DataFile& f, const IndexFile& x) {
  return SameName(FolderOf(x.Name), FolderOf(f.Name)) ? WithoutFolder(x.Name) : x.Name;
}

Intent IntentOf(const DataFile& f, const TableChange& change) {
  Intent in{change.Kind, change.Record, change.Before, change.After, {}};
  for (const KeyChange& k : change.Keys)
    in.Keys.push_back({KeptName(f, *k.Index), k.Index->KeyLength, k.Index->AllowDuplicates, k.Before, k.After});
  return in;
}

// The process-wide open mode set to shared for the guard's life.
class SharedOpens {
 public:
  SharedOpens() : mode_(State().OpenMode, kModeShared), group_(State().FileGroup, 0) {}

 private:
  platform::ScopedValue<OpenMode> mode_;
  platform::ScopedValue<std::int32_t> group_;
};

// The indexes of a recovery: the table's open ones, and those it opens for
// the while (closed at the end).
class RecoveryIndexes {
 public:
  RecoveryIndexes(const DataFile& f, const std::vector<IndexFile*>& open) : folder_(FolderOf(f.Name)), open_(open) {}
  // Opened shared for the recovery, they hold no marker a close would
  // write back: a failed close loses nothing.
  ~RecoveryIndexes() {
    for (auto& x : opened_) (void)CloseIndex(*x);
  }
  RecoveryIndexes(const RecoveryIndexes&) = delete;
  RecoveryIndexes& operator=(const RecoveryIndexes&) = delete;

  // Null when it cannot be opened.
  IndexFile* Find(const Intent::Key& k) {
    std::string name = WithoutFolder(k.Name) == k.Name ? folder_ + k.Name : k.Name;
    for (IndexFile* x : open_)
      if (SameName(x->Name, name)) return x;
    for (auto& x : opened_)
      if (SameName(x->Name, name)) return x.get();
    auto x = std::make_unique<IndexFile>();
    SharedOpens shared;
    if (!OpenIndex(*x, name, k.KeyLength, k.Duplicates ? 1 : 0).Ok()) return nullptr;
    opened_.push_back(std::move(x));
    return opened_.back().get();
  }

 private:
  std::string folder_;
  std::vector<IndexFile*> open_;
  std::vector<std::unique_ptr<IndexFile>> opened_;
};

// ---- Recovery of one change -------------------------------------------------------

bool HasEntry(IndexFile& x, std::int32_t n, const std::string& key) {
  std::string probe = key;
  std::int32_t ref = n;
  SeekEntry(x, ref, probe);
  return DbOk();
}

// Puts the change's keys as they are on one side of it (after, or
// before), each index's other key taken out first; false when an index
// without equal keys refused one (another station has it now).
bool KeysAsOn(const Intent& in, bool after, RecoveryIndexes& indexes) {
  bool whole = true;
  for (const Intent::Key& k : in.Keys) {
    IndexFile* x = indexes.Find(k);
    if (!x) continue;
    const std::optional<std::string>& want = after ? k.After : k.Before;
    const std::optional<std::string>& other = after ? k.Before : k.After;
    std::int32_t ref = in.Record;
    if (other && other != want && HasEntry(*x, in.Record, *other)) RemoveKey(*x, ref, *other);
    if (!want || HasEntry(*x, in.Record, *want)) continue;
    InsertKey(*x, in.Record, *want);
    whole = whole && DbOk();
  }
  return whole;
}

// Bytes 0 to 3 of a record are the free chain's link, no part of what it
// holds: a free cut short may have changed them alone.
constexpr std::size_t kContent = 4;

bool SameContent(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  return std::equal(a.begin() + kContent, a.end(), b.begin() + kContent);
}

// now holds image, or image up to a 4096-byte block of the file and old
// after it: what a write of image over old leaves when a kill cuts it.
bool HoldsOrTorn(const std::vector<std::uint8_t>& now, const std::vector<std::uint8_t>& image,
                 const std::vector<std::uint8_t>& old, std::int64_t offset) {
  if (SameContent(now, image)) return true;
  for (std::int64_t block = (offset / kBlock + 1) * kBlock; block < offset + static_cast<std::int64_t>(now.size());
       block += kBlock) {
    auto cut = static_cast<long>(block - offset);
    if (cut > static_cast<long>(kContent) && std::equal(now.begin() + kContent, now.begin() + cut, image.begin() + kContent) &&
        std::equal(now.begin() + cut, now.end(), old.begin() + cut))
      return true;
  }
  return false;
}

enum class Outcome { kNothing, kUndone, kFinished };

// The change undone or finished, decided by the record (its lock held);
// torn tells that the record held its new image only in part.
Outcome Settle(DataFile& f, const Intent& in, RecoveryIndexes& indexes, bool& torn) {
  if (in.Record >= RecordCount(f)) return Outcome::kNothing;
  std::vector<std::uint8_t> now(static_cast<std::size_t>(f.RecLen));
  PeekRecord(f, in.Record, now.data());
  const std::int64_t at = RecordOffset(f, in.Record);
  const bool free = now[4] == 0;
  const bool after = HoldsOrTorn(now, in.After, in.Before, at);
  torn = !free && after && !SameContent(now, in.After);
  switch (in.Kind) {
    case TableChangeKind::kAdd:  // Before: the record as its allocation found it
      if (!free && !after) return Outcome::kNothing;
      KeysAsOn(in, false, indexes);
      if (!free) FreeRecord(f, in.Record);
      return Outcome::kUndone;
    case TableChangeKind::kChange:
      if (!SameContent(now, in.Before) && !after) return Outcome::kNothing;
      if (KeysAsOn(in, false, indexes)) {
        if (now != in.Before) WriteRecordHeld(f, in.Record, in.Before.data());
        return Outcome::kUndone;
      }
      KeysAsOn(in, true, indexes);  // the old key is another's now: the change stands
      if (now != in.After) WriteRecordHeld(f, in.Record, in.After.data());
      return Outcome::kFinished;
    case TableChangeKind::kDelete:
      if (!free && !SameContent(now, in.Before)) return Outcome::kNothing;
      if (!free && KeysAsOn(in, false, indexes)) {
        if (now != in.Before) WriteRecordHeld(f, in.Record, in.Before.data());  // a free cut in its link
        return Outcome::kUndone;
      }
      KeysAsOn(in, true, indexes);
      if (!free) FreeRecord(f, in.Record);
      return Outcome::kFinished;
  }
  return Outcome::kNothing;
}

void Fail(DataFile& f, int platformResult, std::int32_t n) {
  State().LastIOResult = static_cast<std::int16_t>(EngineResult(platformResult));
  CheckDataIO(f, n);
}

bool BracketsChanges(const DataFile& f) {
  return State().JournalOn && State().TableChangesOn && State().LockingOn && (f.OpenMode == kModeShared || f.OpenMode == kModeExclusive);
}

TableJournal& JournalOf(DataFile& f) {
  if (!f.Table) f.Table = std::make_unique<TableJournal>(f);
  return *f.Table;
}

}  // namespace

// ---- The journal file ------------------------------------------------------------

std::string TableJournalName(std::string_view dataName) { return std::string(dataName) + ".tjr"; }

TableChangeSwitch::TableChangeSwitch(bool on) : ScopedValue(State().TableChangesOn, on) {}

std::vector<std::uint8_t> TableJournal::ReadBytes(std::int64_t at, std::size_t size) {
  std::vector<std::uint8_t> bytes(size, 0);
  std::size_t got = 0;
  if (int result = file_->ReadAtUnguarded(at, bytes.data(), size, got)) Fail(f_, result, 0);
  return bytes;  // beyond the end: zeros, no head
}

void TableJournal::WriteBytes(std::int64_t at, const std::uint8_t* bytes, std::size_t size) {
  std::size_t written = 0;
  int result = file_->WriteAtUnguarded(at, bytes, size, written);
  if (result == 0 && written < size) result = platform::error::kDiskFull;
  if (result != 0) Fail(f_, result, 0);
}

void TableJournal::OpenAndClaim() {
  if (slot_ >= 0 || unusable_) return;
  const std::string name = TableJournalName(f_.Handle->Path());
  const int sharing = platform::share::kReadWriteDenyNone;
  if (file_->Open(name, sharing) != 0) {
    LockRecord(f_, 0);  // two stations creating it at once: one creates, one opens
    int result = file_->Open(name, sharing);
    if (result == platform::error::kFileNotFound) result = file_->Create(name, sharing);
    UnlockRecord(f_, 0);
    if (result != 0) {  // the changes go on unguarded, as before there was a journal: said once
      unusable_ = true;
      LogDbError(name, 0, std::string("A táblanapló nem használható, a módosítások védelem nélkül futnak: "_cp) +
                              ErrorText(EngineResult(result)));
      return;
    }
  }
  for (int k = 0;; k = (k + 1) % kSlots) {
    if (file_->Lock(kSlotLocks + k, 1) == 0) {
      slot_ = k;
      break;
    }
    if (k == kSlots - 1) PollPause();  // every slot taken: wait for a station to close
  }
  std::uint8_t entry[kHeadSize];
  EncodeEntry(StationId(), entry);
  WriteBytes(std::int64_t{slot_} * kHeadSize, entry, kHeadSize);
  Head own;
  if (DecodeHead(ReadBytes(SlotAt(slot_), kHeadSize).data(), own)) sequence_ = own.Sequence;
}

// ---- Recovery --------------------------------------------------------------------

TableJournal::Settled TableJournal::RecoverSlot(int k, const std::vector<IndexFile*>& indexes) {
  Head h;
  Intent in;
  if (!DecodeHead(ReadBytes(SlotAt(k), kHeadSize).data(), h) || !h.Pending) return Settled::kNothing;
  std::vector<std::uint8_t> body =
      ReadBytes(SlotAt(k) + kHeadSize, std::min<std::size_t>(h.BodyLength, kSlotSize - kHeadSize));
  bool sound = body.size() == h.BodyLength && Crc32(body.data(), body.size()) == h.BodyCrc &&
               DecodeBody(body, f_.RecLen, in) && in.Record == h.Record && in.Record >= 1;
  Outcome outcome = Outcome::kNothing;
  bool torn = false;
  if (sound) {
    bool mine = f_.Held.count(in.Record) > 0;
    if (!mine && !TryLockRecord(f_, in.Record)) return Settled::kLeft;  // its holder recovers it
    RecoveryIndexes open(f_, indexes);
    outcome = Settle(f_, in, open, torn);
    if (!mine) UnlockRecord(f_, in.Record);
  }
  std::uint8_t bytes[kHeadSize];
  h.Pending = false;
  EncodeHead(h, bytes);
  WriteBytes(SlotAt(k), bytes, kHeadSize);
  if (outcome == Outcome::kNothing) return Settled::kNothing;
  std::string line(outcome == Outcome::kUndone ? "Megszakadt táblamódosítás visszaállítva"_cp
                                               : "Megszakadt táblamódosítás befejezve"_cp);
  if (torn) line += " (a rekord félig volt írva)"_cp;
  line += ". Leállt állomás: "_cp;
  LogDbError(f_.Name, in.Record, line + h.Station);
  return Settled::kDone;
}

bool TableJournal::Changing(int k, std::int32_t record) {
  Head h;
  return DecodeHead(ReadBytes(SlotAt(k), kHeadSize).data(), h) && h.Pending && h.Record == record;
}

int TableJournal::Recover(const std::vector<IndexFile*>& indexes, std::int32_t waitFor) {
  OpenAndClaim();
  if (slot_ < 0) return 0;
  lastScan_ = std::chrono::steady_clock::now();
  int settled = 0;
  if (!ownChecked_) {  // the change of the station that held the slot before
    ownChecked_ = true;
    settled += RecoverSlot(slot_, indexes) == Settled::kDone ? 1 : 0;
  }
  for (bool again = true; again;) {
    again = false;
    std::vector<std::uint8_t> directory = ReadBytes(0, kDirectorySize);
    for (int k = 0; k < kSlots; ++k) {
      if (k == slot_ || !IsEntry(directory.data() + k * kHeadSize)) continue;
      if (file_->Lock(kSlotLocks + k, 1) != 0) {  // its station is at work, or another recovers it
        again = again || (waitFor != 0 && Changing(k, waitFor));
        continue;
      }
      Settled result = RecoverSlot(k, indexes);
      settled += result == Settled::kDone ? 1 : 0;
      if (result != Settled::kLeft) {  // the slot has nothing left to look at
        const std::uint8_t none[kHeadSize] = {};
        WriteBytes(std::int64_t{k} * kHeadSize, none, kHeadSize);
      }
      (void)file_->Unlock(kSlotLocks + k, 1);  // locked just above: cannot fail
    }
    if (again) PollPause();
  }
  return settled;
}

// ---- The bracket ---------------------------------------------------------------

bool TableJournal::Begin(const TableChange& change) {
  const bool add = change.Kind == TableChangeKind::kAdd;
  if (slot_ < 0 || !add || std::chrono::steady_clock::now() - lastScan_ >= kAddScanEvery) {
    std::vector<IndexFile*> indexes;
    for (const KeyChange& k : change.Keys) indexes.push_back(k.Index);
    Recover(indexes, add ? 0 : change.Record);  // an added record is no other station's
  }
  if (slot_ < 0) return true;  // no journal to use
  std::vector<std::uint8_t> now(static_cast<std::size_t>(f_.RecLen));
  if (!add || change.Record != f_.Appended) PeekRecord(f_, change.Record, now.data());  // else zeros
  if (!add && now != change.Before) return false;
  Intent intent = IntentOf(f_, change);
  if (add) intent.Before = now;  // what a write cut short leaves after its new part
  std::vector<std::uint8_t> body = EncodeBody(intent, f_.RecLen);
  if (static_cast<std::int64_t>(body.size()) > kSlotSize - kHeadSize) return true;  // over 58 indexes of the longest keys
  head_ = {++sequence_, true, change.Record, static_cast<std::uint32_t>(body.size()),
           Crc32(body.data(), body.size()), StationId()};
  body.insert(body.begin(), kHeadSize, 0);
  EncodeHead(head_, body.data());
  WriteBytes(SlotAt(slot_), body.data(), body.size());  // head and body in one write
  return true;
}

void TableJournal::End() {
  if (!head_.Pending) return;
  head_.Pending = false;
  std::uint8_t bytes[kHeadSize];
  EncodeHead(head_, bytes);
  WriteBytes(SlotAt(slot_), bytes, kHeadSize);
}

bool BeginTableChange(DataFile& f, const TableChange& change) {
  if (!BracketsChanges(f)) return true;
  return JournalOf(f).Begin(change);
}

void EndTableChange(DataFile& f) {
  if (f.Table) f.Table->End();
}

int RecoverTableChanges(DataFile& f, const std::vector<IndexFile*>& indexes) {
  if (!BracketsChanges(f)) return 0;
  return JournalOf(f).Recover(indexes, 0);
}

}  // namespace db
