// Sample partners: a register of any size for trying the screens and for
// measuring them. The same count always gives the same partners.
#pragma once
#include <cstdint>
#include <string>

namespace partnerek {

inline constexpr std::int32_t kMaxSample = 10'000'000;

struct SampleResult {
  // 0 when done; kSampleFileBusy, kSampleNotPlaced, kSampleReadOnly, or the
  // db::RebuildIndex code of the index that failed.
  int Code = 0;
  std::string Reason;  // one Hungarian line (code page 852) when Code != 0
  std::int32_t Written = 0;             // records written
  std::int32_t CodeKeys = 0, NameKeys = 0;  // keys in PARTNER1.idx and PARTNER2.idx
};
inline constexpr int kSampleFileBusy = 10;
inline constexpr int kSampleNotPlaced = 11;  // the new files could not take the old ones' names
inline constexpr int kSampleReadOnly = 12;   // a file of the register is read-only

// The code of the i-th sample partner (0-based): six upper-case letters
// and digits, distinct for every i below kMaxSample, in no useful order.
std::string SampleCode(std::int32_t i);

// Replaces the register in the current folder by count sample partners
// (1..kMaxSample; record i + 1 holds partner i). The new register is made
// under other names ("UJ_" before each): the data file created in the
// exclusive open mode, filled with db::AppendRecord and closed, both
// indexes built by db::RebuildIndex (counters in a window of its own when
// ownWindow, else in the current window). Only when all three are complete
// do they take the register's names; on any failure (a full disk among
// them, also when it ends the program) the old register stays as it was
// and the new files are removed. Needs the engine started and the console
// open. Refused (kSampleFileBusy, nothing changed) while another station
// has the data file open; refused (kSampleReadOnly, nothing changed) when
// a file of the register or an index's journal is read-only. The journals
// beside the old indexes go with them.
SampleResult MakeSample(std::int32_t count, bool ownWindow);

}  // namespace partnerek
