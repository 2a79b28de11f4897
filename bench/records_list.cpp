// The record list's speed on the partner register, by the table's size.
//
//   records_list [FOLDER]
//
// For 10,000, 100,000 and 1,000,000 sample partners (the register's own
// generator, partnerek::MakeSample, untimed) in a folder of FOLDER each
// (default: a fresh folder in /dev/shm, else in the temporary folder,
// removed at the end), every run in the programs' own start-up
// (startup::RunMainFlow) on a headless 80 x 25 terminal:
//  - open: records::OpenTable (the data file and both indexes);
//  - first page: from the call of records::ShowList until the list first
//    asks for a key with its first page drawn (the engine's page cache
//    empty, the files in the system's cache); median of 5 runs;
//  - PgDn: 100 PgDn from the first record and 100 from the middle one
//    (by code); each key is handed to the list only when it asks for one
//    with nothing waiting, so every PgDn is timed from its delivery until
//    the list asks again, the page redrawn; average and slowest.
// Every run is checked: its first page must show the first code of the
// index (or the middle one), and the list must have asked for exactly one
// key per key scripted (a row marked "(!)" did not go so).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "partner_table.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "records/records.h"
#include "sample.h"
#include "startup/startup.h"

namespace fs = std::filesystem;

namespace {

using namespace platform::literals;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kSizes[] = {10'000, 100'000, 1'000'000};
constexpr int kFirstPageRuns = 5;
constexpr int kPageSteps = 100;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A headless terminal that hands out scripted keys one at a time, once
// armed: the next key only when the program polls for input with nothing
// waiting, which is when it has done everything the previous key asked
// for. Every such poll is stamped; after the script it keeps offering Esc.
class MeteredTerminal : public platform::HeadlessTerminal {
 public:
  // expect: a text the screen must show at the first poll (the first page).
  void Script(std::vector<std::uint8_t> scans, std::string expect) {
    scans_ = std::move(scans);
    expect_ = std::move(expect);
    next_ = 0;
    armed_ = false;
  }
  void Arm() {
    Stamps.clear();
    armed_ = true;
  }
  bool EventWaiting() override {
    if (armed_ && !HeadlessTerminal::EventWaiting()) Idle();
    return HeadlessTerminal::EventWaiting();
  }
  std::vector<Clock::time_point> Stamps;  // the polls that found nothing waiting
  bool FirstPageShown = false;

