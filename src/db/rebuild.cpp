// The index rebuild: the parameter line, the read pass (sort input, which
// also rebuilds the free chain and the header), the index pass (sort
// output) and the freeing of the records whose keys the index refused.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "db/index_internal.h"
#include "db/internal.h"
#include "db/journal.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/fs.h"
#include "text/text.h"

namespace db {
namespace {

using namespace platform::literals;
using internal::RecordOffset;

constexpr int kMaxKeyParts = 5;
constexpr std::int32_t kCounterStep = 1000;  // counters are redrawn this often

using Part = KeyDescription::Part;

struct Parameters : KeyDescription {
  std::vector<std::string> Words;  // as given, for the messages
  std::string Shown;  // the data file's name for the screen (code page 852)
};

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (true) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string_view::npos) return words;
    std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
    words.emplace_back(line.substr(at, end - at));
    at = end;
  }
}

// A decimal 16-bit integer; a word that is not one gives 0.
int WordNumber(std::string_view word) {
  std::size_t at = word.size() > 0 && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  if (at == word.size() || word.size() - at > 5) return 0;
  long value = 0;
  for (std::size_t i = at; i < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return 0;
    value = value * 10 + (word[i] - '0');
  }
  if (word[0] == '-') value = -value;
  return value < -32768 || value > 32767 ? 0 : static_cast<int>(value);
}

// shown turns the data file's name into code page 852 for the screen.
Parameters ReadWords(const std::vector<std::string>& words, ShownName shown) {
  Parameters p;
  p.Words = words;
  p.Data = words[0];
  p.Index = words[1];
  p.Shown = shown(p.Data);
  p.RecLen = WordNumber(words[2]);
  p.Duplicates = WordNumber(words[3]);
  int parts = static_cast<int>((words.size() - 4) / 2);
  for (int i = 0; i < parts; ++i)
    p.Parts.push_back({WordNumber(words[4 + 2 * i]), WordNumber(words[5 + 2 * i])});
  return p;
}

RebuildResult Refused(int code, std::string reason) { return {code, std::move(reason)}; }

std::string Num(std::int64_t n) { return std::to_string(n); }

// Everything that would make the rebuild read or write out of bounds, or
// leave a word unused. The messages name the words as they were typed.
RebuildResult CheckParameters(const Parameters& p) {
  constexpr int kBad = kRebuildBadParameters;
  const std::vector<std::string>& w = p.Words;
  if (p.RecLen < kMinRecLen || p.RecLen > kMaxRecLen)
    return Refused(kBad, std::string("Hibás rekordhossz: "_cp) + w[2] +
                             " (" + Num(kMinRecLen) + std::string(" és "_cp) + Num(kMaxRecLen) +
                             std::string(" között lehet)"_cp));
  if (p.Duplicates != 0 && p.Duplicates != 1)
    return Refused(kBad, std::string("Hibás D érték: "_cp) + w[3] + " (0 vagy 1 lehet)");
  if (w.size() % 2 != 0)
    return Refused(kBad, std::string("Hiányzik a kulcsrész hossza: "_cp) + w.back() +
                             std::string(" (minden kezdöpozíció után hossz kell)"_cp));
  if (p.Parts.empty() || p.Parts.size() > kMaxKeyParts)
    return Refused(kBad, std::string("Hibás a kulcsrészek száma: "_cp) + Num(static_cast<std::int64_t>(p.Parts.size())) +
                             " (1-5 lehet)");
  for (std::size_t i = 0; i < p.Parts.size(); ++i)
    if (const Part& part = p.Parts[i]; part.Pos < 1 || part.Len < 1 || part.Pos + part.Len - 1 > p.RecLen)
      return Refused(kBad, std::string("Hibás kulcsrész: "_cp) + w[4 + 2 * i] + " " + w[5 + 2 * i] +
                               std::string(" (a rekordon belül kell lennie)"_cp));
  if (p.KeyLength() > kMaxKeyLen)
    return Refused(kBad, std::string("Túl hosszú kulcs: "_cp) + Num(p.KeyLength()) +
                             std::string(" (legfeljebb 246 lehet)"_cp));
  return {};
}

// Every byte as the index holds it: upper-cased (text::UpperCaseText).
const std::array<std::uint8_t, 256>& IndexUpper() {
  static const std::array<std::uint8_t, 256> upper = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
      table[c] = static_cast<std::uint8_t>(text::UpperCaseText(std::string(1, static_cast<char>(c)))[0]);
    return table;
  }();
  return upper;
}

