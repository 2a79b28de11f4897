#include "platform/sysinfo.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/path.h"

namespace platform {
namespace {

class RealClock : public Clock {
 public:
  TimeOfDay Now() override {
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local = *std::localtime(&t);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>((ms % 1000) / 10)};
  }
  Date Today() override {
    std::time_t t = std::time(nullptr);
    std::tm local = *std::localtime(&t);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

Clock* g_clock = nullptr;

}  // namespace

TimeOfDay ManualClock::Now() {
  std::int64_t t = Hundredths() % (24LL * 3600 * 100);
  return {static_cast<int>(t / 360000), static_cast<int>(t / 6000 % 60),
          static_cast<int>(t / 100 % 60), static_cast<int>(t % 100)};
}

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

Clock& CurrentClock() { return g_clock ? *g_clock : SystemClock(); }
void SetClock(Clock* clock) { g_clock = clock; }

std::int64_t HundredthsOfDay() {
  TimeOfDay t = CurrentClock().Now();
  return ((t.Hour * 60LL + t.Minute) * 60 + t.Second) * 100 + t.Hundredths;
}

void SleepMs(int ms) { CurrentClock().SleepMs(ms); }

std::string ProgramFolder() { return FolderPart(ProgramPath()); }

}  // namespace platform
