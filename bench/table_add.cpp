// The cost of the table-change bracket: the record screens' add
// (records::StoreNewRecord: a record and its two keys) on the partner
// register, with the bracket and without it (db::TableChangeSwitch), in
// one run.
//
//   table_add [RECORDS] [FOLDER]
//
// RECORDS adds (default 20,000) in batches of 1,000 that take turns between
// the two settings, on a register that starts empty in FOLDER (default: a
// fresh folder in /dev/shm, else in the temporary folder, removed at the
// end), inside the programs' own start-up on a headless terminal. Prints
// the adds per second of each setting (median of its batches) and their
// ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "partner_table.h"
#include "platform/terminal.h"
#include "records/records.h"
#include "startup/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBatch = 1000;

// A new partner whose code and name no other has.
std::vector<std::uint8_t> Partner(const records::TableDef& def, int serial) {
  auto record = records::BlankRecord(def);
  char code[16], name[32];
  std::snprintf(code, sizeof code, "%06d", serial);
  std::snprintf(name, sizeof name, "PARTNER %08d", (serial * 7919) % 100000000);
  records::SetFieldText(def.Fields[partnerek::kCode], record.data(), code);
  records::SetFieldText(def.Fields[partnerek::kName], record.data(), name);
  return record;
}

// Adds per second of one batch; false in ok when an add was refused.
double Batch(records::TableView& table, int& serial, bool& ok) {
  auto start = Clock::now();
  for (int i = 0; i < kBatch; ++i) {
    std::int32_t n = 0;
    ok = records::StoreNewRecord(table, Partner(table.Def, ++serial).data(), n) && ok;
  }
  return kBatch / std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int records = argc > 1 ? std::max(2 * kBatch, std::atoi(argv[1])) : 20000;
  namespace fs = std::filesystem;
  const bool ownFolder = argc < 3;
  const fs::path folder = ownFolder ? bench::ScratchFolder("table_add") : fs::path(argv[2]);
  fs::create_directories(folder);
  const fs::path home = fs::current_path();
  fs::current_path(folder);
  std::vector<double> with, without;
  bool ok = true;
  platform::HeadlessTerminal quiet;
  startup::RunMainFlow(quiet, [&] {
    records::TableView table(partnerek::PartnerTable());
    records::OpenTable(table);
    int serial = 0;
    for (int batch = 0; batch < records / kBatch; ++batch) {
      bool on = batch % 2 == 1;
      db::TableChangeSwitch bracket(on);
      (on ? with : without).push_back(Batch(table, serial, ok));
    }
  });
  fs::current_path(home);
  if (ownFolder) fs::remove_all(folder);
  double before = Median(without), after = Median(with);
  std::printf("add a record with two keys (partner register, %d adds in all, in %s)\n", records,
              folder.string().c_str());
  std::printf("  without the bracket  %10.0f adds/s\n", before);
  std::printf("  with the bracket     %10.0f adds/s\n", after);
  std::printf("  with/without         %10.3f%s\n", after / before, ok ? "" : "  (an add was refused!)");
  return ok ? 0 : 1;
}
