// Every test case has a time bound of its own. A case that runs longer than
// TORMEX_TEST_CASE_SECONDS (default 240) is named on standard error and its
// suite ends at once with exit code 3. So a station, server or helper that
// waits for ever fails in minutes with the case's name in the log, instead
// of using up the suite's CTest time-out with nothing said.
//
// Linked into every suite; it registers itself with GoogleTest before main.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int kDefaultCaseSeconds = 240;
constexpr int kExitCaseTooLong = 3;

int CaseSeconds() {
  const char* text = std::getenv("TORMEX_TEST_CASE_SECONDS");
  int seconds = text ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : kDefaultCaseSeconds;
}

// What the watcher and the listener share. It is never freed: the watcher
// waits on it until the process ends, after GoogleTest has deleted its
// listeners.
struct CaseState {
  std::mutex Mutex;
  std::condition_variable Changed;
  std::string Name;  // the case running now, empty between cases
  unsigned long long Serial = 0;
  bool Watching = false;
};

// Waits for each case in turn; one that outlives its bound ends the suite.
[[noreturn]] void Watch(CaseState& state) {
  const auto bound = std::chrono::seconds(CaseSeconds());
  std::unique_lock<std::mutex> lock(state.Mutex);
  for (;;) {
    state.Changed.wait(lock, [&] { return !state.Name.empty(); });
    const unsigned long long serial = state.Serial;
    if (!state.Changed.wait_for(lock, bound, [&] { return state.Serial != serial; })) {
      std::fprintf(stderr, "\n[ TIME-OUT ] %s ran longer than %d s; the suite ends here\n",
                   state.Name.c_str(), CaseSeconds());
      std::fflush(stderr);
      std::fflush(stdout);
      std::_Exit(kExitCaseTooLong);
    }
  }
}

class CaseTimeBound : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo& info) override {
    std::lock_guard<std::mutex> lock(state_.Mutex);
    state_.Name = std::string(info.test_suite_name()) + "." + info.name();
    ++state_.Serial;
    if (!state_.Watching) std::thread(Watch, std::ref(state_)).detach();
    state_.Watching = true;
    state_.Changed.notify_all();
  }

  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> lock(state_.Mutex);
    ++state_.Serial;
    state_.Name.clear();
    state_.Changed.notify_all();
  }

 private:
  CaseState& state_ = *new CaseState;
};

const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new CaseTimeBound);
  return true;
}();

}  // namespace
