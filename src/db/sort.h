// External sort: fixed-size records of any number within bounded memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace db {

// Sorts fixed-size records of any number within a bounded memory. Input
// fills the record it is given and returns true, or returns false when there
// are no more; Less orders two records; Output receives the records in order.
// The sort is stable: records equal under Less come out in input order.
//
// Memory stays near MemoryBytes whatever the count: sorted runs of that size
// spill to the work file "SOWK" + station identifier + ".TMP" in Folder (the
// current folder when empty) and are merged many at a time through buffered
// block reads, in several passes when there are more runs than buffers. The
// work file is removed at the end, whether the sort succeeds or fails.
//
// Records whose bytes are mostly padding may be given a packed form: the
// sort then keeps, spills and compares them packed (Packing.Less orders
// packed records as Less orders whole ones), packing each record Input
// fills and unpacking each one before Output. More records fit a run, and
// the work file shrinks by the same measure. Packed records may also have a
// prefix: a number that orders them as Packing.Less does wherever the two
// numbers differ. A run is then sorted on the prefixes, kept beside the
// records' positions, and Less is called only where they are equal.
//
// Returns 0; a Windows error number when the work file fails
// (platform::error::kDiskFull for a full disk); kSortProcedureFailed when a procedure threw (or memory ran out).
// After a failure Output may have received part of the records.
using SortInput = std::function<bool(void* record)>;
using SortLess = std::function<bool(const void* a, const void* b)>;
using SortOutput = std::function<void(const void* record)>;
struct SortPacking {
  std::size_t Size = 0;  // bytes of a packed record; 0: records are not packed
  std::function<void(const void* record, void* packed)> Pack;
  std::function<void(const void* packed, void* record)> Unpack;
  SortLess Less;
  std::function<std::uint64_t(const void* packed)> Prefix;  // may be empty
};
struct SortSettings {
  std::size_t MemoryBytes = std::size_t{64} << 20;
  std::string Folder;
  SortPacking Packing;
};
inline constexpr int kSortProcedureFailed = -1;
[[nodiscard]] int ExternalSort(std::size_t recordSize, const SortInput& input, const SortLess& less,
                               const SortOutput& output, const SortSettings& settings = {});
// The work file's name in folder ("" is the current folder).
[[nodiscard]] std::string SortWorkFileName(std::string_view folder);

}  // namespace db
