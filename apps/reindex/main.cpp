// reindex: builds an index file afresh from a data file and rebuilds the
// data file's free chain and header (db::RebuildIndex).
//
//   reindex Datafile Indexfile Rh D Kp Kh [Kp Kh]...
//
// The arguments are the words of the rebuild's parameter line, each kept as
// given (a file name may hold blanks; it is shown in code page 852); the counters
// show in a framed window of the tool's own. One argument prints the usage
// line (exit code 0). Afterwards one line tells the outcome: the keys taken
// and refused (exit code 0), or why nothing was rebuilt (the rebuild's
// non-zero result code).
#include <cstdio>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "startup/startup.h"

namespace {

using namespace platform::literals;

std::string Summary(const db::RebuildResult& r) {
  return std::to_string(r.Read) + std::string(" rekord beolvasva, "_cp) + std::to_string(r.Indexed) +
         std::string(" kulcs indexelve, "_cp) + std::to_string(r.Skipped) + " kimaradt";
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  if (argc == 2) {
    platform::WriteLine(stdout, std::string(db::kRebuildUsage));
    return 0;
  }
  std::vector<std::string> args(argv + 1, argv + argc);  // kept as given: a name may hold blanks
  db::RebuildResult result = db::CheckRebuildWords(args, platform::ArgumentToCp852);
  if (result.Code != 0) {  // said without taking the terminal
    platform::WriteLine(stderr, result.Reason);
    return result.Code;
  }
  int code = startup::RunMainFlow([&] { result = db::RebuildIndexWords(true, args, platform::ArgumentToCp852); });
  if (code != 0) return code;
  if (result.Code != 0) {
    platform::WriteLine(stderr, result.Reason);
    return result.Code;
  }
  platform::WriteLine(stdout, Summary(result));
  return 0;
}
