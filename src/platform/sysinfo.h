// System values: time of day, sleeping, the message beep.
//
// The clock is injectable: a test installs a ManualClock and moves time on by
// hand, so timed behaviour (double clicks, countdowns) runs without waiting.
#pragma once
#include <cstdint>

namespace platform {

struct TimeOfDay {
  int hour = 0, minute = 0, second = 0, hundredths = 0;
};

struct Date {
  int year = 0, month = 0, day = 0;
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

}  // namespace platform
