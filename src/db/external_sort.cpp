// The external sort: sorted runs in memory, spilled to a work file and
// merged k ways with a heap, stably (ties go to the earlier run).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "db/db.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"

namespace db {
namespace {

using platform::error::kDiskFull;
constexpr std::size_t kMinBlockBytes = 64 * 1024;

// An I/O failure of the work file, carried out to ExternalSort.
struct IoError {
  int code;
};

void Check(int code) {
  if (code != 0) throw IoError{code};
}

struct Run {
  std::int64_t offset, count;
};

// The work file: created on construction, closed and removed on destruction.
class WorkFile {
 public:
  explicit WorkFile(std::string path) : path_(std::move(path)) {
    Check(file_->Create(path_, platform::share::kReadWriteDenyWrite));
  }
  ~WorkFile() {
    file_->Close();
    (void)platform::EraseFile(path_);  // a work file left behind harms no one
  }
  void Write(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
    std::size_t written = 0;
    Check(file_->WriteAt(offset, data, size, written));
    if (written != size) throw IoError{kDiskFull};
  }
  void Read(std::int64_t offset, std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    Check(file_->ReadAt(offset, data, size, got));
    if (got != size) throw IoError{platform::error::kHandleEof};
  }

 private:
  std::string path_;
  std::unique_ptr<platform::File> file_ = platform::NewFile();
};

// Appends records to the work file through a block buffer; Finish flushes
// and returns the run written.
class RunWriter {
 public:
  RunWriter(WorkFile& file, std::int64_t offset, std::size_t recSize, std::size_t blockRecs)
      : file_(file), start_(offset), next_(offset), recSize_(recSize), block_(recSize * blockRecs) {}
  void Put(const std::uint8_t* rec) {
    if (used_ == block_.size()) Flush();
    std::memcpy(block_.data() + used_, rec, recSize_);
    used_ += recSize_;
    ++count_;
  }
  Run Finish() {
    Flush();
    return {start_, count_};
  }

 private:
  void Flush() {
    file_.Write(next_, block_.data(), used_);
    next_ += static_cast<std::int64_t>(used_);
    used_ = 0;
  }
  WorkFile& file_;
  std::int64_t start_, next_, count_ = 0;
  std::size_t recSize_;
  std::vector<std::uint8_t> block_;
  std::size_t used_ = 0;
};

// Reads one run back a block at a time.
class RunReader {
 public:
  RunReader(WorkFile& file, Run run, std::size_t recSize, std::size_t blockRecs)
      : file_(file), next_(run.offset), left_(run.count), recSize_(recSize),
        blockRecs_(blockRecs), block_(recSize * blockRecs) {}
  // Moves to the next record; false at the end of the run.
  bool Advance() {
    pos_ += recSize_;
    if (pos_ < have_) return true;
    if (left_ == 0) return false;
    auto n = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(blockRecs_)));
    have_ = n * recSize_;
    file_.Read(next_, block_.data(), have_);
    next_ += static_cast<std::int64_t>(have_);
    left_ -= static_cast<std::int64_t>(n);
    pos_ = 0;
    return true;
  }
  const std::uint8_t* Current() const { return block_.data() + pos_; }

 private:
  WorkFile& file_;
  std::int64_t next_, left_;
  std::size_t recSize_, blockRecs_;
  std::vector<std::uint8_t> block_;
  std::size_t pos_ = 0, have_ = 0;
};

// Merges runs (consecutive, in input order) into sink, stably.
template <class Sink>
void MergeRuns(WorkFile& file, const std::vector<Run>& runs, std::size_t recSize,
               std::size_t blockRecs, const SortLess& less, Sink&& sink) {
  std::vector<RunReader> readers;
  readers.reserve(runs.size());
  std::vector<std::size_t> heap;
  for (const Run& run : runs) {
    readers.emplace_back(file, run, recSize, blockRecs);
    readers.back().Advance();  // every run holds at least one record
    heap.push_back(heap.size());
  }
  // "After" in heap order: a goes out later than b.
  auto after = [&](std::size_t a, std::size_t b) {
    const std::uint8_t* ra = readers[a].Current();
    const std::uint8_t* rb = readers[b].Current();
    if (less(rb, ra)) return true;
    return !less(ra, rb) && a > b;
  };
  std::make_heap(heap.begin(), heap.end(), after);
  while (!heap.empty()) {
    std::pop_heap(heap.begin(), heap.end(), after);
    std::size_t top = heap.back();
    sink(readers[top].Current());
    if (readers[top].Advance())
      std::push_heap(heap.begin(), heap.end(), after);
    else
      heap.pop_back();
  }
}

using SortPrefix = std::function<std::uint64_t(const void*)>;

// A record of a run in memory: its prefix and its place in the run.
struct RunEntry {
  std::uint64_t prefix;
  std::uint32_t index;
};

