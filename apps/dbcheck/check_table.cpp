// dbcheck table: a data file's records in use against one of its indexes,
// the keys made as reindex makes them from the same words. Both files are
// read as they are: the records as the engine peeks them, the index through
// its structure check, which hands out the items it meets.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "checks.h"
#include "data_records.h"
#include "db/db.h"
#include "platform/codepage.h"
#include "platform/errors.h"

namespace dbcheck {
namespace {

constexpr std::size_t kShownMismatches = 20;

using Items = std::vector<std::pair<std::int32_t, std::string>>;  // record number, key

// The keys of the data file's records in use, by record number (records
// 1..RecordTotal-1; "" for a free one).
struct TableKeys {
  std::vector<std::string> Key;
  std::vector<bool> InUse;
  std::int64_t Count = 0;  // records in use
};

// The mismatches found, said in record number order: the first ones each
// on its line, the others counted.
class Mismatches {
 public:
  explicit Mismatches(std::string prefix) : prefix_(std::move(prefix)) {}
  void Add(std::int32_t record, std::string what) { lines_.emplace_back(record, std::move(what)); }
  std::size_t Count() const { return lines_.size(); }
  void SayThem() {
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < std::min(lines_.size(), kShownMismatches); ++i) Say(prefix_ + lines_[i].second);
    if (lines_.size() > kShownMismatches)
      Say(prefix_ + "... and " + std::to_string(lines_.size() - kShownMismatches) + " more");
  }

 private:
  std::string prefix_;
  std::vector<std::pair<std::int32_t, std::string>> lines_;
};

std::string Quoted(std::string_view key) { return "\"" + platform::Cp852ToUtf8(key) + "\""; }

// The reindex command of the words as given, a word with blanks quoted.
std::string ReindexLine(const std::vector<std::string>& words) {
  std::string line = "reindex";
  for (const std::string& word : words)
    line += word.empty() || word.find_first_of(" \t") != std::string::npos ? " \"" + word + "\"" : " " + word;
  return line;
}

// True when a key part takes the record's last byte: its lock byte.
bool KeyTakesLockByte(const db::KeyDescription& d) {
  return std::any_of(d.Parts.begin(), d.Parts.end(), [&](const auto& p) { return p.Pos + p.Len - 1 == d.RecLen; });
}

// Reads the keys of the data file's records in use. A record a station
// holds is read around its lock byte, unless the key takes that byte
// (busy). Returns 0, or the exit code with the reason said.
int ReadTableKeys(const db::KeyDescription& d, TableKeys& keys) {
  const std::string name = d.Data + ".dat";
  OpenData data;
  if (int code = OpenDataFile(name, d.RecLen, data)) {
    if (code == 1 && data.File->IsOpen())
      Say(name + ": damaged; dbcheck data " + name + " " + std::to_string(d.RecLen) + " tells more");
    return code;
  }
  Records records(*data.File, d.RecLen);
  const auto total = static_cast<std::size_t>(data.Header.RecordTotal);
  keys.Key.assign(total, {});
  keys.InUse.assign(total, false);
  for (std::size_t n = 1; n < total; ++n) {
    auto at = static_cast<std::int64_t>(n);
    int error = records.Read(at);
    if (error == 0 && records.IsHeld(at) && KeyTakesLockByte(d)) error = platform::error::kLockViolation;
    if (error != 0) return Unreadable(name, "record " + std::to_string(n), error);
    if (records.Bytes()[4] == 0) continue;
    keys.InUse[n] = true;
    keys.Key[n] = d.IndexKey(records.Bytes());
    ++keys.Count;
  }
  return 0;
}

// Reads the index's items, its structure checked first. Returns 0, or the
// exit code with the reason said.
int ReadIndexItems(const db::KeyDescription& d, const std::string& reindex, Items& items) {
  const std::string name = d.Index + ".idx";
  const int keyLen = d.KeyLength();
  std::string bytes;
  if (int code = ReadIndexImage(name, keyLen, bytes)) return code;
  auto take = [&](std::int32_t n, std::string_view key) { items.emplace_back(n, std::string(key)); };
  db::IndexCheck check = db::CheckIndexImage(bytes, keyLen, d.Duplicates != 0, take);
  if (check.Fault.empty()) return 0;
  Say(name + ": damaged: " + check.Fault + "; dbcheck index " + name + " " + std::to_string(keyLen) +
      (d.Duplicates != 0 ? " dups" : "") + " tells more; repair: " + reindex);
  return 1;
}

// Every item names a record in use whose key it is.
void MatchItems(const TableKeys& table, const Items& items, Mismatches& out, std::vector<bool>& indexed) {
  indexed.assign(table.Key.size(), false);
  for (const auto& [n, key] : items) {
    std::string item = "key " + Quoted(key) + " points to record " + std::to_string(n);
    if (n < 1 || static_cast<std::size_t>(n) >= table.Key.size())
      out.Add(n, item + ", beyond the data file's last record " + std::to_string(table.Key.size() - 1));
    else if (!table.InUse[n])
      out.Add(n, item + ", which is free");
    else if (table.Key[n] != key)
      out.Add(n, item + ", whose key is " + Quoted(table.Key[n]));
    else
      indexed[n] = true;
  }
}

// Every record in use has its key in the index; without equal keys, one
// whose key another record holds there is named with that record.
void MatchRecords(const TableKeys& table, const Items& items, bool duplicates, const std::vector<bool>& indexed,
                  Mismatches& out) {
  std::map<std::string, std::int32_t> holders;
  if (!duplicates)
    for (const auto& [n, key] : items) holders.emplace(key, n);
  for (std::size_t n = 1; n < table.Key.size(); ++n) {
    if (!table.InUse[n] || indexed[n]) continue;
    std::string record = "record " + std::to_string(n) + " is in use, its key " + Quoted(table.Key[n]);
    auto holder = holders.find(table.Key[n]);
    if (holder != holders.end())
      out.Add(static_cast<std::int32_t>(n), record + " is held by record " + std::to_string(holder->second) +
                                                " (equal keys are not allowed)");
    else
      out.Add(static_cast<std::int32_t>(n), record + " is not in the index");
  }
}

int Usage(const std::string& reason) {
  Say("usage: dbcheck table " + std::string(db::kRebuildUsage) + " (the words of reindex)");
  platform::WriteLine(stdout, reason);
  return 2;
}

}  // namespace

int CheckTable(const std::vector<std::string>& args) {
  db::KeyDescription d;
  if (db::RebuildResult read = db::ReadKeyDescription(args, platform::ArgumentToCp852, d); read.Code != 0) return Usage(read.Reason);
  const std::string reindex = ReindexLine(args);
  TableKeys table;
  Items items;
  if (int code = ReadTableKeys(d, table)) return code;
  if (int code = ReadIndexItems(d, reindex, items)) return code;
  Mismatches mismatches(d.Index + ".idx: ");
  std::vector<bool> indexed;
  MatchItems(table, items, mismatches, indexed);
  MatchRecords(table, items, d.Duplicates != 0, indexed, mismatches);
  const std::string files = d.Data + ".dat, " + d.Index + ".idx: ";
  const std::string counts =
      std::to_string(table.Count) + " records in use, " + std::to_string(items.size()) + " keys";
  if (mismatches.Count() == 0 && table.Count == static_cast<std::int64_t>(items.size())) {
    Say(files + "sound, " + counts);
    return 0;
  }
  mismatches.SayThem();
  Say(files + counts + ", " + std::to_string(mismatches.Count()) + " mismatches; repair: " + reindex);
  return 1;
}

}  // namespace dbcheck
