// Character tables, casing and folding.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "platform/codepage.h"
#include "text/text.h"

namespace {

using namespace platform::literals;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

char B(int b) { return static_cast<char>(b); }

// The bytes in 0..255 that a one-character conversion changes.
template <typename F>
std::string Changed(F convert) {
  std::string changed;
  for (int b = 0; b < 256; ++b)
    if (convert(B(b)) != B(b)) changed += B(b);
  return changed;
}

TEST(Tables, LegacyToCp852TakesTheFirstOccurrence) {
  // Legacy 18 letters: á Á é É í Í ó Ó ö Ö ő Ő ú Ú ü Ü ű Ű.
  EXPECT_EQ(text::LegacyToCp852(Bytes({0xA0, 0x8F, 0x82, 0x90, 0xA1, 0xA2, 0x95, 0x94, 0x99,
                                       0x93, 0xA7, 0xA3, 0x97, 0x81, 0x9A, 0x96, 0x98})),
            "áÁéÉíóÓöÖőŐúÚüÜűŰ"_cp);
  // A1 stands first for í, so it never becomes Í.
  EXPECT_EQ(text::LegacyToCp852(B(0xA1)), B(0xA1));
  EXPECT_EQ(text::LegacyToCp852('x'), 'x');
  EXPECT_EQ(text::LegacyToCp852(Bytes({0xB5, 'a', 0x00})), Bytes({0xB5, 'a', 0x00}));
}

TEST(Tables, Cp852ToLegacyFullAndBack) {
  std::string letters(std::string("áÁéÉíÍóÓöÖőŐúÚüÜűŰ"_cp));
  std::string legacy = text::Cp852ToLegacyFull(letters);
  EXPECT_EQ(legacy, Bytes({0xA0, 0x8F, 0x82, 0x90, 0xA1, 0xA1, 0xA2, 0x95, 0x94, 0x99, 0x93, 0xA7,
                           0xA3, 0x97, 0x81, 0x9A, 0x96, 0x98}));
  // The legacy encoding has no Í of its own: it comes back as í.
  EXPECT_EQ(text::LegacyToCp852(legacy), "áÁéÉííóÓöÖőŐúÚüÜűŰ"_cp);
}

TEST(Tables, LegacyToPlain437DropsDoubleAccentsAndSomeCapitals) {
  EXPECT_EQ(text::LegacyToPlain437(Bytes({0x93, 0x96, 0xA7, 0x98, 0x95, 0x97, 0x8F, 0xA0})),
            Bytes({0x94, 0x81, 0x99, 0x9A, 0xA2, 0xA3, 0x8F, 0xA0}));
  EXPECT_EQ(text::LegacyToPlain437('A'), 'A');
}

TEST(Tables, SingleLineBoxes) {
  struct Case {
    std::initializer_list<int> From;
    int To;
  };
  const Case cases[] = {
      {{0xBA}, 0xB3},                   // ║ -> │
      {{0xCD}, 0xC4},                   // ═ -> ─
      {{0xB7, 0xB8, 0xBB}, 0xBF},       // ╖ ╕ ╗ -> ┐
      {{0xBC, 0xBD, 0xBE}, 0xD9},       // ╝ ╜ ╛ -> ┘
      {{0xC9, 0xD5, 0xD6}, 0xDA},       // ╔ ╒ ╓ -> ┌
      {{0xC8, 0xD3, 0xD4}, 0xC0},       // ╚ ╘ ╙ -> └
      {{0xB6, 0xB9}, 0xB4},             // ╢ ╣ -> ┤
      {{0xC6, 0xC7, 0xCC}, 0xC3},       // ╞ ╟ ╠ -> ├
      {{0xCA, 0xCF, 0xD0}, 0xC1},       // ╩ ╧ ╨ -> ┴
      {{0xCB, 0xD1, 0xD2}, 0xC2},       // ╦ ╤ ╥ -> ┬
      {{0xCE, 0xD7, 0xD8}, 0xC5},       // ╬ ╫ ╪ -> ┼
  };
  int mapped = 0;
  for (const Case& c : cases)
    for (int from : c.From) {
      EXPECT_EQ(text::SingleLineBoxes(B(from)), B(c.To)) << std::hex << from;
      ++mapped;
    }
  EXPECT_EQ(mapped, 28);
  EXPECT_EQ(Changed([](char c) { return text::SingleLineBoxes(c); }).size(), 28u);
  // Single-line characters and letters stay.
  const std::string single = Bytes({0xB3, 0xB4, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xD9, 0xDA});
  EXPECT_EQ(text::SingleLineBoxes(single + "Abc"), single + "Abc");
  EXPECT_EQ(text::SingleLineBoxes(Bytes({0xC9, 0xCD, 0xBB})), Bytes({0xDA, 0xC4, 0xBF}));
}

TEST(Tables, Win1250TextBothWays) {
  const std::string oem(std::string("árvíztűrő tükörfúrógép ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP"_cp));
  const std::string windows = text::Win1250Text(oem, true);
  // For these letters the table agrees with the full code page conversion.
  EXPECT_EQ(windows, platform::OemToAnsi(oem));
  EXPECT_EQ(windows.substr(0, 9), Bytes({0xE1, 'r', 'v', 0xED, 'z', 't', 0xFB, 'r', 0xF5}));
  EXPECT_EQ(text::Win1250Text(windows, false), oem);
  // Letters outside the 28 stay as they are, both ways.
  EXPECT_EQ(text::Win1250Text(B(0x9F), true), B(0x9F));  // č in code page 852
  EXPECT_EQ(text::Win1250Text(B(0xE8), false), B(0xE8));
  EXPECT_EQ(text::Win1250Text(B(0xA0), true), B(0xE1));
  EXPECT_EQ(text::Win1250Text(B(0xE1), false), B(0xA0));
}

TEST(Tables, LegacyWin1250Text) {
  const std::string legacy = Bytes({0x8F, 0x93, 0xA7, 0x96, 0x98, 0x95, 0x97, 0xD6, 'a'});
  const std::string windows = Bytes({0xC1, 0xF5, 0xD5, 0xFB, 0xDB, 0xD3, 0xDA, 0xCD, 'a'});
  EXPECT_EQ(text::LegacyWin1250Text(legacy, true), windows);
  EXPECT_EQ(text::LegacyWin1250Text(windows, false), legacy);
  // Legacy A1 is í in this table, whatever Legacy-18 says about Í.
  EXPECT_EQ(text::LegacyWin1250Text(B(0xA1), true), B(0xED));
  EXPECT_EQ(text::LegacyWin1250Text(B(0xCD), false), B(0xD6));
}

TEST(Tables, ShortLegacyTables) {
  EXPECT_EQ(Changed([](char c) { return text::Cp852ToLegacy(c); }),
            Bytes({0x8A, 0x8B, 0xB5, 0xD6, 0xE0, 0xE9, 0xEB, 0xFB}));
  EXPECT_EQ(text::Cp852ToLegacy("őűÁÍÓŐÚŰáé"_cp),
            Bytes({0x93, 0x96, 0x8F, 0xA1, 0xA2, 0x93, 0xA3, 0x96, 0xA0, 0x82}));
  EXPECT_EQ(Changed([](char c) { return text::LegacyToCp852Short(c); }), Bytes({0x8F, 0x93, 0x96}));
  EXPECT_EQ(text::LegacyToCp852Short(Bytes({0x93, 0x96, 0x8F, 0xA7})), Bytes({0x8B, 0xFB, 0xB5, 0xA7}));
}

TEST(Tables, StringFormsKeepLengthAndCutTo255) {
  EXPECT_EQ(text::Cp852ToLegacyFull(Bytes({0xA0, 0x00, 0x8B})), Bytes({0xA0, 0x00, 0x93}));
  EXPECT_EQ(text::LegacyToCp852(std::string(300, 'a')).size(), 255u);
  EXPECT_EQ(text::FoldUpper(std::string(300, 'a')), std::string(255, 'A'));
}

TEST(Casing, UpCaseChar) {
  EXPECT_EQ(text::UpCaseChar(B(0x8B), text::kCp852Set), B(0x8A));   // ő -> Ő
  EXPECT_EQ(text::UpCaseChar(B(0xA0), text::kLegacySet), B(0x8F));  // á -> Á
  EXPECT_EQ(text::UpCaseChar(B(0xFB), text::kCp852Set), B(0xEB));   // ű -> Ű
  EXPECT_EQ(text::UpCaseChar(B(0x94), text::kLegacySet), B(0x99));  // ö -> Ö
  for (char selector : {'1', '2', '0', 'x'}) {
    EXPECT_EQ(text::UpCaseChar('x', selector), 'X');
    EXPECT_EQ(text::UpCaseChar('7', selector), '7');
  }
  // Under another selector the Hungarian letters stay.
  EXPECT_EQ(text::UpCaseChar(B(0x8B), '3'), B(0x8B));
  EXPECT_EQ(text::UpCaseChar(B(0xA0), text::kCp852Set), B(0xB5));
  // ű in code page 852 (FB) is not a legacy letter.
  EXPECT_EQ(text::UpCaseChar(B(0xFB), text::kLegacySet), B(0xFB));
}

TEST(Casing, FoldUpper) {
  EXPECT_EQ(text::FoldUpper("árvíztűrő tükörfúrógép"_cp), "ARVIZTURO TUKORFUROGEP");
  EXPECT_EQ(text::FoldUpper("ŰR"_cp), "OR");
  EXPECT_EQ(text::FoldUpper(Bytes({0xD8})), "O");
  EXPECT_EQ(text::FoldUpper("ÁÉÍÓÖŐÚÜ"_cp), "AEIOOOUU");
  EXPECT_EQ(text::FoldUpper("12, -x.!"), "12, -X.!");
  // Every entry of the fold table gives a plain capital.
  const std::string from = Bytes({0xFB, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0xA0, 0x88, 0x89, 0xE0,
                                  0x8A, 0x8B, 0x8C, 0x8D, 0xA1, 0x93, 0x94, 0x96, 0x97, 0xA3, 0x95,
                                  0xA2, 0x8E, 0x8F, 0x90, 0x99, 0x9A, 0xB5, 0xE9, 0xEB, 0xD6, 0xD8});
  EXPECT_EQ(text::FoldUpper(from), "UUEAAAAAEEOOOIIIOOUUUOOAAEOUAUOIO");
  // Other non-ASCII bytes stay.
  EXPECT_EQ(text::FoldUpper(Bytes({0x9F, 0xC9})), Bytes({0x9F, 0xC9}));
}

TEST(Casing, UpperAndLowerCaseText) {
  EXPECT_EQ(text::UpperCaseText("árvíztűrő tükörfúrógép"_cp), "ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP"_cp);
  EXPECT_EQ(text::LowerCaseText("ÁRVÍZTŰRŐ TÜKÖRFÚRÓGÉP"_cp), "árvíztűrő tükörfúrógép"_cp);
  // Characters without a counterpart stay; a NUL inside or at the end is kept.
  EXPECT_EQ(text::UpperCaseText("ß1-x"_cp), "ß1-X"_cp);
  EXPECT_EQ(text::UpperCaseText(Bytes({'a', 0, 'b', 0})), Bytes({'A', 0, 'B', 0}));
  EXPECT_EQ(text::LowerCaseText(""), "");
  EXPECT_EQ(text::UpperCaseText(std::string(256, 'a')).size(), 255u);
}

TEST(Casing, OemToAnsiText) {
  // A frame top: corners become ×, lines "-".
  EXPECT_EQ(text::OemToAnsiText(Bytes({0xDA, 0xC4, 0xC4, 0xBF})), Bytes({0xD7, '-', '-', 0xD7}));
  EXPECT_EQ(text::OemToAnsiText(Bytes({0xB3, 0xB4, 0xC3, 0xC1, 0xC2, 0xC5, 0xC0, 0xD9})),
            Bytes({'|', '|', '|', '-', '-', '+', 0xD7, 0xD7}));
  // Legacy Á, ő, ű repaired before the conversion.
  EXPECT_EQ(text::OemToAnsiText(Bytes({0x8F, 0x93, 0x95})), Bytes({0xC1, 0xF5, 0xFB}));
  EXPECT_EQ(text::OemToAnsiText("Tovább"_cp), Bytes({'T', 'o', 'v', 0xE1, 'b', 'b'}));
  // Dynamic strings: no cut at 255.
  EXPECT_EQ(text::OemToAnsiText(std::string(300, 'a')).size(), 300u);
}

TEST(Casing, AnsiToOemText) {
  EXPECT_EQ(text::AnsiToOemText(Bytes({'T', 'o', 'v', 0xE1, 'b', 'b'})), "Tovább"_cp);
  EXPECT_EQ(text::AnsiToOemText(std::string(300, 'a')).size(), 300u);
}

}  // namespace
