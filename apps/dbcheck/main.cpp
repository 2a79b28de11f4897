// dbcheck: checks the engine's files from the command line.
//
//   dbcheck data FILE RECLEN        a data file: length, header, free chain
//   dbcheck index FILE KEYLEN [dups]  an index file
//   dbcheck markers MASK EXCLUDE NAMES  clears header markers left by
//                                   stations that stopped (ClearStaleMarkers)
//   dbcheck table Datafile Indexfile Rh D Kp Kh [Kp Kh]...
//                                   a data file against one of its indexes,
//                                   with the words reindex takes
//
// Exit code 0 when sound, 1 with the first fault named (table: the
// mismatches), 2 on bad arguments, 3 when a station's lock keeps a part of
// the file from being read (busy).
#include <cstdio>
#include <string>
#include <vector>

#include "checks.h"
#include "db/db.h"
#include "platform/sysinfo.h"

namespace dbcheck {

void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool ParseNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= low && value <= high;
}

}  // namespace dbcheck

namespace {

int Usage() {
  dbcheck::Say("usage: dbcheck data FILE RECLEN");
  dbcheck::Say("       dbcheck index FILE KEYLEN [dups]");
  dbcheck::Say("       dbcheck markers MASK EXCLUDE NAMES");
  dbcheck::Say("       dbcheck table " + std::string(db::kRebuildUsage));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  if (argc < 2) return Usage();
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "data") return dbcheck::CheckData(args);
  if (command == "index") return dbcheck::CheckIndex(args);
  if (command == "markers") return dbcheck::CheckMarkers(args);
  if (command == "table") return dbcheck::CheckTable(args);
  return Usage();
}
