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
  std::mutex mutex;
  std::condition_variable changed;
  std::string name;  // the case running now, empty between cases
  unsigned long long serial = 0;
  bool watching = false;
};

// Waits for each case in turn; one that outlives its bound ends the suite.
[[noreturn]] void Watch(CaseState& state) {
  const auto bound = std::chrono::seconds(CaseSeconds());
  std::unique_lock<std::mutex> lock(state.mutex);
  for (;;) {
    state.changed.wait(lock, [&] { return !state.name.empty(); });
    const unsigned long long serial = state.serial;
    if (!state.changed.wait_for(lock, bound, [&] { return state.serial != serial; })) {
      std::fprintf(stderr, "\n[ TIME-OUT ] %s ran longer than %d s; the suite ends here\n",
                   state.name.c_str(), CaseSeconds());
      std::fflush(stderr);
      std::fflush(stdout);
      std::_Exit(kExitCaseTooLong);
    }
  }
}

class CaseTimeBound : public testing::EmptyTestEventListener {
 public:
  void OnTestStart(const testing::TestInfo& info) override {
    std::lock_guard<std::mutex> lock(state_.mutex);
    state_.name = std::string(info.test_suite_name()) + "." + info.name();
    ++state_.serial;
    if (!state_.watching) std::thread(Watch, std::ref(state_)).detach();
    state_.watching = true;
    state_.changed.notify_all();
  }

  void OnTestEnd(const testing::TestInfo&) override {
    std::lock_guard<std::mutex> lock(state_.mutex);
    ++state_.serial;
    state_.name.clear();
    state_.changed.notify_all();
  }

 private:
  CaseState& state_ = *new CaseState;
};

const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new CaseTimeBound);
  return true;
}();

}  // namespace