class Sorter {
 public:
  Sorter(std::size_t recSize, const SortInput& input, const SortLess& less, const SortPrefix& prefix,
         const SortOutput& output, const SortSettings& settings)
      : recSize_(recSize), input_(input), less_(less), prefix_(prefix), output_(output), settings_(settings) {
    std::size_t memory = std::max<std::size_t>(settings.MemoryBytes, 4 * recSize);
    // A record and its entry.
    runRecs_ = std::clamp<std::size_t>(memory / (recSize + sizeof(RunEntry)), 2, UINT32_MAX);
    std::size_t minBlock = std::max(recSize, std::min(kMinBlockBytes, memory / 8));
    fanIn_ = std::max<std::size_t>(2, memory / minBlock - 1);
    blockRecs_ = std::max<std::size_t>(1, memory / (fanIn_ + 1) / recSize);
  }

  void Sort() {
    // Left uninitialised: pages the input never fills are never touched.
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(runRecs_ * recSize_);
    std::size_t n = FillRun(buffer.get());
    if (n < runRecs_) {  // everything fits: no work file
      EmitSorted(buffer.get(), n, output_);
      return;
    }
    WorkFile file(SortWorkFileName(settings_.Folder));
    std::vector<Run> runs;
    std::int64_t end = 0;
    while (n > 0) {
      RunWriter writer(file, end, recSize_, blockRecs_);
      EmitSorted(buffer.get(), n, [&](const void* r) { writer.Put(static_cast<const std::uint8_t*>(r)); });
      runs.push_back(writer.Finish());
      end += runs.back().count * static_cast<std::int64_t>(recSize_);
      n = n < runRecs_ ? 0 : FillRun(buffer.get());
    }
    buffer.reset();
    MergeAll(file, std::move(runs), end);
  }

 private:
  // Fills buffer from the input; the number of records it holds.
  std::size_t FillRun(std::uint8_t* buffer) {
    std::size_t n = 0;
    while (n < runRecs_ && input_(buffer + n * recSize_)) ++n;
    return n;
  }

  // Sorts the run on the prefixes, then Less, then the place in the run
  // (which keeps it stable).
  template <class Sink>
  void EmitSorted(const std::uint8_t* base, std::size_t n, Sink&& sink) {
    std::vector<RunEntry> order(n);
    for (std::size_t i = 0; i < n; ++i)
      order[i] = {prefix_ ? prefix_(base + i * recSize_) : 0, static_cast<std::uint32_t>(i)};
    std::sort(order.begin(), order.end(), [&](const RunEntry& a, const RunEntry& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      const std::uint8_t* ra = base + std::size_t{a.index} * recSize_;
      const std::uint8_t* rb = base + std::size_t{b.index} * recSize_;
      if (less_(ra, rb)) return true;
      return !less_(rb, ra) && a.index < b.index;
    });
    for (const RunEntry& e : order) sink(base + std::size_t{e.index} * recSize_);
  }

  // Merges groups of fanIn_ runs into new runs at the end of the file until
  // one group remains, which goes to the output.
  void MergeAll(WorkFile& file, std::vector<Run> runs, std::int64_t end) {
    while (runs.size() > fanIn_) {
      std::vector<Run> merged;
      for (std::size_t i = 0; i < runs.size(); i += fanIn_) {
        std::vector<Run> group(runs.begin() + static_cast<std::ptrdiff_t>(i),
                               runs.begin() + static_cast<std::ptrdiff_t>(std::min(runs.size(), i + fanIn_)));
        RunWriter writer(file, end, recSize_, blockRecs_);
        MergeRuns(file, group, recSize_, blockRecs_, less_, [&](const std::uint8_t* r) { writer.Put(r); });
        merged.push_back(writer.Finish());
        end += merged.back().count * static_cast<std::int64_t>(recSize_);
      }
      runs = std::move(merged);
    }
    MergeRuns(file, runs, recSize_, blockRecs_, less_, [&](const std::uint8_t* r) { output_(r); });
  }

  std::size_t recSize_;
  const SortInput& input_;
  const SortLess& less_;
  const SortPrefix& prefix_;
  const SortOutput& output_;
  const SortSettings& settings_;
  std::size_t runRecs_, fanIn_, blockRecs_;
};

}  // namespace

std::string SortWorkFileName(std::string_view folder) {
  std::string name(folder);
  if (!name.empty() && name.back() != '\\' && name.back() != '/') name += '\\';
  return name + "SOWK" + StationId() + ".TMP";
}

int ExternalSort(std::size_t recordSize, const SortInput& input, const SortLess& less,
                 const SortOutput& output, const SortSettings& settings) {
  if (recordSize == 0) return platform::error::kInvalidParameter;
  try {
    const SortPacking& packing = settings.Packing;
    if (packing.Size == 0) {
      Sorter(recordSize, input, less, {}, output, settings).Sort();
      return 0;
    }
    std::vector<std::uint8_t> whole(recordSize);
    SortInput packedInput = [&](void* packed) {
      if (!input(whole.data())) return false;
      packing.Pack(whole.data(), packed);
      return true;
    };
    SortOutput packedOutput = [&](const void* packed) {
      packing.Unpack(packed, whole.data());
      output(whole.data());
    };
    Sorter(packing.Size, packedInput, packing.Less, packing.Prefix, packedOutput, settings).Sort();
    return 0;
  } catch (const IoError& e) {
    return e.code;
  } catch (...) {
    return kSortProcedureFailed;
  }
}

}  // namespace db
