// The change journal of an index: writing it during a change, judging and
// rolling back a change a dead writer left. The layout is in db.h and is
// encoded and decoded here only.
#include "db/journal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>

#include "db/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"

namespace db {

using namespace internal;
using namespace platform::literals;

namespace {

constexpr std::array<char, 4> kMagic{'I', 'J', 'R', '1'};
constexpr std::size_t kHeadSize = 64;
constexpr std::size_t kEntryHead = 52;
constexpr std::size_t kStationMax = 31;
// A write that a kill cuts short keeps whole blocks of this size (the
// system copies a write block by block): an entry's head never straddles
// one, so its rewrite lands whole or not at all, and a record written in
// part is new up to a block boundary and old after it.
constexpr std::int64_t kBlock = 4096;


// Where an entry goes that would start at offset at.
std::int64_t EntryAt(std::int64_t at) {
  std::int64_t room = kBlock - at % kBlock;
  return room < static_cast<std::int64_t>(kEntryHead) ? at + room : at;
}

// The checksum of a piece of a record: a multiply-xor hash of its 8-byte
// little-endian words (the last one filled up with zeros), fast where the
// CRC-32 would cost the change a good part of its time.
std::uint32_t Checksum(const std::uint8_t* bytes, std::size_t size) {
  std::uint64_t h = size;
  static_assert(std::endian::native == std::endian::little, "words are read as they lie");
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, std::min<std::size_t>(8, size - i));
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 32;
  }
  return static_cast<std::uint32_t>(h);
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) c = table[(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {

Pieces PiecesOf(const std::uint8_t* record, std::int64_t offset, std::size_t size) {
  Pieces pieces{};
  for (std::size_t i = 0, k = 0; i < size && k < pieces.size(); ++k) {
    std::size_t piece = std::min(size - i, static_cast<std::size_t>(kBlock - (offset + static_cast<std::int64_t>(i)) % kBlock));
    pieces[k] = Checksum(record + i, piece);
    i += piece;
  }
  return pieces;
}

// PreCrc: the CRC-32 of the pre-image's pieces (16 bytes, little-endian).
std::uint32_t PreCrcOf(const Pieces& pieces) {
  std::array<std::uint8_t, sizeof(Pieces)> bytes{};
  for (std::size_t k = 0; k < pieces.size(); ++k) StoreUint32(bytes.data() + 4 * k, pieces[k]);
  return Crc32(bytes.data(), bytes.size());
}

// A record's pieces are those of after up to some block boundary and those
// of before from there on (the whole of either included).
bool Between(const Pieces& now, const Pieces& before, const Pieces& after) {
  for (std::size_t cut = 0; cut <= now.size(); ++cut) {
    bool same = true;
    for (std::size_t k = 0; k < now.size() && same; ++k) same = now[k] == (k < cut ? after[k] : before[k]);
    if (same) return true;
  }
  return false;
}

struct Head {
  std::uint32_t Sequence = 0;
  bool Pending = false;
  std::int32_t RecLen = 0, StartLength = 0;
  std::string Station;
};

void EncodeHead(const Head& h, std::uint8_t* b) {
  std::memset(b, 0, kHeadSize);
  std::memcpy(b, kMagic.data(), 4);
  StoreUint32(b + 4, h.Sequence);
  b[8] = h.Pending ? 1 : 0;
  StoreInt32(b + 12, h.RecLen);
  StoreInt32(b + 16, h.StartLength);
  std::size_t n = std::min(h.Station.size(), kStationMax);
  b[20] = static_cast<std::uint8_t>(n);
  std::memcpy(b + 21, h.Station.data(), n);
  StoreUint32(b + 60, Crc32(b, 60));
}

bool DecodeHead(const std::uint8_t* b, Head& h) {
  if (std::memcmp(b, kMagic.data(), 4) != 0 || LoadUint32(b + 60) != Crc32(b, 60)) return false;
  h.Sequence = LoadUint32(b + 4);
  h.Pending = b[8] != 0;
  h.RecLen = LoadInt32(b + 12);
  h.StartLength = LoadInt32(b + 16);
  h.Station.assign(reinterpret_cast<const char*>(b + 21), std::min<std::size_t>(b[20], kStationMax));
  return h.RecLen >= kMinRecLen && h.RecLen <= kMaxRecLen && h.StartLength >= 1;
}

void EncodeEntryHead(std::uint32_t sequence, const JournalEntry& e, std::uint8_t* b) {
  std::memset(b, 0, kEntryHead);
  StoreUint32(b, sequence);
  StoreInt32(b + 4, e.Page);
  StoreUint32(b + 8, e.PreCrc);
  StoreUint32(b + 12, e.Order);
  for (std::size_t k = 0; k < e.Before.size(); ++k) {
    StoreUint32(b + 16 + 4 * k, e.Before[k]);
    StoreUint32(b + 32 + 4 * k, e.After[k]);
  }
  StoreUint32(b + 48, Crc32(b, 48));
}

// An entry of the change numbered sequence, whole and sound.
bool DecodeEntry(const std::uint8_t* b, const Head& h, JournalEntry& e) {
  if (LoadUint32(b) != h.Sequence || LoadUint32(b + 48) != Crc32(b, 48)) return false;
  e.Page = LoadInt32(b + 4);
  e.PreCrc = LoadUint32(b + 8);
  e.Order = LoadUint32(b + 12);
  for (std::size_t k = 0; k < e.Before.size(); ++k) {
    e.Before[k] = LoadUint32(b + 16 + 4 * k);
    e.After[k] = LoadUint32(b + 32 + 4 * k);
  }
  e.PreImage.assign(b + kEntryHead, b + kEntryHead + h.RecLen);
  if (e.Page < 0) return false;
  return e.Page >= h.StartLength || PreCrcOf(PiecesOf(e.PreImage.data(), std::int64_t{e.Page} * h.RecLen, e.PreImage.size())) == e.PreCrc;
}

// Reads size bytes of the journal at offset; false when they are not all there.
using JournalReader = std::function<bool(std::int64_t at, std::uint8_t* bytes, std::size_t size)>;
// Reads record n of the index; false when the file ends before it.
using PageReader = std::function<bool(std::int32_t n, std::uint8_t* record)>;

// The pending change a journal holds (Pending false when none).
struct PendingChange {
  Head H;
  std::vector<JournalEntry> Entries;
};

PendingChange ReadPending(const JournalReader& read) {
  PendingChange p;
  std::array<std::uint8_t, kHeadSize> head{};
  std::uint8_t beyond = 0;
  if (!read(0, head.data(), head.size()) || !DecodeHead(head.data(), p.H) || !p.H.Pending ||
      !read(kHeadSize, &beyond, 1)) {
    p.H.Pending = false;
    return p;
  }
  std::vector<std::uint8_t> bytes(kEntryHead + static_cast<std::size_t>(p.H.RecLen));
  for (std::int64_t at = EntryAt(kHeadSize);; at = EntryAt(at + static_cast<std::int64_t>(bytes.size()))) {
    JournalEntry e;
    if (!read(at, bytes.data(), bytes.size()) || !DecodeEntry(bytes.data(), p.H, e)) break;
    p.Entries.push_back(std::move(e));
  }
  return p;
}

std::string Num(std::int64_t n) { return std::to_string(n); }

// Ends the program through CheckDataIO when the engine's result is not 0.
void Check(DataFile& x, std::int32_t n, int result) {
  State().LastIOResult = static_cast<std::int16_t>(result);
  CheckDataIO(x, n);
}

// "" when every record the change wrote holds what its writer last wrote
// there, what it held before that write, a mixture of both that a write
// cut short leaves, or its pre-image (a rollback cut short), and the file
// is no longer than the change made it; otherwise the first difference.
std::string Difference(const PendingChange& p, std::int32_t recLen, std::int64_t length,
                       const PageReader& readPage) {
  if (recLen != p.H.RecLen) return "the journal's page size " + Num(p.H.RecLen) + " is not the index's";
  std::vector<std::uint8_t> record(static_cast<std::size_t>(recLen));
  std::int64_t longest = p.H.StartLength;
  for (const JournalEntry& e : p.Entries) {
    longest = std::max<std::int64_t>(longest, e.Page + std::int64_t{1});
    if (!readPage(e.Page, record.data())) {
      if (e.Page < p.H.StartLength) return "record " + Num(e.Page) + " is missing";
      continue;
    }
    Pieces now = PiecesOf(record.data(), std::int64_t{e.Page} * recLen, record.size());
    bool restored = e.Page < p.H.StartLength && PreCrcOf(now) == e.PreCrc;
    if (!Between(now, e.Before, e.After) && !restored)
      return "record " + Num(e.Page) + " was changed after its writer stopped";
  }
  if (length > longest)
    return "the file grew to " + Num(length) + " records after its writer stopped";
  return "";
}

}  // namespace

std::string JournalName(std::string_view indexName) { return std::string(indexName) + ".jrn"; }

bool JournalsChanges(const DataFile& x) {
  return State().JournalOn && HeaderShared(x) && x.OpenMode != kModeReadOnly;
}

void EmptyIfThere(const std::string& name) {
  std::unique_ptr<platform::File> file = platform::NewFile();
  // Best effort, as the open: a file created anew has no change to lose.
  if (file->Open(name, platform::share::kReadWriteDenyNone) == 0) (void)file->Truncate(0);
}

void DiscardJournal(const std::string& indexPath) { EmptyIfThere(JournalName(indexPath)); }

JournalSwitch::JournalSwitch(bool on) : ScopedValue(State().JournalOn, on) {}

// ---- The writer's side -------------------------------------------------------------

bool ChangeJournal::OpenFile(bool create) {
  if (file_->IsOpen()) return true;
  std::string name = JournalName(x_.Handle->Path());
  int result = file_->Open(name, platform::share::kReadWriteDenyNone);
  if (result != 0 && create) result = file_->Create(name, platform::share::kReadWriteDenyNone);
  if (result == 0 || !create) return result == 0;
  Check(x_, 0, EngineResult(result));
  return false;
}

void ChangeJournal::WriteJournal(std::int64_t at, const std::uint8_t* bytes, std::size_t size) {
  std::size_t written = 0;
  int result = file_->WriteAtUnguarded(at, bytes, size, written);
  Check(x_, 0, result != 0 ? EngineResult(result) : written < size ? kWriteError : 0);
}

void ChangeJournal::Begin(const std::uint8_t* headerRecord) {
  active_ = true;
  written_ = false;
  ++sequence_;
  startLength_ = x_.CachedLength;
  end_ = kHeadSize;
  order_ = 0;
  header_.assign(headerRecord, headerRecord + x_.RecLen);
  read_.clear();
  entries_.clear();
}

void ChangeJournal::Remember(std::int32_t n, const std::uint8_t* record) {
  if (active_ && n < startLength_ && !entries_.count(n)) read_[n].assign(record, record + x_.RecLen);
}

std::vector<std::uint8_t> ChangeJournal::PreImage(std::int32_t n) {
  if (n == 0) return header_;
  if (auto it = read_.find(n); it != read_.end()) return it->second;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(x_.RecLen));
  Check(x_, n, ReadAt(x_, RecordOffset(x_, n), record.data(), record.size()));
  return record;
}

void ChangeJournal::BeforeWrite(std::int32_t n, const std::uint8_t* record) {
  if (!active_) return;
  auto size = static_cast<std::size_t>(x_.RecLen);
  std::array<std::uint8_t, kEntryHead> head{};
  auto it = entries_.find(n);
  bool appended = n >= startLength_;
  std::vector<std::uint8_t> pre;
  if (it == entries_.end() && !appended) {
    pre = PreImage(n);
    if (std::memcmp(pre.data(), record, size) == 0) return;  // nothing changes
  }
  Pieces now = PiecesOf(record, RecordOffset(x_, n), size);
  if (it != entries_.end()) {
    Written& w = it->second;
    if (now == w.E.After) return;
    w.E.Before = w.E.After;
    w.E.After = now;
    w.E.Order = ++order_;
    EncodeEntryHead(sequence_, w.E, head.data());
    WriteJournal(w.At, head.data(), head.size());
    if (State().SyncChanges) (void)file_->Flush();  // durability only, see End
    return;
  }
  if (appended) pre.assign(size, 0);
  JournalEntry e;
  e.Page = n;
  e.Before = PiecesOf(pre.data(), RecordOffset(x_, n), size);
  e.PreCrc = appended ? 0 : PreCrcOf(e.Before);
  e.Order = ++order_;
  e.After = now;
  std::vector<std::uint8_t> bytes;
  end_ = EntryAt(end_);
  std::int64_t at = end_;
  if (!written_) {  // the journal's head goes with the first entry, in one write
    bytes.resize(kHeadSize);
    EncodeHead({sequence_, true, x_.RecLen, startLength_, StationId()}, bytes.data());
    at = 0;
  }
  EncodeEntryHead(sequence_, e, head.data());
  bytes.insert(bytes.end(), head.begin(), head.end());
  bytes.insert(bytes.end(), pre.begin(), pre.end());
  OpenFile(true);
  WriteJournal(at, bytes.data(), bytes.size());
  if (State().SyncChanges) (void)file_->Flush();  // durability only, see End
  e.PreImage.clear();
  entries_[n] = {end_, std::move(e)};
  read_.erase(n);
  end_ += static_cast<std::int64_t>(kEntryHead + size);
  written_ = true;
}

bool ChangeJournal::HeaderUnchanged(const std::uint8_t* header) const {
  return active_ && !entries_.count(0) && std::memcmp(header_.data(), header, header_.size()) == 0;
}

void ChangeJournal::End() {
  if (active_ && written_) {
    // Flushes only make the written bytes durable sooner; a failed one has
    // no result the engine reports.
    if (State().SyncChanges) (void)x_.Handle->Flush();
    Cut();
    if (State().SyncChanges) (void)file_->Flush();
  }
  active_ = false;
  read_.clear();
  entries_.clear();
}

// ---- The rollback ------------------------------------------------------------------

namespace {

// A previous-release station has written the index since its writer died:
// logged, then the message, and the program ends.
[[noreturn]] void DemandRebuild(DataFile& x, const std::string& station) {
  LogDbError(x.Name, 0,
             std::string("Megszakadt indexmódosítás nem vonható vissza, más írt az indexbe;"
                         " újraépítés kell (reindex). Leállt állomás: "_cp) + station);
  std::string text("Az index megszakadt módosítása nem vonható vissza:"_cp);
  text += '\0';
  text += WithoutFolder(x.Name);
  text += '\0';
  text += "Építse újra a reindex programmal!"_cp;
  FatalMessage(text);
}

}  // namespace

void ChangeJournal::Cut() { Check(x_, 0, EngineResult(file_->Truncate(kHeadSize))); }

bool ChangeJournal::RollBackPending() {
  std::int64_t journalSize = 0;
  // Called under the header lock: a missing journal is created empty, so
  // that every later check is one size query on an open file.
  if (!OpenFile(false) &&
      file_->Create(JournalName(x_.Handle->Path()), platform::share::kReadWriteDenyNone) != 0)
    return false;
  if (file_->Size(journalSize) != 0 || journalSize <= std::int64_t{kHeadSize}) return false;
  JournalReader read = [this](std::int64_t at, std::uint8_t* bytes, std::size_t size) {
    std::size_t got = 0;
    return file_->ReadAtUnguarded(at, bytes, size, got) == 0 && got == size;
  };
  PendingChange p = ReadPending(read);
  sequence_ = std::max(sequence_, p.H.Sequence);
  if (!p.H.Pending) return false;
  std::int64_t size = 0;
  Check(x_, 0, EngineResult(x_.Handle->Size(size)));
  std::int64_t length = size / x_.RecLen;
  PageReader readPage = [this, length](std::int32_t n, std::uint8_t* record) {
    if (n >= length) return false;
    Check(x_, n, ReadAt(x_, RecordOffset(x_, n), record, static_cast<std::size_t>(x_.RecLen)));
    return true;
  };
  std::string difference = Difference(p, x_.RecLen, length, readPage);
  if (!difference.empty()) DemandRebuild(x_, p.H.Station);
  for (const JournalEntry& e : p.Entries) {
    if (e.Page >= p.H.StartLength) continue;
    Check(x_, e.Page, WriteAt(x_, RecordOffset(x_, e.Page), e.PreImage.data(), e.PreImage.size()));
  }
  if (length > p.H.StartLength) {
    Check(x_, p.H.StartLength, EngineResult(x_.Handle->Truncate(RecordOffset(x_, p.H.StartLength))));
  }
  Cut();
  Check(x_, 0, ReadAt(x_, 0, x_.HeaderRecord.data(), kHeaderSize));
  HeaderToFile(x_);
  x_.CachedLength = p.H.StartLength;
  LogDbError(x_.Name, 0, std::string("Megszakadt indexmódosítás visszaállítva. Leállt állomás: "_cp) + p.H.Station);
  return true;
}

bool ChangeJournal::MayHoldChange() {
  std::int64_t journalSize = 0;
  return OpenFile(false) && (file_->Size(journalSize) != 0 || journalSize > std::int64_t{kHeadSize});
}

int RollBackDeadWriter(IndexFile& x) {
  if (!x.Journal) return kNoChangePending;
  std::int64_t lockByte = LockByte(x, 0);
  bool took = false;
  if (!x.Held.count(0)) {
    if (x.Handle->Lock(lockByte, 1) != 0) return kWriterAtWork;
    took = true;
  }
  bool rolledBack = x.Journal->RollBackPending();
  if (took) (void)x.Handle->Unlock(lockByte, 1);  // locked above: cannot fail
  return rolledBack ? kChangeRolledBack : kNoChangePending;
}

JournalVerdict JudgeJournal(std::string_view journal, std::string_view index) {
  JournalVerdict verdict;
  auto bytesOf = [](std::string_view s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
  JournalReader read = [&](std::int64_t at, std::uint8_t* bytes, std::size_t size) {
    if (at < 0 || static_cast<std::size_t>(at) + size > journal.size()) return false;
    std::memcpy(bytes, bytesOf(journal) + at, size);
    return true;
  };
  PendingChange p = ReadPending(read);
  if (!p.H.Pending) return verdict;
  verdict.Pending = true;
  verdict.Station = p.H.Station;
  auto recLen = static_cast<std::size_t>(p.H.RecLen);
  std::int64_t length = static_cast<std::int64_t>(index.size() / recLen);
  PageReader readPage = [&](std::int32_t n, std::uint8_t* record) {
    if (n >= length) return false;
    std::memcpy(record, bytesOf(index) + static_cast<std::size_t>(n) * recLen, recLen);
    return true;
  };
  verdict.Reason = Difference(p, p.H.RecLen, length, readPage);
  verdict.RebuildNeeded = !verdict.Reason.empty();
  if (verdict.RebuildNeeded) return verdict;
  verdict.RolledBack = std::string(index.substr(0, std::min(index.size(), static_cast<std::size_t>(p.H.StartLength) * recLen)));
  for (const JournalEntry& e : p.Entries)
    if (e.Page < p.H.StartLength)
      verdict.RolledBack.replace(static_cast<std::size_t>(e.Page) * recLen, recLen,
                                 reinterpret_cast<const char*>(e.PreImage.data()), recLen);
  return verdict;
}

}  // namespace db
