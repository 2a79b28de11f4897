// The checks of dbcheck. Each reads its file itself, byte by byte, and
// never trusts a number it read before testing it: a damaged file gives a
// message, never a crash. Each returns the exit code: 0 sound, 1 with the
// first fault written to the standard output (dbcheck table: the faults), 2 on bad arguments, kBusy
// when a station's lock keeps a part of the file from being read.
#pragma once
#include <string>
#include <vector>

namespace dbcheck {

inline constexpr int kBusy = 3;

// dbcheck data FILE RECLEN
int CheckData(const std::vector<std::string>& args);
// dbcheck index FILE KEYLEN [dups]
int CheckIndex(const std::vector<std::string>& args);
// dbcheck markers MASK EXCLUDE NAMES
int CheckMarkers(const std::vector<std::string>& args);
// dbcheck table Datafile Indexfile Rh D Kp Kh [Kp Kh]... (reindex's words):
// the data file's records in use against the index's keys, one line for
// each record or key that does not match (the first ones), and the reindex
// command that repairs the index.
int CheckTable(const std::vector<std::string>& args);

// Prints a line to the standard output.
void Say(const std::string& line);
// A whole decimal number in [low, high]; false when the text is none.
bool ParseNumber(const std::string& text, long low, long high, long& value);

// The index file's bytes as the next station to open it finds them: when
// its journal holds a change cut short, as the rollback leaves them (said
// in a line). Returns 0, or the exit code with the reason said.
[[nodiscard]] int ReadIndexImage(const std::string& name, long keyLen, std::string& bytes);

}  // namespace dbcheck
