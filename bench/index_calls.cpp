// Point searches and steps on one index, for counting their system calls:
//   index_calls make FOLDER KEYS   an index of KEYS random 20-byte keys
//   index_calls seek FOLDER COUNT  COUNT point searches (keys that exist)
//   index_calls step FOLDER COUNT  COUNT steps from the first key
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include "bench_support.h"
#include "db/db.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::string mode = argv[1];
  std::filesystem::current_path(argv[2]);
  long count = std::strtol(argv[3], nullptr, 10);
  bench::EngineSession session("C1");
  db::IndexFile x;
  std::mt19937_64 random(7);
  auto key = [&random] {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string k(20, ' ');
    for (auto& c : k) c = kChars[random() % 36];
    return k;
  };
  if (mode == "make") {
    bench::Must(db::CreateIndex(x, "T.IDX", 20, 0));
    for (long i = 1; i <= count; ++i) db::InsertKey(x, static_cast<std::int32_t>(i), key());
    bench::Must(db::CloseIndex(x));
    return 0;
  }
  bench::Must(db::OpenIndex(x, "T.IDX", 20, 0));
  std::int32_t n = 0;
  std::string k;
  long found = 0;
  if (mode == "seek") {
    for (long i = 0; i < count; ++i) {
      k = key();
      db::SeekKey(x, n, k);
      found += db::DbOk();
    }
  } else {
    for (long i = 0; i < count; ++i) {
      db::StepNext(x, n, k);
      found += db::DbOk();
    }
  }
  std::fprintf(stderr, "%s %ld found %ld\n", mode.c_str(), count, found);
  bench::Must(db::CloseIndex(x));
  return 0;
}
