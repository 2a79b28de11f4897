// The record engine against SQLite on the same machine, in one run.
//
//   db_vs_sqlite [KEYS] [benchmark flags]      (default 1,000,000 keys)
//
// Both get the same random 20-byte keys (letters and digits, upper case, so
// the engine's upper-casing changes nothing) and one 100-byte record per
// key. The engine: a data file of 100-byte records and an index of 20-byte
// keys, shared mode, locking on. SQLite: one statement per operation,
// synchronous=OFF, journal_mode=MEMORY, key TEXT PRIMARY KEY.
//
// Measured, each once over all keys: append+insert per key, point lookup
// per key, the full ordered scan, and the inserts split among 2 and 4
// stations at once (forked processes on the same fresh files; SQLite's
// writers wait through a busy time-out). The files live in a fresh folder
// (in /dev/shm when there is one). The end prints a table of rates and the
// ratio ours / SQLite.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "db/db.h"

namespace fs = std::filesystem;

namespace {

using bench::EngineSession;
using bench::Seconds;

constexpr int kKeyLen = 20;
constexpr int kRecLen = 100;

std::vector<std::string> g_keys;
std::map<std::string, std::map<std::string, double>> g_rates;  // measure -> engine -> ops/s

std::vector<std::string> MakeKeys(std::size_t count) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::mt19937_64 random(20261208);
  std::vector<std::string> keys(count, std::string(kKeyLen, ' '));
  for (auto& key : keys)
    for (auto& c : key) c = kChars[random() % 36];
  return keys;
}

fs::path Folder() { return bench::ScratchFolder("db_vs_sqlite"); }

// The record of a key: the key, then filler; byte 4 (in use) is non-zero.
std::vector<std::uint8_t> RecordOf(const std::string& key) {
  std::vector<std::uint8_t> record(kRecLen, '.');
  std::copy(key.begin(), key.end(), record.begin() + 5);
  record[4] = 1;
  return record;
}

// Runs body(first, last) in `stations` forked processes, each over its
// share of the keys, and returns when all have ended.
void InStations(int stations, const std::function<void(std::size_t, std::size_t)>& body) {
  std::vector<pid_t> children;
  for (int s = 0; s < stations; ++s) {
    std::size_t first = g_keys.size() * s / stations, last = g_keys.size() * (s + 1) / stations;
    pid_t pid = fork();
    if (pid == 0) {
      body(first, last);
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "station failed\n");
  }
}

void Report(benchmark::State& state, const std::string& measure, const std::string& engine,
            double seconds, std::size_t ops) {
  state.SetIterationTime(seconds);
  state.counters["ops/s"] = static_cast<double>(ops) / seconds;
  g_rates[measure][engine] = static_cast<double>(ops) / seconds;
}

// ---- The engine -----------------------------------------------------------------

void CreateEngineFiles() {
  EngineSession session("MAKER");
  db::DataFile f;
  db::IndexFile x;
  bench::Must(db::CreateDataFile(f, "T.DAT", kRecLen));
  bench::Must(db::CreateIndex(x, "T.IDX", kKeyLen, 0));
}

void EngineInserts(const std::string& station, std::size_t first, std::size_t last,
                   bool synced = false) {
  EngineSession session(station);
  db::State().SyncChanges = synced;
  db::DataFile f;
  db::IndexFile x;
  bench::Must(db::OpenDataFile(f, "T.DAT", kRecLen));
  bench::Must(db::OpenIndex(x, "T.IDX", kKeyLen, 0));
  for (std::size_t i = first; i < last; ++i) {
    std::int32_t n = 0;
    db::AppendRecord(f, n, RecordOf(g_keys[i]).data());
    db::InsertKey(x, n, g_keys[i]);
  }
}

