// A process-wide switch set for a scope comes back on every way out: an
// exception, nested guards ended in reverse order, a value that can only
// be moved.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "platform/errors.h"
#include "platform/scoped_value.h"

namespace {

TEST(ScopedValue, PutsThePreviousValueBackOnEveryWayOut) {
  int mode = 1;
  try {
    platform::ScopedValue<int> outer(mode, 2);
    {
      platform::ScopedValue<int> inner(mode, 3);
      EXPECT_EQ(mode, 3);
      EXPECT_EQ(inner.Previous(), 2);
    }
    EXPECT_EQ(mode, 2);
    throw std::runtime_error("an end on its way out");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(mode, 1);

  std::string calls;
  std::function<void()> watch = [&calls] { calls += "a"; };
  {
    platform::ScopedValue<std::function<void()>> swapped(watch, [&calls] { calls += "b"; });
    watch();
  }
  watch();
  EXPECT_EQ(calls, "ba");
}

TEST(PlatformErrors, EveryNamedNumberIsKnownAndOthersAreNot) {
  for (int named : {platform::error::kNone, platform::error::kAccessDenied, platform::error::kInvalidAccess,
                    platform::error::kDiskFull, platform::error::kNotLocked, platform::error::kNotAFolder})
    EXPECT_TRUE(platform::error::IsNamed(named)) << named;
  for (int other : {1, 7, 100, 101, 107, 154, 1000, -1}) EXPECT_FALSE(platform::error::IsNamed(other)) << other;
}

}  // namespace