// The record's key parts joined in their order, as read, cut to 246, into
// key; their length.
std::size_t JoinKeyParts(const KeyDescription& d, const std::uint8_t* record, std::uint8_t* key) {
  std::size_t length = 0;
  for (const Part& part : d.Parts) {
    std::size_t take = std::min<std::size_t>(part.Len, kMaxKeyLen - length);
    std::memcpy(key + length, record + part.Pos - 1, take);
    length += take;
  }
  return length;
}

// Ten digits with leading zeros (the picture "@@@@@@@@@@").
void TenDigits(std::uint32_t value, std::uint8_t* out) {
  for (int i = 9; i >= 0; --i, value /= 10) out[i] = static_cast<std::uint8_t>('0' + value % 10);
}

// ---- The sort record --------------------------------------------------------
//
//   0  247  Key       length byte and up to 246 characters (as read)
//  247   4  RecordNo  int32
//
// The index pass lays the tree down as the records come, so they come in
// the index's own order: by their keys as the index holds them
// (upper-cased); equal ones by record number with duplicates allowed,
// otherwise by the keys as read, of equal ones the highest record number
// first. Without duplicates the first of each run of equal keys is the one
// indexed and the others are refused.

constexpr std::size_t kSortRecordSize = 247 + 4;
constexpr std::size_t kKeyAt = 0, kRecordNoAt = 247;

void MakeSortRecord(std::uint8_t* rec, const std::uint8_t* key, std::size_t keyLen, std::int32_t n) {
  rec[kKeyAt] = static_cast<std::uint8_t>(keyLen);
  std::memcpy(rec + kKeyAt + 1, key, keyLen);
  StoreInt32(rec + kRecordNoAt, n);
}

std::string_view KeyOf(const std::uint8_t* rec) {
  return {reinterpret_cast<const char*>(rec + kKeyAt + 1), rec[kKeyAt]};
}

std::int32_t RecordNoOf(const std::uint8_t* rec) { return LoadInt32(rec + kRecordNoAt); }

// The order of the sort records of one rebuild, whose keys all have the
// index's key length.
class SortOrder {
 public:
  SortOrder(std::size_t keyLen, bool duplicates) : keyLen_(keyLen), duplicates_(duplicates) {}

  // Keys ka, kb (keyLen bytes as read) with their record numbers.
  bool Less(const std::uint8_t* ka, std::int32_t na, const std::uint8_t* kb, std::int32_t nb) const {
    std::size_t i = FirstDifference(ka, kb);
    if (i == keyLen_) return duplicates_ ? na < nb : na > nb;
    for (std::size_t j = i; j < keyLen_; ++j)
      if (upper_[ka[j]] != upper_[kb[j]]) return upper_[ka[j]] < upper_[kb[j]];
    return duplicates_ ? na < nb : ka[i] < kb[i];  // the same key in the index
  }

  // The key as the index holds it.
  void Upper(std::string_view key, std::string& out) const {
    out.resize(key.size());
    for (std::size_t i = 0; i < key.size(); ++i)
      out[i] = static_cast<char>(upper_[static_cast<std::uint8_t>(key[i])]);
  }

  // The key's first eight bytes as the index holds them, as a number that
  // orders as Less wherever two of them differ.
  std::uint64_t Prefix(const std::uint8_t* key) const {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i) prefix = prefix << 8 | (i < keyLen_ ? upper_[key[i]] : 0);
    return prefix;
  }

  std::size_t KeyLength() const { return keyLen_; }

 private:
  std::size_t FirstDifference(const std::uint8_t* a, const std::uint8_t* b) const {
    std::size_t i = 0;
    for (std::uint64_t wa, wb; i + 8 <= keyLen_; i += 8) {
      std::memcpy(&wa, a + i, 8);
      std::memcpy(&wb, b + i, 8);
      if (wa != wb) break;
    }
    while (i < keyLen_ && a[i] == b[i]) ++i;
    return i;
  }

  std::size_t keyLen_;
  bool duplicates_;
  const std::array<std::uint8_t, 256>& upper_ = IndexUpper();
};

SortLess SortRecordLess(const SortOrder& order) {
  return [&order](const void* a, const void* b) {
    const auto* ra = static_cast<const std::uint8_t*>(a);
    const auto* rb = static_cast<const std::uint8_t*>(b);
    return order.Less(ra + kKeyAt + 1, RecordNoOf(ra), rb + kKeyAt + 1, RecordNoOf(rb));
  };
}

