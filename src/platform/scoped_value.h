// A process-wide setting changed for a scope: the guard sets the value and
// puts the previous one back when it goes, so a switch is always restored,
// on every way out of the scope.
#pragma once
#include <utility>

namespace platform {

template <class T>
class ScopedValue {
 public:
  ScopedValue(T& place, T value) : place_(place), previous_(std::exchange(place, std::move(value))) {}
  ~ScopedValue() { place_ = std::move(previous_); }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

  // The value the scope found, to be put back.
  const T& Previous() const { return previous_; }

 private:
  T& place_;
  T previous_;
};

}  // namespace platform
