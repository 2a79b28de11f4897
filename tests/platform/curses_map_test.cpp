// The ncursesw terminal's mapping of curses key names, typed characters and
// attribute bytes, checked without a terminal (native build only).
#ifndef _WIN32
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/posix/curses_map.h"

namespace platform::posix {
namespace {

struct NameCase {
  const char* Name;
  std::uint8_t Scan;
  std::uint32_t Shift;
};

void ExpectKey(const char* name, std::uint8_t scanCode, std::uint8_t ch, std::uint32_t shift) {
  KeyEvent key;
  ASSERT_TRUE(KeyOfName(name, key)) << name;
  EXPECT_EQ(key.Scan, scanCode) << name;
  EXPECT_EQ(key.Ch, ch) << name;
  EXPECT_EQ(key.Shift, shift) << name;
}

TEST(CursesKeyNames, FunctionKeysByXtermNumbering) {
  const NameCase cases[] = {
      {"KEY_F(1)", scan::kF1, 0},           {"KEY_F(10)", scan::kF10, 0},
      {"KEY_F(11)", scan::kF11, 0},         {"KEY_F(12)", scan::kF12, 0},
      {"KEY_F(13)", scan::kF1, kShift},     {"KEY_F(22)", scan::kF10, kShift},
      {"KEY_F(25)", scan::kF1, kLeftCtrl},  {"KEY_F(34)", scan::kF10, kLeftCtrl},
      {"KEY_F(37)", scan::kF1, kLeftCtrl | kShift},
      {"KEY_F(49)", scan::kF1, kLeftAlt},   {"KEY_F(58)", scan::kF10, kLeftAlt},
      {"KEY_F(60)", scan::kF12, kLeftAlt},  {"KEY_F(61)", scan::kF1, kLeftAlt | kShift},
  };
  for (const auto& c : cases) ExpectKey(c.Name, c.Scan, 0, c.Shift);
}

TEST(CursesKeyNames, NamedKeysAndShiftedVariants) {
  const NameCase cases[] = {
      {"KEY_UP", scan::kUp, 0},         {"KEY_DOWN", scan::kDown, 0},
      {"KEY_LEFT", scan::kLeft, 0},     {"KEY_RIGHT", scan::kRight, 0},
      {"KEY_HOME", scan::kHome, 0},     {"KEY_END", scan::kEnd, 0},
      {"KEY_PPAGE", scan::kPgUp, 0},    {"KEY_NPAGE", scan::kPgDn, 0},
      {"KEY_IC", scan::kIns, 0},        {"KEY_DC", scan::kDel, 0},
      {"KEY_BTAB", scan::kTab, kShift}, {"KEY_SIC", scan::kIns, kShift},
      {"KEY_SR", scan::kUp, kShift},    {"KEY_SNEXT", scan::kPgDn, kShift},
  };
  for (const auto& c : cases) ExpectKey(c.Name, c.Scan, 0, c.Shift);
  ExpectKey("KEY_ENTER", scan::kEnter, '\r', 0);
  ExpectKey("KEY_BACKSPACE", scan::kBackspace, '\b', 0);
}

TEST(CursesKeyNames, ExtendedKeysCarryXtermModifiers) {
  const NameCase cases[] = {
      {"kUP3", scan::kUp, kLeftAlt},      {"kDN3", scan::kDown, kLeftAlt},
      {"kLFT5", scan::kLeft, kLeftCtrl},  {"kRIT5", scan::kRight, kLeftCtrl},
      {"kHOM5", scan::kHome, kLeftCtrl},  {"kNXT5", scan::kPgDn, kLeftCtrl},
      {"kIC5", scan::kIns, kLeftCtrl},    {"kIC2", scan::kIns, kShift},
      {"kDC6", scan::kDel, kLeftCtrl | kShift},
      {"kEND7", scan::kEnd, kLeftCtrl | kLeftAlt},
      {"kPRV8", scan::kPgUp, kLeftCtrl | kLeftAlt | kShift},
  };
  for (const auto& c : cases) ExpectKey(c.Name, c.Scan, 0, c.Shift);
}

TEST(CursesKeyNames, UnknownOrMalformedNamesAreNotKeys) {
  for (const char* name : {"KEY_F(0)", "KEY_F(73)", "KEY_F(1", "KEY_F(x)", "KEY_F()",
                           "KEY_F(1)x", "kUP", "kUP1", "kUP9", "kFOO3", "KEY_PRINT", "", "3"}) {
    KeyEvent key;
    EXPECT_FALSE(KeyOfName(name, key)) << name;
  }
}

TEST(CursesTypedChars, ControlCharactersAreTheirKeys) {
  struct Case {
    char32_t Wc;
    std::uint8_t Scan, Ch;
    std::uint32_t Shift;
  } cases[] = {
      {'\r', scan::kEnter, '\r', 0},    {'\n', scan::kEnter, '\r', 0},
      {'\t', scan::kTab, '\t', 0},      {'\b', scan::kBackspace, '\b', 0},
      {0x7F, scan::kBackspace, '\b', 0}, {27, scan::kEsc, 27, 0},
      {3, 0x2E, 3, kLeftCtrl},          {1, 0x1E, 1, kLeftCtrl},
      {26, 0x15, 26, kLeftCtrl},        // Ctrl+Z: Z sits where US keyboards have Y
  };
  for (const auto& c : cases) {
    KeyEvent key;
    ASSERT_TRUE(KeyOfChar(c.Wc, key)) << int(c.Wc);
    EXPECT_EQ(key.Scan, c.Scan) << int(c.Wc);
    EXPECT_EQ(key.Ch, c.Ch) << int(c.Wc);
    EXPECT_EQ(key.Shift, c.Shift) << int(c.Wc);
  }
  for (char32_t wc : {0, 0x1C, 0x1F}) {
    KeyEvent key;
    EXPECT_FALSE(KeyOfChar(wc, key)) << int(wc);
  }
}

TEST(CursesTypedChars, UnicodeBecomesCodePage852OrIsDropped) {
  KeyEvent key;
  ASSERT_TRUE(KeyOfChar(U'a', key));
  EXPECT_EQ(key.Ch, 'a');
  EXPECT_EQ(key.Scan, 0x1E);
  EXPECT_EQ(key.Shift, 0u);
  ASSERT_TRUE(KeyOfChar(U'Z', key));
  EXPECT_EQ(key.Scan, 0x15);  // QWERTZ
  EXPECT_EQ(key.Shift, std::uint32_t{kShift});
  ASSERT_TRUE(KeyOfChar(U'á', key));
  EXPECT_EQ(key.Ch, 0xA0);
  EXPECT_EQ(key.Scan, 0);
  ASSERT_TRUE(KeyOfChar(U'ő', key));
  EXPECT_EQ(key.Ch, 0x8B);
  ASSERT_TRUE(KeyOfChar(U'Ű', key));
  EXPECT_EQ(key.Ch, 0xEB);
  EXPECT_FALSE(KeyOfChar(U'€', key));
  EXPECT_FALSE(KeyOfChar(U'õ', key));  // Estonian, not in code page 852
}

TEST(CursesTypedChars, WithAltKeepsTheKeyAndAddsAlt) {
  KeyEvent key;
  ASSERT_TRUE(KeyOfChar(U'q', key));
  KeyEvent alt = WithAlt(key);
  EXPECT_EQ(alt.Scan, 0x10);
  EXPECT_EQ(alt.Ch, 'q');
  EXPECT_EQ(alt.Shift, std::uint32_t{kLeftAlt});
  ASSERT_TRUE(KeyOfName("KEY_F(13)", key));
  EXPECT_EQ(WithAlt(key).Shift, kShift | kLeftAlt);
}

TEST(CursesColours, EightColoursShowBrightAsBoldAndBlinkAsBlink) {
  Look grey = LookOfAttr(0x07, false);
  EXPECT_EQ(grey.Fg, 7);  // COLOR_WHITE
  EXPECT_EQ(grey.Bg, 0);
  EXPECT_FALSE(grey.Bold);
  EXPECT_FALSE(grey.Blink);
  Look title = LookOfAttr(0x9E, false);  // blinking yellow on blue
  EXPECT_EQ(title.Fg, 3);                // brown = COLOR_YELLOW
  EXPECT_EQ(title.Bg, 4);                // blue = COLOR_BLUE
  EXPECT_TRUE(title.Bold);
  EXPECT_TRUE(title.Blink);
  EXPECT_EQ(LookOfAttr(0x16, false).Pair, LookOfAttr(0x9E, false).Pair);
  EXPECT_EQ(LookOfAttr(0x43, false).Fg, 6);  // cyan
  EXPECT_EQ(LookOfAttr(0x43, false).Bg, 1);  // red
}

TEST(CursesColours, SixteenColoursShowBrightAndBlinkAsColours) {
  Look title = LookOfAttr(0x9E, true);
  EXPECT_EQ(title.Fg, 3 + 8);
  EXPECT_EQ(title.Bg, 4 + 8);
  EXPECT_FALSE(title.Bold);
  EXPECT_FALSE(title.Blink);
  EXPECT_EQ(LookOfAttr(0x70, true).Fg, 0);
  EXPECT_EQ(LookOfAttr(0x70, true).Bg, 7);
}

// Every pair is within the pairs set up and names exactly one fg/bg, so that
// initialising the pairs of all 256 attributes never overwrites one.
TEST(CursesColours, PairsAreInRangeAndConsistent) {
  for (bool sixteen : {false, true}) {
    std::map<int, std::pair<int, int>> colourOfPair;
    std::set<std::pair<int, int>> colours;
    for (int attr = 0; attr < 256; ++attr) {
      Look look = LookOfAttr(static_cast<std::uint8_t>(attr), sixteen);
      ASSERT_GE(look.Pair, 1);
      ASSERT_LT(look.Pair, PairsNeeded(sixteen));
      auto it = colourOfPair.insert({look.Pair, {look.Fg, look.Bg}}).first;
      EXPECT_EQ(it->second, std::make_pair(int{look.Fg}, int{look.Bg})) << attr;
      colours.insert({look.Fg, look.Bg});
    }
    EXPECT_EQ(colours.size(), colourOfPair.size()) << sixteen;  // one pair per colour
    EXPECT_EQ(static_cast<int>(colourOfPair.size()), PairsNeeded(sixteen) - 1) << sixteen;
  }
}

}  // namespace
}  // namespace platform::posix
#endif