// The sort records as the sort keeps them: the key's bytes and RecordNo,
// keyLen + 4 bytes instead of 251.
SortPacking PackedSortRecords(const SortOrder& order) {
  const std::size_t keyLen = order.KeyLength();
  SortPacking packing;
  packing.Size = keyLen + 4;
  packing.Pack = [keyLen](const void* record, void* packed) {
    const auto* rec = static_cast<const std::uint8_t*>(record);
    auto* out = static_cast<std::uint8_t*>(packed);
    std::memcpy(out, rec + kKeyAt + 1, keyLen);
    std::memcpy(out + keyLen, rec + kRecordNoAt, 4);
  };
  packing.Unpack = [keyLen](const void* packed, void* record) {
    const auto* in = static_cast<const std::uint8_t*>(packed);
    MakeSortRecord(static_cast<std::uint8_t*>(record), in, keyLen, LoadInt32(in + keyLen));
  };
  packing.Less = [keyLen, &order](const void* a, const void* b) {
    const auto* pa = static_cast<const std::uint8_t*>(a);
    const auto* pb = static_cast<const std::uint8_t*>(b);
    return order.Less(pa, LoadInt32(pa + keyLen), pb, LoadInt32(pb + keyLen));
  };
  packing.Prefix = [&order](const void* packed) { return order.Prefix(static_cast<const std::uint8_t*>(packed)); };
  return packing;
}

// The sort record of data record n: its key parts joined, cut to 246.
void MakeKeyRecord(const Parameters& p, const std::uint8_t* record, std::int32_t n, std::uint8_t* rec) {
  std::uint8_t key[kMaxKeyLen];
  MakeSortRecord(rec, key, JoinKeyParts(p, record, key), n);
}

// The order of the skip file's lines: keys as read, equal ones the highest
// record number first.
bool ReadKeyLess(const void* a, const void* b) {
  const auto* ra = static_cast<const std::uint8_t*>(a);
  const auto* rb = static_cast<const std::uint8_t*>(b);
  if (KeyOf(ra) != KeyOf(rb)) return KeyOf(ra) < KeyOf(rb);
  return RecordNoOf(ra) > RecordNoOf(rb);
}

// ---- Screen -------------------------------------------------------------------

// A running counter: its label on the output's current line, the number
// (picture "######") redrawn after it.
class Counter {
 public:
  Counter(std::string_view dataName, std::string_view what)
      : view_(CurrentHost().ShowCounter(
            text::PadRight(internal::WithoutFolder(dataName) + std::string(what), 24, ' ') + ": ")) {
    Show();
  }
  void Add() {
    if (++value_ % kCounterStep == 0) Show();
  }
  void Show() {
    if (view_) view_->Write(1, 1, text::FormatPicture("######", value_));
  }
  std::int32_t Value() const { return value_; }

 private:
  std::unique_ptr<HostView> view_;
  std::int32_t value_ = 0;
};

// The rebuild's window (ownWindow) or its title line in the current window.
class RebuildScreen {
 public:
  RebuildScreen(bool ownWindow, const std::string& dataName)
      : view_(CurrentHost().ShowRebuild(ownWindow, " " + dataName + " ")) {}

 private:
  std::unique_ptr<HostView> view_;
};

// ---- Files -----------------------------------------------------------------------

// The engine's fatal-error path for a failed read or write of the data file.
void CheckRecordIO(DataFile& f, std::int32_t n, int platformResult) {
  if (platformResult == 0) return;
  State().LastIOResult = static_cast<std::int16_t>(internal::EngineResult(platformResult));
  CheckDataIO(f, n);
}

// A text file written through a block buffer, lines ending in CR LF.
class SkipFile {
 public:
  explicit SkipFile(std::string name) : name_(std::move(name)) {}
  ~SkipFile() { Close(); }
  // Creates the file, or empties it to write it again.
  bool Create() {
    Close();
    offset_ = 0;
    return file_->Create(name_, platform::share::kReadWriteDenyWrite) == 0;
  }
  void Line(std::string_view line) {
    buffer_.append(line).append("\r\n");
    if (buffer_.size() >= 64 * 1024) Flush();
  }
  void Close() {
    if (!file_->IsOpen()) return;
    Flush();
    file_->Close();
  }

 private:
  void Flush() {
    std::size_t written = 0;
    // What does not fit is lost; written counts what went.
    (void)file_->WriteAt(offset_, buffer_.data(), buffer_.size(), written);
    offset_ += static_cast<std::int64_t>(written);
    buffer_.clear();
  }
  std::string name_;
  std::unique_ptr<platform::File> file_ = platform::NewFile();
  std::string buffer_;
  std::int64_t offset_ = 0;
};

