// Shared by the platform layer's files; not for other folders.
#pragma once
#include <cctype>
#include <string_view>

namespace platform::detail {

// Equal without regard to letter case (ASCII letters; file, variable and
// value names as Windows compares them).
inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace platform::detail
