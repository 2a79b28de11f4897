#include "platform/posix/curses_map.h"

#include <charconv>

#include "platform/codepage.h"

namespace platform::posix {
namespace {

struct NamedKey {
  std::string_view Name;
  std::uint8_t Scan;
  std::uint32_t Shift;
};

// curses' own names of the keys the suite distinguishes; the keypad's corner
// keys stand for the keys printed on them.
constexpr NamedKey kCursesKeys[] = {
    {"KEY_UP", scan::kUp, 0},          {"KEY_DOWN", scan::kDown, 0},
    {"KEY_LEFT", scan::kLeft, 0},      {"KEY_RIGHT", scan::kRight, 0},
    {"KEY_HOME", scan::kHome, 0},      {"KEY_END", scan::kEnd, 0},
    {"KEY_PPAGE", scan::kPgUp, 0},     {"KEY_NPAGE", scan::kPgDn, 0},
    {"KEY_IC", scan::kIns, 0},         {"KEY_DC", scan::kDel, 0},
    {"KEY_A1", scan::kHome, 0},        {"KEY_A3", scan::kPgUp, 0},
    {"KEY_C1", scan::kEnd, 0},         {"KEY_C3", scan::kPgDn, 0},
    {"KEY_BTAB", scan::kTab, kShift},  {"KEY_SR", scan::kUp, kShift},
    {"KEY_SF", scan::kDown, kShift},   {"KEY_SLEFT", scan::kLeft, kShift},
    {"KEY_SRIGHT", scan::kRight, kShift}, {"KEY_SHOME", scan::kHome, kShift},
    {"KEY_SEND", scan::kEnd, kShift},  {"KEY_SPREVIOUS", scan::kPgUp, kShift},
    {"KEY_SNEXT", scan::kPgDn, kShift}, {"KEY_SIC", scan::kIns, kShift},
    {"KEY_SDC", scan::kDel, kShift},
};

// Base names of the terminfo extended keys (kUP3 = Up with modifier 3).
constexpr NamedKey kExtendedKeys[] = {
    {"kUP", scan::kUp, 0},     {"kDN", scan::kDown, 0},  {"kLFT", scan::kLeft, 0},
    {"kRIT", scan::kRight, 0}, {"kHOM", scan::kHome, 0}, {"kEND", scan::kEnd, 0},
    {"kPRV", scan::kPgUp, 0},  {"kNXT", scan::kPgDn, 0}, {"kIC", scan::kIns, 0},
    {"kDC", scan::kDel, 0},
};

KeyEvent Special(std::uint8_t scanCode, std::uint32_t shift) { return {scanCode, 0, shift}; }

// xterm's modifier parameter (2..8) as shift bits.
std::uint32_t ShiftOfModifier(int modifier) {
  int bits = modifier - 1;
  std::uint32_t shift = 0;
  if (bits & 1) shift |= kShift;
  if (bits & 2) shift |= kLeftAlt;
  if (bits & 4) shift |= kLeftCtrl;
  return shift;
}

// "KEY_F(n)": xterm numbers the function keys F1..F12 plain, then 12 each
// with Shift, Ctrl, Ctrl+Shift, Alt and Alt+Shift.
bool FunctionKey(std::string_view name, KeyEvent& key) {
  constexpr std::string_view kPrefix = "KEY_F(";
  if (!name.starts_with(kPrefix) || !name.ends_with(")")) return false;
  std::string_view digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - 1);
  int n = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (error != std::errc() || end != digits.data() + digits.size() || n < 1 || n > 72)
    return false;
  static constexpr std::uint32_t kGroups[] = {0, kShift, kLeftCtrl, kLeftCtrl | kShift,
                                               kLeftAlt, kLeftAlt | kShift};
  int index = (n - 1) % 12;
  auto scanCode = static_cast<std::uint8_t>(index < 10 ? scan::kF1 + index
                                                       : index == 10 ? scan::kF11 : scan::kF12);
  key = Special(scanCode, kGroups[(n - 1) / 12]);
  return true;
}

bool ExtendedKey(std::string_view name, KeyEvent& key) {
  if (name.size() < 2) return false;
  char digit = name.back();
  if (digit < '2' || digit > '8') return false;
  std::string_view base = name.substr(0, name.size() - 1);
  for (const auto& k : kExtendedKeys)
    if (k.Name == base) {
      key = Special(k.Scan, ShiftOfModifier(digit - '0'));
      return true;
    }
  return false;
}

// PC colour order (black, blue, green, cyan, red, magenta, brown, grey) to
// curses' (black, red, green, yellow, blue, magenta, cyan, white).
constexpr short kCursesColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

short CursesColour(int pc) {
  return static_cast<short>(kCursesColour[pc & 7] + ((pc & 8) ? 8 : 0));
}

}  // namespace

bool KeyOfName(std::string_view name, KeyEvent& key) {
  if (name == "KEY_ENTER") return KeyOfChar('\r', key);
  if (name == "KEY_BACKSPACE") return KeyOfChar('\b', key);
  for (const auto& k : kCursesKeys)
    if (k.Name == name) {
      key = Special(k.Scan, k.Shift);
      return true;
    }
  return FunctionKey(name, key) || ExtendedKey(name, key);
}

bool KeyOfChar(char32_t wc, KeyEvent& key) {
  switch (wc) {
    case '\r':
    case '\n': key = {scan::kEnter, '\r', 0}; return true;
    case '\t': key = {scan::kTab, '\t', 0}; return true;
    case '\b':
    case 0x7F: key = {scan::kBackspace, '\b', 0}; return true;
    case 27: key = {scan::kEsc, 27, 0}; return true;
    default: break;
  }
  if (wc >= 1 && wc <= 26) {  // Ctrl+letter
    key = {ScanCodeOfChar(static_cast<char>('a' + wc - 1)), static_cast<std::uint8_t>(wc),
           kLeftCtrl};
    return true;
  }
  if (wc < 0x20) return false;  // Ctrl+@, Ctrl+\ and the like have no use here
  int b = UnicodeToCp852(wc);
  if (b < 0) return false;
  key.Ch = static_cast<std::uint8_t>(b);
  key.Scan = b < 0x80 ? ScanCodeOfChar(static_cast<char>(b)) : 0;
  key.Shift = (b >= 'A' && b <= 'Z') ? std::uint32_t{kShift} : 0;
  return true;
}

KeyEvent WithAlt(KeyEvent key) {
  key.Shift |= kLeftAlt;
  return key;
}

int PairsNeeded(bool sixteen) { return sixteen ? 1 + 16 * 16 : 1 + 8 * 8; }

Look LookOfAttr(std::uint8_t attr, bool sixteen) {
  Look look;
  int fg = attr & 0x0F, bg = attr >> 4;
  if (!sixteen) {
    look.Bold = fg & 8;
    look.Blink = bg & 8;
    fg &= 7;
    bg &= 7;
  }
  look.Fg = CursesColour(fg);
  look.Bg = CursesColour(bg);
  look.Pair = static_cast<short>(1 + bg * (sixteen ? 16 : 8) + fg);
  return look;
}

}  // namespace platform::posix