// ---- Read pass ---------------------------------------------------------------------

// The data file's header as its bytes stand, when it can be read and makes
// sense.
std::optional<FileHeader> SaneHeader(DataFile& data) {
  std::uint8_t bytes[kHeaderSize] = {};
  std::size_t got = 0;
  if (data.Handle->ReadAt(0, bytes, sizeof bytes, got) != 0 || got < sizeof bytes) return std::nullopt;
  FileHeader header = FileHeader::Decode(bytes);
  if (!header.Sane()) return std::nullopt;
  return header;
}

// Hands the in-use records' sort records to the sort one by one, noting the
// free ones; at the end puts every free record on the free chain and
// writes the new header. A sound chain stays as it is and the free records
// off it go before it, so a rebuild stopped on the way leaves the chain and
// the header as they were; a broken chain is laid anew.
class ReadPass {
 public:
  ReadPass(DataFile& data, const Parameters& p, std::int32_t total)
      : data_(data), p_(p), total_(total),
        blockRecs_(std::max<std::int32_t>(1, (1 << 20) / p.RecLen)),
        block_(static_cast<std::size_t>(blockRecs_) * p.RecLen), counter_(p.Shown, " beolvasott") {}

  bool Next(void* rec) {
    while (n_ < total_) {
      std::uint8_t* record = Fetch();
      if (record == nullptr) break;
      std::int32_t n = n_++;
      if (record[4] != 0) {
        TakeKey(record, n, static_cast<std::uint8_t*>(rec));
        return true;
      }
      Free(record, n);
    }
    Finish();
    return false;
  }

 private:
  // Record n_ from the block buffer, reading the next block when needed;
  // nullptr at the end of the file.
  std::uint8_t* Fetch() {
    if (n_ >= blockFirst_ + blockCount_) {
      blockFirst_ = n_;
      blockCount_ = std::min(blockRecs_, total_ - n_);
      std::size_t got = 0;
      std::size_t want = static_cast<std::size_t>(blockCount_) * p_.RecLen;
      CheckRecordIO(data_, n_, data_.Handle->ReadAt(RecordOffset(data_, n_), block_.data(), want, got));
      blockCount_ = static_cast<std::int32_t>(got / p_.RecLen);
      if (blockCount_ == 0) return nullptr;
    }
    return block_.data() + static_cast<std::size_t>(n_ - blockFirst_) * p_.RecLen;
  }

  void TakeKey(const std::uint8_t* record, std::int32_t n, std::uint8_t* rec) {
    MakeKeyRecord(p_, record, n, rec);
    counter_.Add();
  }

  void Free(const std::uint8_t* record, std::int32_t n) { links_[n] = LoadInt32(record); }

  // The free records on the chain from the header's head; empty when the
  // header makes no sense, or the chain leaves the free records or comes
  // round to one again.
  std::set<std::int32_t> SoundChain(std::int32_t& head) const {
    std::optional<FileHeader> header = SaneHeader(data_);
    if (!header) return {};
    head = header->FreeHead;
    std::set<std::int32_t> chain;
    for (std::int32_t at = head; at != -1;) {
      auto link = links_.find(at);
      if (link == links_.end() || !chain.insert(at).second) return {};
      at = link->second;
    }
    return chain;
  }

  // Links record n in front of the chain (its first four bytes).
  void Prepend(std::int32_t n) {
    std::uint8_t link[4];
    StoreInt32(link, freeHead_);
    std::size_t written = 0;
    int result = data_.Handle->WriteAt(RecordOffset(data_, n), link, sizeof link, written);
    CheckRecordIO(data_, n, result == 0 && written < sizeof link ? platform::error::kDiskFull : result);
    freeHead_ = n;
    ++freeCount_;
  }

  void Finish() {
    if (finished_) return;
    finished_ = true;
    std::int32_t head = -1;
    std::set<std::int32_t> chain = SoundChain(head);
    if (!chain.empty()) {
      freeHead_ = head;
      freeCount_ = static_cast<std::int32_t>(chain.size());
    }
    for (const auto& [n, link] : links_)
      if (!chain.count(n)) Prepend(n);
    std::vector<std::uint8_t> header(static_cast<std::size_t>(p_.RecLen), 0);
    FileHeader{.FreeHead = freeHead_, .FreeCount = freeCount_, .RootPage = 0,
               .RecordTotal = std::max<std::int32_t>(total_, 1)}
        .Encode(header.data());
    CheckRecordIO(data_, 0, WriteRecordAt(0, header.data()));
    counter_.Show();
  }