void BM_EngineInsert(benchmark::State& state, int stations) {
  for (auto _ : state) {
    fs::remove_all(Folder());
    fs::create_directories(Folder());
    fs::current_path(Folder());
    CreateEngineFiles();
    double seconds = Seconds([&] {
      if (stations == 1) EngineInserts("S1", 0, g_keys.size());
      else InStations(stations, [](std::size_t a, std::size_t b) {
        EngineInserts("S" + std::to_string(a), a, b);
      });
    });
    Report(state, "insert, " + std::to_string(stations) + " station(s)", "ours", seconds,
           g_keys.size());
  }
}

// The single-station insert with every index change waiting for the disk
// (journal and pages), in a folder on disk: what syncing would cost.
void BM_EngineInsertSynced(benchmark::State& state) {
  fs::path folder = fs::temp_directory_path() / ("db_vs_sqlite-synced-" + std::to_string(getpid()));
  for (auto _ : state) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    CreateEngineFiles();
    double seconds = Seconds([&] { EngineInserts("S1", 0, g_keys.size() / 100, true); });
    Report(state, "insert, 1 station, synced (1/100 of the keys, on disk)", "ours", seconds,
           g_keys.size() / 100);
  }
  fs::current_path(Folder());
  fs::remove_all(folder);
}

// Lookups and the scan run on the files the single-station insert left.
void BM_EngineLookup(benchmark::State& state) {
  for (auto _ : state) {
    EngineSession session("S1");
    db::DataFile f;
    db::IndexFile x;
    bench::Must(db::OpenDataFile(f, "T.DAT", kRecLen));
    bench::Must(db::OpenIndex(x, "T.IDX", kKeyLen, 0));
    std::vector<std::uint8_t> buf(kRecLen);
    std::size_t missed = 0;
    double seconds = Seconds([&] {
      for (const auto& k : g_keys) {
        std::string key = k;
        std::int32_t n = 0;
        db::FindRecordByKey(x, key, f, n, buf.data());
        if (!db::DbOk()) ++missed;
        db::UnlockRecord(f, n);
      }
    });
    if (missed) std::fprintf(stderr, "engine lookups missed %zu\n", missed);
    Report(state, "point lookup", "ours", seconds, g_keys.size());
  }
}

void BM_EngineScan(benchmark::State& state) {
  for (auto _ : state) {
    EngineSession session("S1");
    db::IndexFile x;
    bench::Must(db::OpenIndex(x, "T.IDX", kKeyLen, 0));
    std::size_t seen = 0;
    double seconds = Seconds([&] {
      std::string key;
      std::int32_t n = 0;
      for (db::StepNext(x, n, key); db::DbOk(); db::StepNext(x, n, key)) ++seen;
    });
    if (seen != g_keys.size()) std::fprintf(stderr, "engine scan saw %zu\n", seen);
    Report(state, "ordered scan", "ours", seconds, seen);
  }
}

// ---- SQLite ---------------------------------------------------------------------

sqlite3* OpenSqlite() {
  sqlite3* db = nullptr;
  sqlite3_open("t.sqlite", &db);
  sqlite3_busy_timeout(db, 60000);
  sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY;", nullptr, nullptr,
               nullptr);
  return db;
}

