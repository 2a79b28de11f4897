// Internal to the record layer's loops (the list's commands, the view) and
// the table layer under them.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/records.h"

namespace records {

// The key-help of the form when one record is edited or entered.
extern const std::string_view kEditHelp;

// What a station is told when the record it holds changed under it.
extern const std::string_view kRecordChanged;

// Deletes record n, locked by this station with record its image: its keys
// out of every index, then the record freed, as one table change. False
// (the lock released, kRecordChanged shown) when the record changed under
// the station meanwhile.
bool RemoveRecord(TableView& table, std::int32_t n, const std::uint8_t* record);

// True, with the "Illegális file müvelet!" box shown, when the table is
// open read-only: nothing may be stored or deleted.
bool RefusedReadOnly(const TableView& table);

// A letter key upper-cased (a..z only: other codes are special keys).
inline std::uint8_t UpperKey(std::uint8_t key) {
  return key >= 'a' && key <= 'z' ? static_cast<std::uint8_t>(key - 'a' + 'A') : key;
}

// A command of a record screen: the word that offers it (a word of the
// list's key-help line, a label of the view's menu bar; empty for a key the
// screen takes without offering it), the keys that run it (the first is the
// one the word stands for; 0 fills the rest), and what it does. Each screen
// keeps its commands in one table that makes its offer, the keys it takes
// and what they run.
template <class Outcome>
struct Command {
  std::string_view word;
  std::array<std::uint8_t, 2> keys;
  Outcome (*run)(TableView& table);
};

// The command that key k runs (a letter in either case), nullptr when none.
template <class Commands>
auto CommandOfKey(const Commands& commands, std::uint8_t k) -> decltype(&commands[0]) {
  k = UpperKey(k);
  for (const auto& command : commands)
    if (k != 0 && std::find(command.keys.begin(), command.keys.end(), k) != command.keys.end()) return &command;
  return nullptr;
}

// The words of the commands that have one, blank-separated, each made by
// offer from its command.
template <class Commands, class Offer>
std::string OfferedWords(const Commands& commands, Offer offer) {
  std::string words;
  for (const auto& command : commands) {
    if (command.word.empty()) continue;
    if (!words.empty()) words += ' ';
    words += offer(command);
  }
  return words;
}

// Lock-free moves of a table's position (CurrentKey, CurrentRecord and the
// record peeked into Record) along its current index. Entries whose record
// is free are stepped over; a move that finds nothing leaves the position
// as it was.

// The record after (forward) or before the current one; the current entry
// is found again first, and when it is gone the move starts from where it
// stood.
bool StepRecord(TableView& table, bool forward);
// The first or the last record of the index.
bool FirstRecord(TableView& table);
bool LastRecord(TableView& table);
// After the current record changed or went: FindCurrent, else the last
// record; false when the table has no record in the index.
bool SettleCurrent(TableView& table);

}  // namespace records