 public:
  std::int32_t Taken() const { return counter_.Value(); }

 private:
  int WriteRecordAt(std::int32_t n, const std::uint8_t* record) {
    std::size_t written = 0;
    int result = data_.Handle->WriteAt(RecordOffset(data_, n), record, p_.RecLen, written);
    return result == 0 && written < static_cast<std::size_t>(p_.RecLen) ? platform::error::kDiskFull : result;
  }

  DataFile& data_;
  const Parameters& p_;
  std::int32_t total_, n_ = 1;
  std::int32_t blockRecs_, blockFirst_ = 0, blockCount_ = 0;
  std::vector<std::uint8_t> block_;
  std::map<std::int32_t, std::int32_t> links_;  // the free records, and their links as found
  std::int32_t freeHead_ = -1, freeCount_ = 0;
  bool finished_ = false;
  Counter counter_;
};

// ---- Index pass -------------------------------------------------------------------

// Every page of the rebuilt index but the last ones of each level (16 to
// 32 items) and the root holds this many items: 26 of 32, about 81 %.
// Measured on 1,000,000 random 20-byte keys (bench/rebuild_vs_sqlite
// --ours-only --inserts=100000), the file is 34.2 MiB (fill 24: 37.1,
// 27: 33.0, 28: 31.8, 32: 27.8; pages half full as inserts leave them:
// 55.6), and 100,000 random inserts afterwards add 0.9 MiB of split pages
// (24: none, 27: 2.4, 28: 6.1, 32: 27.1) at about the rate of inserts into
// half-full pages, where fuller pages split at most inserts and slow them.
constexpr int kPageFill = 26;

// Lays the sorted keys down as the new index's tree; the refused ones go to
// the skip file.
class IndexPass {
 public:
  IndexPass(IndexFile& index, const Parameters& p, const SortOrder& order)
      : p_(p), order_(order), builder_(index, kPageFill), skip_(SkipFileName(p)) {}

  static std::string SkipFileName(const Parameters& p) { return p.Index + "_hiba.txt"; }

  void Take(const void* record) {
    Begin();
    const auto* rec = static_cast<const std::uint8_t*>(record);
    order_.Upper(KeyOf(rec), key_);
    if (p_.Duplicates != 0 || counter_->Value() == 0 || key_ != last_) {
      builder_.Add(RecordNoOf(rec), key_);
      last_.swap(key_);
      return counter_->Add();
    }
    Refuse(rec);
  }

  // Ends the pass (begun or not): the last pages, then the skip file. Its
  // lines come in the order of the keys as read; where the index's order
  // gave them otherwise (keys that differ in letter case), they are sorted
  // again, their keys read from data once more. Returns the sort's result.
  int Finish(DataFile& data, const SortSettings& sort) {
    Begin();
    builder_.Finish();
    counter_->Show();
    int sorted = inReadOrder_ ? 0 : ListAgainInReadOrder(data, sort);
    skip_.Close();
    return sorted;
  }
  std::int32_t Indexed() const { return counter_ ? counter_->Value() : 0; }
  // The record numbers of the refused entries, in the skip file's order.
  const std::vector<std::int32_t>& Skipped() const { return skipped_; }

 private:
  void Begin() {
    if (counter_) return;
    skip_.Create();
    skip_.Line(p_.Data);
    counter_.emplace(p_.Shown, " indexelt");
  }

  void Refuse(const std::uint8_t* rec) {
    std::string_view key = KeyOf(rec);
    std::int32_t n = RecordNoOf(rec);
    if (!skipped_.empty() && (key < lastRefused_ || (key == lastRefused_ && n > skipped_.back())))
      inReadOrder_ = false;
    lastRefused_.assign(key);
    skipped_.push_back(n);
    skip_.Line(SkipLine(rec));
  }

  static std::string SkipLine(const std::uint8_t* rec) {
    std::uint8_t digits[10];
    TenDigits(static_cast<std::uint32_t>(RecordNoOf(rec)), digits);
    return std::string(reinterpret_cast<char*>(digits), 10) + "  kulcs:" + std::string(KeyOf(rec));
  }

