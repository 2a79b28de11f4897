// The index rebuild against SQLite's CREATE INDEX on the same rows.
//
//   rebuild_vs_sqlite [RECORDS] [FOLDER] [--ours-only] [--sort-mib=N] [--inserts=N]
//
// RECORDS (default 1,000,000) records of 100 bytes, each with a distinct
// random 20-byte key at bytes 11..30 (1-based; upper-case letters and
// digits, so the engine's upper-casing changes nothing), are written once,
// untimed: as the engine's data file data.dat (written directly, record 0
// the header) and as the SQLite table t(id INTEGER PRIMARY KEY, k BLOB,
// payload BLOB) holding the key and the other 80 bytes. The files live in
// FOLDER (default: a fresh folder in /dev/shm, else in the temporary
// folder, removed at the end); SQLite's sort spills there too.
//
// Timed, three times each and alternating, every run in a child process of
// its own so that its peak resident size is its own: our rebuild,
// db::RebuildIndex(false, "data index 100 0 11 20"), and CREATE INDEX on
// t(k) in a fresh copy of the table (synchronous=OFF, journal_mode=OFF,
// everything else SQLite's defaults). Both read files just written (warm).
// The table shows the medians of the wall times, their ratio and the peak
// sizes; a line after it the medians of the children's processor times
// (less sensitive to other load on the machine).
//
// --ours-only writes only the data file and runs our rebuild once in this
// process (for callgrind or perf): its time and the process's peak size.
// --sort-mib=N gives our rebuild's sort N MiB of memory instead of its
// default. --inserts=N (with --ours-only) then inserts N new keys (made as
// the records' keys are, for the record numbers after the last) in random
// order into the rebuilt index, opened shared as a program opens it, and
// prints their rate and the index file's size before and after.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "db/db.h"
#include "platform/codepage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRecLen = 100;
constexpr int kKeyAt = 10, kKeyLen = 20;  // 0-based
constexpr char kRebuildLine[] = "data index 100 0 11 20";
constexpr char kDataFile[] = "data.dat";
constexpr char kIndexFile[] = "index.idx";
constexpr char kPristineTable[] = "pristine.sqlite";
constexpr char kTable[] = "t.sqlite";
constexpr int kRepeats = 3;

struct Options {
  std::int32_t Records = 1000000;
  fs::path Folder;
  bool OwnFolder = true;  // made here, removed at the end
  bool OursOnly = false;
  std::int32_t Inserts = 0;
  db::SortSettings Sort;  // the folder stays "": the current one
};

// ---- The rows ---------------------------------------------------------------------

// A bijection of 64-bit numbers (each step is invertible).
std::uint64_t Scramble(std::uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// The records 1, 2, ... in order, the same for every maker. A key is 7
// random characters, then record number scrambled in 13 base-36 digits:
// distinct by construction, in random order.
class RecordMaker {
 public:
  explicit RecordMaker(std::uint64_t seed = 20261208) : random_(seed) {}
  void Next(std::int32_t n, std::uint8_t* record) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::memset(record, '.', kRecLen);
    record[4] = 1;  // in use
    std::uint8_t* key = record + kKeyAt;
    for (int i = 0; i < 7; ++i) key[i] = kChars[random_() % 36];
    std::uint64_t code = Scramble(static_cast<std::uint64_t>(n));
    for (int i = kKeyLen - 1; i >= 7; --i, code /= 36) key[i] = kChars[code % 36];
  }

 private:
  std::mt19937_64 random_;
};

// The engine's data file: the header record (no free records, no root,
// RecordTotal, no markers), then the records, through a 1 MiB buffer.
bool WriteDataFile(std::int32_t records) {
  std::FILE* out = std::fopen(kDataFile, "wb");
  if (!out) return false;
  std::vector<char> buffer(1 << 20);
  std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
  std::array<std::uint8_t, kRecLen> record{};
  db::FileHeader{.FreeHead = -1, .RecordTotal = records + 1}.Encode(record.data());
  bool ok = std::fwrite(record.data(), kRecLen, 1, out) == 1;
  RecordMaker maker;
  for (std::int32_t n = 1; ok && n <= records; ++n) {
    maker.Next(n, record.data());
    ok = std::fwrite(record.data(), kRecLen, 1, out) == 1;
  }
  return std::fclose(out) == 0 && ok;
}

