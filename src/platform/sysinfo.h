// System values: time of day, sleeping, the message beep; the machine's
// name and system version; the program's own path.
//
// The clock is injectable: a test installs a ManualClock and moves time on by
// hand, so timed behaviour (double clicks, countdowns) runs without waiting.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

struct TimeOfDay {
  int Hour = 0, Minute = 0, Second = 0, Hundredths = 0;
};

struct Date {
  int Year = 0, Month = 0, Day = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimeOfDay Now() = 0;
  virtual Date Today() = 0;
  virtual void SleepMs(int ms) = 0;
};

// The real clock of the machine.
Clock& SystemClock();

// A clock that stands still until a test moves it; sleeping moves it on.
class ManualClock : public Clock {
 public:
  TimeOfDay Now() override;
  Date Today() override { return today_; }
  void SleepMs(int ms) override { nowMs_ += ms; }
  void Advance(std::int64_t hundredths) { nowMs_ += hundredths * 10; }
  void Set(std::int64_t hundredthsOfDay) { nowMs_ = hundredthsOfDay * 10; }
  void SetToday(Date d) { today_ = d; }
  std::int64_t Hundredths() const { return nowMs_ / 10; }

 private:
  std::int64_t nowMs_ = 0;
  Date today_{2026, 1, 1};
};

// The clock the library reads; SystemClock() unless a test installed another.
Clock& CurrentClock();
// Installs a clock (nullptr puts the system clock back).
void SetClock(Clock* clock);

// Time of day in hundredths of a second.
std::int64_t HundredthsOfDay();
void SleepMs(int ms);

// ---- The machine and the program -------------------------------------------

// The machine's name as Windows shows it: upper case (POSIX: the host name
// up to its first ".", upper-cased, at most 15 characters). Empty when the
// system does not tell.
std::string ComputerName();

// The calling process's number, unique among the processes running at once
// on the machine.
int ProcessId();

// The operating system's major version (Windows 7 and later: 6 or more).
// POSIX reports 0: it has none of the newer console functions.
int OsMajorVersion();

// Records the program's arguments; main calls it before anything else. On
// POSIX it fixes the program's own path at once (the current folder may
// change later; Windows knows the path without it), and makes a write past
// the process's file-size limit fail as on a full disk instead of ending
// the process (SIGXFSZ ignored).
void SetProgramArgs(int argc, char** argv);

// The program's own file, absolute. Win32: the module's file name. POSIX:
// argument 0 made absolute against the folder current at SetProgramArgs, or
// found through PATH when it has no folder; symbolic links are not followed,
// so the name is the one the program was started under. Without recorded
// arguments, the file the system reports for the process.
std::string ProgramPath();

// The folder of ProgramPath (FolderPart: a drive's root keeps its separator).
std::string ProgramFolder();

}  // namespace platform