  int ListAgainInReadOrder(DataFile& data, const SortSettings& sort) {
    std::vector<std::int32_t> refused;
    refused.swap(skipped_);
    skip_.Create();
    skip_.Line(p_.Data);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(p_.RecLen));
    std::size_t next = 0;
    auto input = [&](void* rec) {
      if (next == refused.size()) return false;
      std::int32_t n = refused[next++];
      std::size_t got = 0;
      int result = data.Handle->ReadAt(RecordOffset(data, n), record.data(), record.size(), got);
      CheckRecordIO(data, n, result == 0 && got < record.size() ? kReadError : result);
      MakeKeyRecord(p_, record.data(), n, static_cast<std::uint8_t*>(rec));
      return true;
    };
    auto output = [&](const void* rec) {
      skipped_.push_back(RecordNoOf(static_cast<const std::uint8_t*>(rec)));
      skip_.Line(SkipLine(static_cast<const std::uint8_t*>(rec)));
    };
    return ExternalSort(kSortRecordSize, input, ReadKeyLess, output, sort);
  }

  const Parameters& p_;
  const SortOrder& order_;
  IndexBuilder builder_;
  SkipFile skip_;
  std::optional<Counter> counter_;
  std::string key_, last_;  // the key taken, the last one indexed (as the index holds them)
  std::vector<std::int32_t> skipped_;
  std::string lastRefused_;  // as read
  bool inReadOrder_ = true;  // the skip file's lines so far
};

// "Kimaradt rekordok száma: ..." and, on yes, the skipped records still in
// use are freed. The numbers are the ones the index pass kept, not read
// back from the skip file: a key may hold a line break.
void OfferToFreeSkipped(const Parameters& p, const std::vector<std::int32_t>& skipped) {
  std::string question = std::string("Kimaradt rekordok száma: "_cp) +
                         text::FormatPicture("######", static_cast<double>(skipped.size())) + '\0' +
                         std::string("Töröljem?  I/N"_cp);
  if (CurrentHost().Ask(question, "IN") != 1) return;
  DataFile data;
  if (!OpenDataFile(data, p.Data + ".dat", p.RecLen).Ok()) return;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(p.RecLen));
  for (std::int32_t n : skipped) {
    if (n <= 0 || n >= RecordCount(data)) continue;
    ReadRecord(data, n, buffer.data());
    if (RecordInUse()) FreeRecordWith(data, n, buffer.data());
  }
  EndOnFailure(CloseDataFile(data));
}

// True when the bytes of the file from offset to its end are all zero: the
// records a station stopped in the middle of an append leaves beyond the
// header's record total.
bool ZerosFrom(platform::File& file, std::int64_t offset, std::int64_t size) {
  std::vector<char> block(64 * 1024);
  while (offset < size) {
    std::size_t got = 0;
    auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - offset, std::ssize(block)));
    if (file.ReadAt(offset, block.data(), want, got) != 0 || got == 0) return false;
    auto end = block.begin() + static_cast<std::ptrdiff_t>(got);
    if (std::any_of(block.begin(), end, [](char c) { return c != 0; })) return false;
    offset += static_cast<std::int64_t>(got);
  }
  return true;
}

// A header that makes sense counts the file's records; when that count
// times the record length is not the file's size (beyond appends cut
// short), the length given is not the file's, and the rebuild would cut
// the records wrongly and garble them: refused before anything is written,
// naming the length the header suggests. A header that makes no sense is
// damage that the rebuild repairs, and is let be.
RebuildResult CheckAgainstHeader(DataFile& data, const Parameters& p, std::int64_t size) {
  std::optional<FileHeader> sane = size == 0 ? std::nullopt : SaneHeader(data);
  if (!sane) return {};
  const FileHeader& header = *sane;
  std::int64_t counted = static_cast<std::int64_t>(header.RecordTotal) * p.RecLen;
  if (counted == size || (counted < size && ZerosFrom(*data.Handle, counted, size)))
    return {};
  std::string reason = std::string("Az adatfájl fejléce "_cp) + Num(header.RecordTotal) +
                       std::string(" rekordot számol, ami "_cp) + Num(p.RecLen) +
                       std::string(" bájtos rekordhosszal nem adja ki a "_cp) + Num(size) +
                       std::string(" bájtos méretet"_cp);
  std::int64_t suggested = size / header.RecordTotal;
  if (size % header.RecordTotal == 0 && suggested >= kMinRecLen && suggested <= kMaxRecLen)
    reason += std::string("; a fájl szerint a rekordhossz "_cp) + Num(suggested);
  return Refused(kRebuildBadParameters, reason + ": " + p.Shown + ".dat");
}