bool Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  std::fprintf(stderr, "SQLite: %s: %s\n", sql, error ? error : "?");
  sqlite3_free(error);
  return false;
}

sqlite3* OpenSqlite(const char* name) {
  sqlite3* db = nullptr;
  if (sqlite3_open(name, &db) != SQLITE_OK) {
    std::fprintf(stderr, "SQLite: cannot open %s\n", name);
    sqlite3_close(db);
    return nullptr;
  }
  Exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=OFF;");
  return db;
}

// Binds record n's columns: the key and the bytes before and after it.
void BindRow(sqlite3_stmt* insert, std::int32_t n, const std::uint8_t* record) {
  std::array<std::uint8_t, kRecLen - kKeyLen> payload;
  std::memcpy(payload.data(), record, kKeyAt);
  std::memcpy(payload.data() + kKeyAt, record + kKeyAt + kKeyLen, kRecLen - kKeyAt - kKeyLen);
  sqlite3_bind_int(insert, 1, n);
  sqlite3_bind_blob(insert, 2, record + kKeyAt, kKeyLen, SQLITE_STATIC);
  sqlite3_bind_blob(insert, 3, payload.data(), static_cast<int>(payload.size()), SQLITE_TRANSIENT);
}

// The same rows as the data file, in one transaction.
bool WriteSqliteTable(std::int32_t records) {
  fs::remove(kPristineTable);
  sqlite3* db = OpenSqlite(kPristineTable);
  if (!db) return false;
  bool ok = Exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, k BLOB, payload BLOB); BEGIN");
  sqlite3_stmt* insert = nullptr;
  ok = ok && sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?)", -1, &insert, nullptr) == SQLITE_OK;
  RecordMaker maker;
  std::array<std::uint8_t, kRecLen> record;
  for (std::int32_t n = 1; ok && n <= records; ++n) {
    maker.Next(n, record.data());
    BindRow(insert, n, record.data());
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  ok = ok && Exec(db, "COMMIT");
  sqlite3_close(db);
  return ok;
}

// ---- The measured work ------------------------------------------------------------------

// Our rebuild of the index in the current folder; its seconds, or -1 when
// it did not index every record.
double TimeOurRebuild(const Options& o) {
  bench::EngineSession session("RB");
  db::RebuildResult result;
  double seconds = bench::Seconds([&] { result = db::RebuildIndex(false, kRebuildLine, o.Sort); });
  if (result.Code == 0 && result.Indexed == o.Records && result.Skipped == 0) return seconds;
  std::fprintf(stderr, "rebuild: code %d, %d read, %d indexed, %d skipped %s\n", result.Code, result.Read,
               result.Indexed, result.Skipped, platform::Cp852ToUtf8(result.Reason).c_str());
  return -1;
}

// CREATE INDEX on the table's copy; its seconds, or -1 on failure.
double TimeSqliteIndex() {
  sqlite3* db = OpenSqlite(kTable);
  if (!db) return -1;
  bool ok = true;
  double seconds = bench::Seconds([&] { ok = Exec(db, "CREATE INDEX tk ON t(k)"); });
  sqlite3_close(db);
  return ok ? seconds : -1;
}

// ---- Runs in child processes ------------------------------------------------------------

struct Run {
  double Seconds = -1;  // -1: failed
  double CpuSeconds = 0;  // the child's user and system time, start-up included
  double PeakMiB = 0;
};

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

double SecondsOf(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Runs work in a forked child, which sends its seconds back through a
// pipe; the child's processor time and peak resident size come from wait4.
Run InChild(const std::function<double()>& work) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(pipeEnds[0]);
    double seconds = work();
    bool sent = write(pipeEnds[1], &seconds, sizeof seconds) == sizeof seconds;
    _exit(sent && seconds >= 0 ? 0 : 1);
  }
  close(pipeEnds[1]);
  Run run;
  if (pid < 0 || read(pipeEnds[0], &run.Seconds, sizeof run.Seconds) != sizeof run.Seconds) run.Seconds = -1;
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    run.CpuSeconds = SecondsOf(usage.ru_utime) + SecondsOf(usage.ru_stime);
    run.PeakMiB = MiB(usage.ru_maxrss);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) run.Seconds = -1;
  return run;
}

