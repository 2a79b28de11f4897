// Index rebuild: an index afresh from its data file, the data file's free
// chain and header laid anew.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/datafile.h"
#include "db/sort.h"

namespace db {

// RebuildIndex builds an index file afresh from a data file and, in the
// same pass, rebuilds the data file's free chain and its header (true
// length, no markers): a sound chain stays and the free records off it go
// in front of it, from the highest down, so a rebuild stopped on the way
// leaves chain and header as they were (the header is written last); a
// broken chain is laid anew from the highest free record down. The parameter line
// is "Datafile Indexfile Rh D Kp Kh [Kp Kh]...": the data file name without
// ".dat", the index name without ".idx", the record length, 1 when equal
// keys are allowed, and 1 to 5 key parts (first byte position, 1-based, and
// length) whose bytes, joined, form each record's key. A single word writes
// the usage line. With two to four words the parameters of the last
// accepted line are used again.
//
// Keys are sorted externally in the index's order and the tree is laid
// down bottom-up from them in one pass, its pages about 81 % full. Without
// duplicates, of keys the index holds as equal (upper-cased) the first in
// the order of the keys as read, equal ones the highest record number
// first, is indexed; the others are listed, in that order, in the skip
// file index name + "_hiba.txt" ("@@@@@@@@@@  kulcs:KEY" lines after the
// data file's name), and after the question "Kimaradt rekordok
// száma: ..." their records are freed. No skipped entry: no skip file.
//
// The data file is opened so that no other station can have it open for
// writing meanwhile; when another station has it open for writing, nothing
// is changed (a station reading it only is let be).
// With ownWindow the rebuild shows its counters in a framed window of its
// own, otherwise in the current window.
struct RebuildResult {
  int Code = 0;        // one of the kRebuild values
  std::string Reason;  // a one-line Hungarian reason when Code != 0
  std::int32_t Read = 0, Indexed = 0, Skipped = 0;  // records in use, keys taken, keys refused
};
inline constexpr int kRebuildDone = 0;  // also: the usage line was written
inline constexpr int kRebuildBadParameters = 1;
inline constexpr int kRebuildNoDataFile = 2;
inline constexpr int kRebuildInUse = 3;  // another station has the data file open
inline constexpr int kRebuildFailed = 4;  // the index or the sort's work file failed
inline constexpr std::string_view kRebuildUsage = "Datafile Indexfile Rh D Kp Kh [Kp Kh]...";
[[nodiscard]] RebuildResult RebuildIndex(bool ownWindow, std::string_view line, const SortSettings& sort = {});
// The parameter checks alone, without the screen or any file: Code 0 when
// RebuildIndex would go on to the files (or write the usage line). A
// refusal names the word as it was typed; a key part without its length is
// refused.
[[nodiscard]] RebuildResult CheckRebuildLine(std::string_view line);
// The same two with the words given one by one, as a program's arguments
// come from the system: a word may hold blanks, and the data file's name is
// shown as shown gives it (a program's arguments converted to code page
// 852, platform::ArgumentToCp852) while the files are used by the names as
// given.
using ShownName = std::string (*)(std::string_view);
[[nodiscard]] RebuildResult RebuildIndexWords(bool ownWindow, const std::vector<std::string>& words, ShownName shown);
[[nodiscard]] RebuildResult CheckRebuildWords(const std::vector<std::string>& words, ShownName shown);

// The key description of a parameter line as the rebuild reads it, for
// the programs that check an index against its data file.
struct KeyDescription {
  struct Part {
    int Pos = 0, Len = 0;  // first byte (1-based) and length
  };
  std::string Data, Index;  // the file names without ".dat" and ".idx", as given
  int RecLen = 0, Duplicates = 0;
  std::vector<Part> Parts;
  // The parts' lengths added up: the index's key length.
  [[nodiscard]] int KeyLength() const;
  // The key the rebuild indexes a record in use under (record: RecLen
  // bytes): its parts joined in their order, cut to 246, upper-cased as
  // the index holds its keys.
  [[nodiscard]] std::string IndexKey(const std::uint8_t* record) const;
};
// Reads the words of a parameter line given one by one (five or more) into
// description: Code 0, or the refusal RebuildIndexWords gives for them.
// Fewer words are refused with the usage line: the last accepted line is
// not used again here.
[[nodiscard]] RebuildResult ReadKeyDescription(const std::vector<std::string>& words, ShownName shown,
                                               KeyDescription& description);

}  // namespace db