// Opens the data file for the rebuild: deny-write, its size a multiple of
// the record length and its header's record total in accord with it.
RebuildResult OpenForRebuild(DataFile& data, const Parameters& p, std::int32_t& total) {
  std::string name = p.Data + ".dat", shown = p.Shown + ".dat";
  if (!platform::FileExists(name))
    return Refused(kRebuildNoDataFile, std::string("Nem található az adatfájl: "_cp) + shown);
  data.Name = name;
  data.RecLen = p.RecLen;
  data.OpenMode = kModeExclusive;
  int result = data.Handle->Open(name, platform::share::kReadWriteDenyWrite);
  if (result == platform::error::kSharingViolation)
    return Refused(kRebuildInUse, std::string("Az adatfájlt más állomás is használja, most nem indexelhetö újra: "_cp) + shown);
  if (result != 0)
    return Refused(kRebuildNoDataFile, std::string("Az adatfájl nem nyitható meg: "_cp) + shown + " (" +
                                           ErrorText(internal::EngineResult(result)) + ")");
  std::int64_t size = 0;
  (void)data.Handle->Size(size);  // untold, it stays 0: an empty file
  if (size % p.RecLen != 0 || size / p.RecLen > INT32_MAX)
    return Refused(kRebuildBadParameters, std::string("Az adatfájl mérete nem többszöröse a rekordhossznak ("_cp) +
                                              Num(p.RecLen) + "): " + shown);
  total = static_cast<std::int32_t>(size / p.RecLen);
  return CheckAgainstHeader(data, p, size);
}

// Table changes that stopped stations left half done are settled before
// the index is read from the records (a change half written would give
// the index a key that the next open takes back). A header that makes no
// sense is left for the rebuild to repair: nothing is settled then.
void SettleTableChanges(DataFile& data) {
  if (!platform::FileExists(TableJournalName(data.Name))) return;
  std::optional<FileHeader> header = SaneHeader(data);
  if (!header) return;
  data.Header = *header;
  data.CachedLength = header->RecordTotal;
  (void)RecoverTableChanges(data, {});
}

// The new index is built under this name and takes the index's own only
// when it is complete: a rebuild that stops leaves the old index as it was.
// What a killed rebuild left under it, the next one empties.
std::string AsideIndexName(const Parameters& p) { return p.Index + ".idx.uj"; }

RebuildResult CreateForRebuild(IndexFile& index, const Parameters& p) {
  std::string name = p.Index + ".idx";
  SetOpenMode(kModeExclusive, 0);
  Result created = CreateIndex(index, AsideIndexName(p), p.KeyLength(), p.Duplicates);
  RestoreOpenMode();
  if (created.Ok()) return {};
  int code = created.Code == platform::error::kAccessDenied ? kRebuildInUse : kRebuildFailed;
  return Refused(code, std::string("Az indexfájl nem hozható létre: "_cp) + name + " (" + ErrorText(LastIOResult()) + ")");
}

// Puts the complete new index in the old one's place. The journal beside
// the old index is emptied first: a change pending there must never meet
// the new index, and a kill between the two steps leaves the old index
// without it rather than the new one with it.
RebuildResult PutIndexInPlace(const Parameters& p) {
  std::string name = p.Index + ".idx";
  DiscardJournal(name);
  int result = platform::RenameFile(AsideIndexName(p), name);
  if (result == 0) return {};
  (void)platform::EraseFile(AsideIndexName(p));
  bool held = result == platform::error::kAccessDenied || result == platform::error::kSharingViolation;
  return Refused(held ? kRebuildInUse : kRebuildFailed,
                 std::string("Az új index nem tehetö a régi helyére, a régi maradt: "_cp) + name + " (" +
                     ErrorText(internal::EngineResult(result)) + ")");
}

// Builds the index aside from the open data file (reading it, rewriting
// its free chain and header); sorted is the sort's result. A fatal end on
// the way takes the unfinished index away before it goes on.
RebuildResult BuildAside(DataFile& data, const Parameters& p, std::int32_t total,
                         const SortSettings& sort, int& sorted, std::vector<std::int32_t>& skipped) {
  RebuildResult done;
  try {
    internal::LockingSwitch suspended(false);
    IndexFile index;
    if (RebuildResult created = CreateForRebuild(index, p); created.Code != 0) return created;
    SortOrder order(static_cast<std::size_t>(p.KeyLength()), p.Duplicates != 0);
    ReadPass reader(data, p, total);
    IndexPass indexer(index, p, order);
    SortSettings packed = sort;
    packed.Packing = PackedSortRecords(order);
    sorted = ExternalSort(
        kSortRecordSize, [&](void* rec) { return reader.Next(rec); }, SortRecordLess(order),
        [&](const void* rec) { indexer.Take(rec); }, packed);
    if (int listed = indexer.Finish(data, sort); sorted == 0) sorted = listed;
    done.Read = reader.Taken();
    done.Indexed = indexer.Indexed();
    skipped = indexer.Skipped();
    done.Skipped = static_cast<std::int32_t>(skipped.size());
    data.Handle->Close();
    EndOnFailure(CloseIndex(index));  // the new index's header: it must be whole before it replaces the old
  } catch (...) {  // the program's end on the way, among others
    (void)platform::EraseFile(AsideIndexName(p));
    throw;
  }
  return done;
}