Run OurRun(const Options& o) {
  fs::remove(kIndexFile);
  return InChild([&o] { return TimeOurRebuild(o); });
}

Run SqliteRun() {
  fs::copy_file(kPristineTable, kTable, fs::copy_options::overwrite_existing);
  return InChild(TimeSqliteIndex);
}

// The resident size of this process now (a forked child starts with it).
double ResidentMiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Peak(const std::vector<Run>& runs) {
  double peak = 0;
  for (const Run& run : runs) peak = std::max(peak, run.PeakMiB);
  return peak;
}

std::vector<double> Times(const std::vector<Run>& runs, double Run::*field) {
  std::vector<double> times;
  for (const Run& run : runs) times.push_back(run.*field);
  return times;
}

bool AllSucceeded(const std::vector<Run>& runs) {
  return std::all_of(runs.begin(), runs.end(), [](const Run& r) { return r.Seconds >= 0; });
}

double FileMiB(const char* name) {
  std::error_code error;
  auto size = fs::file_size(name, error);
  return error ? 0 : static_cast<double>(size) / (1 << 20);
}

void PrintTable(std::int32_t records, const std::vector<Run>& ours, const std::vector<Run>& sqlite) {
  double oursTime = Median(Times(ours, &Run::Seconds)), sqliteTime = Median(Times(sqlite, &Run::Seconds));
  double oursCpu = Median(Times(ours, &Run::CpuSeconds)), sqliteCpu = Median(Times(sqlite, &Run::CpuSeconds));
  std::printf("\n%10s %10s %10s %8s %14s %16s\n", "records", "ours s", "SQLite s", "ratio", "ours peak MiB",
              "SQLite peak MiB");
  std::printf("%10d %10.3f %10.3f %8.2f %14.1f %16.1f\n", records, oursTime, sqliteTime, sqliteTime / oursTime,
              Peak(ours), Peak(sqlite));
  std::printf("(median of %d runs each; ratio = SQLite time / ours, above 1: ours is faster; peak = the "
              "largest of the runs' peak resident sizes)\n",
              kRepeats);
  std::printf("processor time (user + system, medians): ours %.3f s, SQLite %.3f s, ratio %.2f\n", oursCpu, sqliteCpu,
              sqliteCpu / oursCpu);
}

int Compare(const Options& o) {
  bool ok = true;
  double written = bench::Seconds([&] { ok = WriteDataFile(o.Records) && WriteSqliteTable(o.Records); });
  if (!ok) return std::fprintf(stderr, "writing the files failed\n"), 1;
  std::printf("%d records written in %.1f s: %s %.1f MiB, %s %.1f MiB; this process %.1f MiB resident\n",
              o.Records, written, kDataFile, FileMiB(kDataFile), kPristineTable, FileMiB(kPristineTable),
              ResidentMiB());
  std::vector<Run> ours, sqlite;
  for (int i = 1; i <= kRepeats; ++i) {
    ours.push_back(OurRun(o));
    sqlite.push_back(SqliteRun());
    std::printf("run %d: ours %.3f s (cpu %.3f s, %.1f MiB), SQLite %.3f s (cpu %.3f s, %.1f MiB)\n", i,
                ours.back().Seconds, ours.back().CpuSeconds, ours.back().PeakMiB, sqlite.back().Seconds,
                sqlite.back().CpuSeconds, sqlite.back().PeakMiB);
    std::fflush(stdout);
  }
  std::printf("index files: %s %.1f MiB; SQLite file with the index %.1f MiB\n", kIndexFile, FileMiB(kIndexFile),
              FileMiB(kTable));
  if (!AllSucceeded(ours) || !AllSucceeded(sqlite)) return std::fprintf(stderr, "a run failed\n"), 1;
  PrintTable(o.Records, ours, sqlite);
  return 0;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return SecondsOf(usage.ru_utime) + SecondsOf(usage.ru_stime);
}

