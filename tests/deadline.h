// A time bound a test asserts on a call that might never return: when the
// scope a Deadline guards has not ended within its bound, the test binary
// reports the failure, naming what overran, and ends at once with exit
// code 1 (a call that never returns cannot be failed more gently), instead
// of leaving CTest to wait for the suite's time limit.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace test_support {

class Deadline {
 public:
  Deadline(std::string what, std::chrono::milliseconds bound)
      : watch_([this, what = std::move(what), bound] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (ended_.wait_for(lock, bound, [this] { return done_; })) return;
          std::fprintf(stderr, "FAILED: %s did not end within %lld ms\n", what.c_str(),
                       static_cast<long long>(bound.count()));
          std::fflush(stderr);
          std::_Exit(1);
        }) {}
  ~Deadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_one();
    watch_.join();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread watch_;  // last: it starts once the members it uses exist
};

}  // namespace test_support
