// The engine's error numbers, the error log and the fatal checks, and the
// opens that turn failures into messages.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "db/datafile.h"
#include "platform/errors.h"
#include "platform/scoped_value.h"

namespace db {

// LastIOResult values the engine itself produces; the others are the
// platform's numbers (platform/errors.h), and none of these is one the
// platform names. Each is a number of the run-time table that ErrorText
// reads: a read that found fewer bytes than a record ("Lemez olvasási
// hiba"), a write that stored fewer ("Lemez írási hiba"), a header, page or
// free link that makes no sense ("Adatbeli CRC hiba"), and an open with a
// record length outside kMinRecLen..kMaxRecLen ("Hibás rekordhossz").
inline constexpr int kReadError = 100;
inline constexpr int kWriteError = 101;
inline constexpr int kDamagedData = 154;
inline constexpr int kBadRecLen = 107;
static_assert(!platform::error::IsNamed(kReadError) && !platform::error::IsNamed(kWriteError) &&
              !platform::error::IsNamed(kDamagedData) && !platform::error::IsNamed(kBadRecLen));

// The Hungarian text of a run-time error number; "" for 0, "Hibaüzenet neve
// ismeretlen" for unknown and negative numbers.
[[nodiscard]] std::string ErrorText(int code);
// Appends one line to "DBACCESS.ERR" in the current folder; false when the
// log could not be opened.
bool LogDbError(std::string_view fileName, std::int32_t recordNumber, std::string_view message);
// Nothing when LastIOResult is 0; otherwise log, report through the host
// (Host::Report), wait for a key, let the file go
// without another read or write (its handle closed, an index's cached
// pages forgotten: nothing on the way out touches it again) and end the
// program with the error's number.
void CheckDataIO(DataFile& f, std::int32_t n);
// The same for index pages and sequential reads (waits for a key without
// reading it).
void CheckIndexIO(DataFile& f, std::int32_t n);
// Nothing for a done Result; a failed one is logged, reported through the
// host, a key waited for and taken, and the program ended with its number:
// the end of a caller that cannot go on without what failed (a close that
// could not write its header back, say).
void EndOnFailure(const Result& result);
// Installs, for the guard's lifetime, a watcher that every pause of an
// engine wait calls (a busy record or file, a refused read, the key after
// a fatal error); the watcher in force before is put back at the end. For
// tests, which bound the waits with it: a watcher may throw to end a wait
// that nobody will end.
class WaitWatchGuard : public platform::ScopedValue<std::function<void()>> {
 public:
  explicit WaitWatchGuard(std::function<void()> watch);
};
// "Hiba:" + text in a box, then the program ends with exit code 1.
[[noreturn]] void FatalMessage(std::string_view text);

// Opens that turn the usual failures into messages: a missing file is
// created on the fly, too many files, a busy file and other failures end
// the program with a message.
void OpenDataFileGuarded(DataFile& f, std::string_view name, int recLen);
void OpenDataFileExclusiveGuarded(DataFile& f, std::string_view name, int recLen);
void CreateDataFileGuarded(DataFile& f, std::string_view name, int recLen);

}  // namespace db