RebuildResult Rebuild(bool ownWindow, const Parameters& p, const SortSettings& sort) {
  RebuildScreen screen(ownWindow, p.Shown);
  DataFile data;
  std::int32_t total = 0;
  if (RebuildResult opened = OpenForRebuild(data, p, total); opened.Code != 0) return opened;
  SettleTableChanges(data);
  std::vector<std::int32_t> skipped;
  int sorted = 0;
  RebuildResult done = BuildAside(data, p, total, sort, sorted, skipped);
  if (done.Code == 0 && sorted != 0) {
    done.Code = kRebuildFailed;
    done.Reason = std::string("A rendezés nem sikerült: "_cp) +
                  (sorted == kSortProcedureFailed ? std::string("belsö hiba"_cp) : ErrorText(sorted));
  }
  if (done.Code != 0) {
    (void)platform::EraseFile(AsideIndexName(p));  // it may never have been made
    return done;
  }
  if (RebuildResult placed = PutIndexInPlace(p); placed.Code != 0) return placed;
  if (!skipped.empty()) OfferToFreeSkipped(p, skipped);
  else (void)platform::EraseFile(IndexPass::SkipFileName(p));  // there may be none
  return done;
}

// The parameters of five words or more, checked.
RebuildResult OwnParameters(const std::vector<std::string>& words, ShownName shown,
                            Parameters& p) {
  if (words.size() < 5)
    return Refused(kRebuildBadParameters,
                   std::string("Hiányzó paraméterek; használat: "_cp) + std::string(kRebuildUsage));
  p = ReadWords(words, shown);
  return CheckParameters(p);
}

// The parameters the words stand for: their own (five words or more,
// checked), or the last accepted words'. shown gives the data file's name
// for the screen.
RebuildResult ParametersOf(std::vector<std::string> words, ShownName shown,
                           Parameters& p) {
  if (words.size() < 5) words = State().RebuildWords;
  return OwnParameters(words, shown, p);
}

std::string AsItStands(std::string_view text) { return std::string(text); }

RebuildResult CheckWords(const std::vector<std::string>& words, ShownName shown) {
  Parameters p;
  return words.size() == 1 ? RebuildResult{} : ParametersOf(words, shown, p);
}

RebuildResult RebuildWords(bool ownWindow, const std::vector<std::string>& words,
                           ShownName shown, const SortSettings& sort) {
  if (words.size() == 1) {
    CurrentHost().Line(kRebuildUsage);
    return {};
  }
  Parameters p;
  if (RebuildResult checked = ParametersOf(words, shown, p); checked.Code != 0) return checked;
  if (words.size() >= 5) State().RebuildWords = words;
  return Rebuild(ownWindow, p, sort);
}

}  // namespace

RebuildResult CheckRebuildLine(std::string_view line) { return CheckWords(Words(line), AsItStands); }

RebuildResult RebuildIndex(bool ownWindow, std::string_view line, const SortSettings& sort) {
  return RebuildWords(ownWindow, Words(line), AsItStands, sort);
}

RebuildResult CheckRebuildWords(const std::vector<std::string>& words, ShownName shown) {
  return CheckWords(words, shown);
}

RebuildResult RebuildIndexWords(bool ownWindow, const std::vector<std::string>& words, ShownName shown) {
  return RebuildWords(ownWindow, words, shown, {});
}

int KeyDescription::KeyLength() const {
  int sum = 0;
  for (const Part& part : Parts) sum += part.Len;
  return sum;
}

std::string KeyDescription::IndexKey(const std::uint8_t* record) const {
  std::uint8_t joined[kMaxKeyLen];
  std::size_t length = std::min(JoinKeyParts(*this, record, joined), static_cast<std::size_t>(KeyLength()));
  std::string key(length, '\0');
  for (std::size_t i = 0; i < length; ++i) key[i] = static_cast<char>(IndexUpper()[joined[i]]);
  return key;
}

RebuildResult ReadKeyDescription(const std::vector<std::string>& words, ShownName shown,
                                 KeyDescription& description) {
  Parameters p;
  RebuildResult read = OwnParameters(words, shown, p);
  description = p;
  return read;
}

}  // namespace db
