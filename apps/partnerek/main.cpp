// partnerek: the partner register, the sample table program of the record
// screens.
//
//   partnerek              the list of partners (records::BrowseTable)
//   partnerek --nezet      one partner at a time (records::ViewRecords)
//   partnerek --minta N    replaces the register by N sample partners
//
// The files live in the current folder: PARTNER.dat, PARTNER1.idx (by
// code) and PARTNER2.idx (by name); the first run creates them empty.
// Several copies may work on the same files at once; the sample is refused
// while another copy has them open. The sample is a batch job (it also runs
// with standard input and output redirected, showing nothing then); it
// prints one line when it is done (exit code 0) or why it failed (non-zero
// exit code); bad arguments print the usage (exit code 2).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "partner_table.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "records/records.h"
#include "sample.h"
#include "startup/startup.h"

namespace {

using namespace platform::literals;

// The sample was made, but its result line did not reach the standard
// output (a full disk, a closed pipe).
constexpr int kResultNotWritten = 13;

int Usage() {
  platform::WriteLine(stderr, "partnerek [--nezet | --minta N]   (N: 1.." + std::to_string(partnerek::kMaxSample) + ")");
  return 2;
}

// The register opened as the current table for the span of screen.
void OnRegister(void (*screen)()) {
  records::TableView table(partnerek::PartnerTable());
  table.Filter = partnerek::OpenFilter();
  records::OpenTable(table);
  records::SetCurrentTable(&table);
  struct NoCurrentTableAtTheEnd {
    ~NoCurrentTableAtTheEnd() { records::SetCurrentTable(nullptr); }
  } reset;  // also when the program ends inside screen
  screen();
  db::EndOnFailure(records::CloseTable(table));
}

std::string Summary(const partnerek::SampleResult& r, double seconds) {
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  std::string shown = time;
  shown[shown.find('.')] = ',';
  return std::to_string(r.Written) + std::string(" minta partner: PARTNER1.idx "_cp) +
         std::to_string(r.CodeKeys) + std::string(" kulcs, PARTNER2.idx "_cp) +
         std::to_string(r.NameKeys) + std::string(" kulcs, "_cp) + shown + " mp";
}

int Sample(std::int32_t count) {
  partnerek::SampleResult result;
  auto start = std::chrono::steady_clock::now();
  int code = startup::RunBatchJob([&] { result = partnerek::MakeSample(count, true); });
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code != 0) return code;
  if (result.Code != 0) {
    platform::WriteLine(stderr, result.Reason);
    return result.Code;
  }
  if (platform::TryWriteLine(stdout, Summary(result, seconds))) return 0;
  platform::WriteLine(stderr, "A minta elkészült, de az eredmény sora nem írható ki."_cp);
  return kResultNotWritten;
}

// N of "--minta N"; 0 when it is not a count in range.
std::int32_t SampleCount(const char* text) {
  char* end = nullptr;
  long count = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || count < 1 || count > partnerek::kMaxSample) return 0;
  return static_cast<std::int32_t>(count);
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  if (argc == 1) return startup::RunMainFlow([] { OnRegister(records::BrowseTable); });
  if (argc == 2 && std::string(argv[1]) == "--nezet")
    return startup::RunMainFlow([] { OnRegister(records::ViewRecords); });
  if (argc == 3 && std::string(argv[1]) == "--minta") {
    if (std::int32_t count = SampleCount(argv[2])) return Sample(count);
  }
  return Usage();
}