void SqliteInserts(std::size_t first, std::size_t last) {
  sqlite3* db = OpenSqlite();
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO kv(key, rec) VALUES(?, ?)", -1, &insert, nullptr);
  for (std::size_t i = first; i < last; ++i) {
    auto record = RecordOf(g_keys[i]);
    sqlite3_bind_text(insert, 1, g_keys[i].data(), kKeyLen, SQLITE_STATIC);
    sqlite3_bind_blob(insert, 2, record.data(), kRecLen, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_close(db);
}

void BM_SqliteInsert(benchmark::State& state, int stations) {
  for (auto _ : state) {
    fs::current_path(Folder());
    fs::remove("t.sqlite");
    sqlite3* db = OpenSqlite();
    sqlite3_exec(db, "CREATE TABLE kv(key TEXT PRIMARY KEY, rec BLOB)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    double seconds = Seconds([&] {
      if (stations == 1) SqliteInserts(0, g_keys.size());
      else InStations(stations, SqliteInserts);
    });
    Report(state, "insert, " + std::to_string(stations) + " station(s)", "SQLite", seconds,
           g_keys.size());
  }
}

void BM_SqliteLookup(benchmark::State& state) {
  for (auto _ : state) {
    sqlite3* db = OpenSqlite();
    sqlite3_stmt* select = nullptr;
    sqlite3_prepare_v2(db, "SELECT rec FROM kv WHERE key = ?", -1, &select, nullptr);
    std::size_t missed = 0;
    std::vector<std::uint8_t> buf(kRecLen);
    double seconds = Seconds([&] {
      for (const auto& key : g_keys) {
        sqlite3_bind_text(select, 1, key.data(), kKeyLen, SQLITE_STATIC);
        if (sqlite3_step(select) == SQLITE_ROW)
          std::memcpy(buf.data(), sqlite3_column_blob(select, 0), kRecLen);
        else ++missed;
        sqlite3_reset(select);
      }
    });
    if (missed) std::fprintf(stderr, "SQLite lookups missed %zu\n", missed);
    sqlite3_finalize(select);
    sqlite3_close(db);
    Report(state, "point lookup", "SQLite", seconds, g_keys.size());
  }
}

void BM_SqliteScan(benchmark::State& state) {
  for (auto _ : state) {
    sqlite3* db = OpenSqlite();
    sqlite3_stmt* scan = nullptr;
    sqlite3_prepare_v2(db, "SELECT key, rowid FROM kv ORDER BY key", -1, &scan, nullptr);
    std::size_t seen = 0;
    double seconds = Seconds([&] {
      while (sqlite3_step(scan) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_text(scan, 0));
        benchmark::DoNotOptimize(sqlite3_column_int64(scan, 1));
        ++seen;
      }
    });
    sqlite3_finalize(scan);
    sqlite3_close(db);
    Report(state, "ordered scan", "SQLite", seconds, seen);
  }
}

void PrintTable() {
  std::printf("\n%-24s %14s %14s %10s\n", "measure", "ours ops/s", "SQLite ops/s", "ours/SQLite");
  for (const char* measure : {"insert, 1 station(s)", "point lookup", "ordered scan",
                              "insert, 2 station(s)", "insert, 4 station(s)"}) {
    auto& row = g_rates[measure];
    std::printf("%-24s %14.0f %14.0f %10.2f\n", measure, row["ours"], row["SQLite"],
                row["SQLite"] > 0 ? row["ours"] / row["SQLite"] : 0.0);
  }
  std::printf("(%zu keys)\n", g_keys.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 1000000;
  if (argc > 1 && argv[1][0] != '-') {
    count = std::strtoul(argv[1], nullptr, 10);
    --argc;
    ++argv;
  }
  g_keys = MakeKeys(count);
  fs::path home = fs::current_path();
  fs::create_directories(Folder());
  auto once = [](benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
  };
  once(benchmark::RegisterBenchmark("ours/insert/1", BM_EngineInsert, 1));
  once(benchmark::RegisterBenchmark("ours/insert-synced/1", BM_EngineInsertSynced));
  once(benchmark::RegisterBenchmark("ours/lookup", BM_EngineLookup));
  once(benchmark::RegisterBenchmark("ours/scan", BM_EngineScan));
  once(benchmark::RegisterBenchmark("sqlite/insert/1", BM_SqliteInsert, 1));
  once(benchmark::RegisterBenchmark("sqlite/lookup", BM_SqliteLookup));
  once(benchmark::RegisterBenchmark("sqlite/scan", BM_SqliteScan));
  for (int stations : {2, 4}) {
    once(benchmark::RegisterBenchmark(("ours/insert/" + std::to_string(stations)).c_str(),
                                      BM_EngineInsert, stations));
    once(benchmark::RegisterBenchmark(("sqlite/insert/" + std::to_string(stations)).c_str(),
                                      BM_SqliteInsert, stations));
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintTable();
  fs::current_path(home);
  fs::remove_all(Folder());
  return 0;
}
