#include "platform/terminal.h"

#include <cctype>

namespace platform {

// Scan codes of a Hungarian (QWERTZ) keyboard: Y and Z trade places with the
// US layout, so Alt+Z gives the same code on every platform for the same key.
std::uint8_t ScanCodeOfChar(char c) {
  static constexpr char kRows[][14] = {
      "1234567890",  // 0x02..0x0B
      "qwertzuiop",  // 0x10..0x19
      "asdfghjkl",   // 0x1E..0x26
      "yxcvbnm",     // 0x2C..0x32
  };
  static constexpr std::uint8_t kFirst[] = {0x02, 0x10, 0x1E, 0x2C};
  char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int r = 0; r < 4; ++r)
    for (int i = 0; kRows[r][i]; ++i)
      if (kRows[r][i] == lower) return static_cast<std::uint8_t>(kFirst[r] + i);
  switch (c) {
    case ' ': return 0x39;
    case '\r': return scan::kEnter;
    case '\t': return scan::kTab;
    case 27: return scan::kEsc;
    case 8: return scan::kBackspace;
    default: return 0;
  }
}

}  // namespace platform
