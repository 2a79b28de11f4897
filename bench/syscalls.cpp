// System calls per engine operation, counted by the platform layer
// (platform::FileCallCount): on a share each one is a round trip to the
// file server.
//
//   syscalls [KEYS] [FOLDER]
//
// On a data file of 100-byte records with an index of 20-byte keys that
// holds KEYS random keys (default 100,000; made first, not counted), in
// FOLDER (default: a fresh folder in /dev/shm, else in the temporary
// folder, removed at the end), one station:
//  - append + index insert: AppendRecord and InsertKey of a new key, 2,000 times;
//  - point search: SeekKey of a key that is there, 2,000 times;
//  - step: StepNext from the first key, 20,000 times.
// Prints each operation's calls by kind and in all, per operation.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "db/db.h"
#include "platform/file.h"

namespace {

constexpr int kRecLen = 100, kKeyLen = 20;

std::vector<std::string> RandomKeys(std::size_t count) {
  std::mt19937_64 random(7);
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::vector<std::string> keys(count, std::string(kKeyLen, ' '));
  for (auto& key : keys)
    for (auto& c : key) c = kChars[random() % 36];
  return keys;
}

void Append(db::DataFile& f, db::IndexFile& x, const std::string& key) {
  std::vector<std::uint8_t> record(kRecLen, ' ');
  record[4] = 1;
  std::copy(key.begin(), key.end(), record.begin() + 5);
  std::int32_t n = 0;
  db::AppendRecord(f, n, record.data());
  db::InsertKey(x, n, key);
}

// The calls of count runs of work, per run, printed as one row.
void Row(const char* name, long count, const std::function<void(long)>& work) {
  const platform::FileCalls before = platform::FileCallCount();
  for (long i = 0; i < count; ++i) work(i);
  const platform::FileCalls after = platform::FileCallCount();
  auto per = [&](std::uint64_t a, std::uint64_t b) { return static_cast<double>(a - b) / static_cast<double>(count); };
  std::printf("%-24s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n", name, per(after.Total(), before.Total()),
              per(after.Reads, before.Reads), per(after.Writes, before.Writes), per(after.Locks, before.Locks),
              per(after.LockTests, before.LockTests), per(after.Sizes, before.Sizes),
              per(after.Truncates, before.Truncates));
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const std::size_t keys = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const bool ownFolder = argc < 3;
  const fs::path folder = ownFolder ? bench::ScratchFolder("syscalls") : fs::path(argv[2]);
  fs::create_directories(folder);
  const fs::path home = fs::current_path();
  fs::current_path(folder);
  const std::vector<std::string> all = RandomKeys(keys + 2000);
  {
    bench::EngineSession session("C1");
    db::DataFile f;
    db::IndexFile x;
    bench::Must(db::CreateDataFile(f, "T.DAT", kRecLen));
    bench::Must(db::CreateIndex(x, "T.IDX", kKeyLen, 0));
    for (std::size_t i = 0; i < keys; ++i) Append(f, x, all[i]);
    bench::Must(db::CloseIndex(x));
    bench::Must(db::CloseDataFile(f));

    bench::Must(db::OpenDataFile(f, "T.DAT", kRecLen));
    bench::Must(db::OpenIndex(x, "T.IDX", kKeyLen, 0));
    std::printf("%zu keys; calls per operation: %-6s %7s %7s %7s %7s %7s %7s\n", keys, "all", "read", "write",
                "lock", "test", "size", "trunc");
    Row("append + index insert", 2000, [&](long i) { Append(f, x, all[keys + static_cast<std::size_t>(i)]); });
    std::mt19937 pick(11);
    Row("point search", 2000, [&](long) {
      std::string key = all[pick() % keys];
      std::int32_t n = 0;
      db::SeekKey(x, n, key);
    });
    db::ResetPosition(x);
    Row("step", 20000, [&](long) {
      std::string key;
      std::int32_t n = 0;
      db::StepNext(x, n, key);
    });
  }
  fs::current_path(home);
  if (ownFolder) fs::remove_all(folder);
  return 0;
}