// Inserts o.inserts new keys into the rebuilt index; false when one was refused.
bool TimeInserts(const Options& o) {
  double before = FileMiB(kIndexFile);
  bench::EngineSession session("IN");
  db::IndexFile index;
  bench::Must(db::OpenIndex(index, kIndexFile, kKeyLen, 0));
  RecordMaker maker(7);
  std::array<std::uint8_t, kRecLen> record;
  bool ok = true;
  double cpuBefore = ProcessCpuSeconds();
  double seconds = bench::Seconds([&] {
    for (std::int32_t n = o.Records + 1; ok && n <= o.Records + o.Inserts; ++n) {
      maker.Next(n, record.data());
      db::InsertKey(index, n, std::string_view(reinterpret_cast<const char*>(record.data()) + kKeyAt, kKeyLen));
      ok = db::DbOk();
    }
  });
  double cpu = ProcessCpuSeconds() - cpuBefore;
  bench::Must(db::CloseIndex(index));
  std::printf("inserts: %d new keys in %.3f s (cpu %.3f s), %.0f per second (per cpu second %.0f); %s %.1f MiB "
              "before, %.1f MiB after\n",
              o.Inserts, seconds, cpu, o.Inserts / seconds, o.Inserts / cpu, kIndexFile, before, FileMiB(kIndexFile));
  return ok;
}

int OursOnly(const Options& o) {
  if (!WriteDataFile(o.Records)) return std::fprintf(stderr, "writing %s failed\n", kDataFile), 1;
  double seconds = TimeOurRebuild(o);
  if (seconds < 0) return 1;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("ours: %d records rebuilt in %.3f s, peak %.1f MiB\n", o.Records, seconds, MiB(usage.ru_maxrss));
  return o.Inserts > 0 && !TimeInserts(o) ? 1 : 0;
}

void RemoveFiles(const Options& o) {
  for (const char* name : {kDataFile, kIndexFile, kPristineTable, kTable}) fs::remove(name);
  fs::current_path("/");
  if (o.OwnFolder) fs::remove_all(o.Folder);
}

bool ParseArguments(int argc, char** argv, Options& o) {
  o.Folder = bench::ScratchFolder("rebuild_vs_sqlite");
  bool counted = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--ours-only") {
      o.OursOnly = true;
    } else if (arg.starts_with("--sort-mib=")) {
      long mib = std::strtol(arg.c_str() + 11, nullptr, 10);
      if (mib < 1) return false;
      o.Sort.MemoryBytes = static_cast<std::size_t>(mib) << 20;
    } else if (arg.starts_with("--inserts=")) {
      long inserts = std::strtol(arg.c_str() + 10, nullptr, 10);
      if (inserts < 1 || inserts >= INT32_MAX / 2) return false;
      o.Inserts = static_cast<std::int32_t>(inserts);
    } else if (!counted && !arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
      long records = std::strtol(arg.c_str(), nullptr, 10);
      if (records < 1 || records >= INT32_MAX) return false;
      o.Records = static_cast<std::int32_t>(records);
      counted = true;
    } else if (arg[0] != '-' && o.OwnFolder) {
      o.Folder = fs::absolute(arg);
      o.OwnFolder = false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArguments(argc, argv, o)) {
    std::fprintf(stderr, "usage: rebuild_vs_sqlite [RECORDS=1000000] [FOLDER] [--ours-only] [--sort-mib=N] [--inserts=N]\n");
    return 2;
  }
  if (o.OwnFolder && fs::exists(o.Folder)) o.OwnFolder = false;
  fs::create_directories(o.Folder);
  fs::current_path(o.Folder);
  // Read by SQLite once, at its first use: its sort's spill files go here.
  setenv("SQLITE_TMPDIR", o.Folder.c_str(), 1);
  int code = o.OursOnly ? OursOnly(o) : Compare(o);
  RemoveFiles(o);
  return code;
}