 private:
  bool Shows(const std::string& text) const {
    for (int row = 0; row < Height(); ++row)
      if (RowText(row).find(text) != std::string::npos) return true;
    return false;
  }
  void Idle() {
    Stamps.push_back(Clock::now());
    if (Stamps.size() == 1) FirstPageShown = Shows(expect_);
    if (next_ < scans_.size()) {
      std::uint8_t scan = scans_[next_++];
      PushKey(scan, scan == platform::scan::kEsc ? 27 : 0);
    } else {
      PushKey(platform::scan::kEsc, 27);
    }
  }
  std::vector<std::uint8_t> scans_;
  std::string expect_;
  std::size_t next_ = 0;
  bool armed_ = false;
};

// One list session's times.
struct ListRun {
  double OpenMs = 0, FirstPageMs = 0;
  std::vector<double> StepMs;  // one per scripted key before the Esc
  std::size_t Polls = 0;       // the list's waits for a key: one per key when all went as scripted
  bool Shown = false;          // the first page showed the expected code
};

// Where a list starts: a code and its record number (an empty code: the
// first record), and the code its first page must show.
struct Start {
  std::string Code;
  std::int32_t Record = 0;
  std::string Expect;
};

// Opens the table, positions it on start, shows the list and presses
// `steps` PgDn and then Esc.
ListRun RunList(const Start& from, int steps) {
  MeteredTerminal term;
  std::vector<std::uint8_t> scans(static_cast<std::size_t>(steps), platform::scan::kPgDn);
  scans.push_back(platform::scan::kEsc);
  term.Script(scans, from.Expect);
  ListRun run;
  Clock::time_point start;
  startup::RunMainFlow(term, [&] {
    records::TableView table(partnerek::PartnerTable());
    Clock::time_point open = Clock::now();
    records::OpenTable(table);
    run.OpenMs = Ms(Clock::now() - open);
    records::SetCurrentTable(&table);
    table.CurrentKey = from.Code;
    table.CurrentRecord = from.Record;
    term.Arm();
    start = Clock::now();
    records::ShowList(table, "Rögzit Javit Ins-új Töröl Keres Csop.jav Esc-ki"_cp, "\x1b");
    records::SetCurrentTable(nullptr);
    bench::Must(records::CloseTable(table));
  });
  if (term.Stamps.empty()) return run;
  run.Shown = term.FirstPageShown;
  run.Polls = term.Stamps.size();
  run.FirstPageMs = Ms(term.Stamps[0] - start);
  for (std::size_t i = 1; i < term.Stamps.size() && i <= static_cast<std::size_t>(steps); ++i)
    run.StepMs.push_back(Ms(term.Stamps[i] - term.Stamps[i - 1]));
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double Average(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

double Slowest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

struct Row {
  std::int32_t Size = 0;
  double MakeSeconds = 0, OpenMs = 0, FirstPageMs = 0;
  double StepStartMs = 0, StepStartMax = 0, StepMiddleMs = 0, StepMiddleMax = 0;
  bool Sound = true;
};

// The partner that is in the middle by code: its index (0-based).
std::int32_t MiddlePartner(std::int32_t size) {
  std::vector<std::pair<std::string, std::int32_t>> codes;
  codes.reserve(static_cast<std::size_t>(size));
  for (std::int32_t i = 0; i < size; ++i) codes.emplace_back(partnerek::SampleCode(i), i);
  auto middle = codes.begin() + size / 2;
  std::nth_element(codes.begin(), middle, codes.end());
  return middle->second;
}

std::string FirstCode(std::int32_t size) {
  std::string first = partnerek::SampleCode(0);
  for (std::int32_t i = 1; i < size; ++i) first = std::min(first, partnerek::SampleCode(i));
  return first;
}

Row Measure(std::int32_t size, const fs::path& folder) {
  fs::create_directories(folder);
  fs::current_path(folder);
  Row row;
  row.Size = size;
  platform::HeadlessTerminal quiet;
  row.MakeSeconds = bench::Seconds([&] {
    startup::RunMainFlow(quiet, [&] { row.Sound = partnerek::MakeSample(size, false).Code == 0; });
  });
  Start top{"", 0, FirstCode(size)};
  std::vector<double> opens, firstPages;
  auto taken = [&](const ListRun& run, int steps) {
    row.Sound = row.Sound && run.Shown && run.Polls == static_cast<std::size_t>(steps) + 1;
  };
  for (int i = 0; i < kFirstPageRuns; ++i) {
    ListRun run = RunList(top, 0);
    taken(run, 0);
    opens.push_back(run.OpenMs);
    firstPages.push_back(run.FirstPageMs);
  }
  row.OpenMs = Median(opens);
  row.FirstPageMs = Median(firstPages);
  ListRun fromStart = RunList(top, kPageSteps);
  std::int32_t middle = MiddlePartner(size);
  std::string middleCode = partnerek::SampleCode(middle);
  ListRun fromMiddle = RunList({middleCode, middle + 1, middleCode}, kPageSteps);
  taken(fromStart, kPageSteps);
  taken(fromMiddle, kPageSteps);
  row.StepStartMs = Average(fromStart.StepMs);
  row.StepStartMax = Slowest(fromStart.StepMs);
  row.StepMiddleMs = Average(fromMiddle.StepMs);
  row.StepMiddleMax = Slowest(fromMiddle.StepMs);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  fs::path home = fs::current_path();
  bool ownFolder = argc < 2;
  fs::path folder = ownFolder ? bench::ScratchFolder("records_list") : fs::path(argv[1]);
  std::printf("%10s %9s %8s %11s %21s %21s\n", "records", "sample s", "open ms", "1st page ms",
              "PgDn ms start avg/max", "PgDn ms middle avg/max");
  bool sound = true;
  for (std::int32_t size : kSizes) {
    Row row = Measure(size, folder / std::to_string(size));
    sound = sound && row.Sound;
    std::printf("%10d %9.2f %8.2f %11.2f %10.3f / %8.3f %10.3f / %8.3f%s\n", row.Size, row.MakeSeconds,
                row.OpenMs, row.FirstPageMs, row.StepStartMs, row.StepStartMax, row.StepMiddleMs,
                row.StepMiddleMax, row.Sound ? "" : "  (!)");
    std::fflush(stdout);
  }
  fs::current_path(home);
  if (ownFolder) fs::remove_all(folder);
  if (!sound) std::printf("(!) a run did not go as scripted: a key was not taken or a page not shown\n");
  return sound ? 0 : 1;
}
