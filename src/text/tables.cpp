// The character tables between code page 852, Windows-1250 and the legacy
// Hungarian DOS encoding, Hungarian upper-casing and accent folding.
#include <array>
#include <cstdint>
#include <optional>

#include "platform/codepage.h"
#include "text/text.h"

namespace text {
namespace {

template <std::size_t N>
using Bytes = std::array<std::uint8_t, N>;

// A table's To list written as letters.
template <std::size_t N>
consteval Bytes<N - 1> Letters(const char (&s)[N]) {
  Bytes<N - 1> out{};
  for (std::size_t i = 0; i + 1 < N; ++i) out[i] = static_cast<std::uint8_t>(s[i]);
  return out;
}

// The 18 letters á Á é É í Í ó Ó ö Ö ő Ő ú Ú ü Ü ű Ű.
constexpr Bytes<18> kCp852_18 = {0xA0, 0xB5, 0x82, 0x90, 0xA1, 0xD6, 0xA2, 0xE0, 0x94,
                                 0x99, 0x8B, 0x8A, 0xA3, 0xE9, 0x81, 0x9A, 0xFB, 0xEB};
constexpr Bytes<18> kLegacy18 = {0xA0, 0x8F, 0x82, 0x90, 0xA1, 0xA1, 0xA2, 0x95, 0x94,
                                 0x99, 0x93, 0xA7, 0xA3, 0x97, 0x81, 0x9A, 0x96, 0x98};
constexpr Bytes<18> kPlain437_18 = {0xA0, 0x8F, 0x82, 0x90, 0xA1, 0xA1, 0xA2, 0xA2, 0x94,
                                    0x99, 0x94, 0x99, 0xA3, 0xA3, 0x81, 0x9A, 0x81, 0x9A};

// The 28 letters a á A Á e é E É i í I Í o ó O Ó ö Ö ő Ő u ú U Ú ü Ü ű Ű.
constexpr Bytes<28> kWin1250_28 = {0x61, 0xE1, 0x41, 0xC1, 0x65, 0xE9, 0x45, 0xC9, 0x69, 0xED,
                                   0x49, 0xCD, 0x6F, 0xF3, 0x4F, 0xD3, 0xF6, 0xD6, 0xF5, 0xD5,
                                   0x75, 0xFA, 0x55, 0xDA, 0xFC, 0xDC, 0xFB, 0xDB};
constexpr Bytes<28> kCp852_28 = {0x61, 0xA0, 0x41, 0xB5, 0x65, 0x82, 0x45, 0x90, 0x69, 0xA1,
                                 0x49, 0xD6, 0x6F, 0xA2, 0x4F, 0xE0, 0x94, 0x99, 0x8B, 0x8A,
                                 0x75, 0xA3, 0x55, 0xE9, 0x81, 0x9A, 0xFB, 0xEB};
constexpr Bytes<28> kLegacy28 = {0x61, 0xA0, 0x41, 0x8F, 0x65, 0x82, 0x45, 0x90, 0x69, 0xA1,
                                 0x49, 0xD6, 0x6F, 0xA2, 0x4F, 0x95, 0x94, 0x99, 0x93, 0xA7,
                                 0x75, 0xA3, 0x55, 0x97, 0x81, 0x9A, 0x96, 0x98};

// Double-line and mixed box characters of code page 437 and their
// single-line replacements.
constexpr Bytes<28> kBoxDouble = {0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xC6,
                                  0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0,
                                  0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8};
constexpr Bytes<28> kBoxSingle = {0xB4, 0xBF, 0xBF, 0xB4, 0xB3, 0xBF, 0xD9, 0xD9, 0xD9, 0xC3,
                                  0xC3, 0xC0, 0xDA, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC1, 0xC1,
                                  0xC2, 0xC2, 0xC0, 0xC0, 0xDA, 0xDA, 0xC5, 0xC5};

// Accent folding: 33 accented letters of code page 852 and their plain
// capitals (Ű, byte EB, folds to "O").
constexpr Bytes<33> kFoldFrom = {0xFB, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0xA0, 0x88,
                                 0x89, 0xE0, 0x8A, 0x8B, 0x8C, 0x8D, 0xA1, 0x93, 0x94,
                                 0x96, 0x97, 0xA3, 0x95, 0xA2, 0x8E, 0x8F, 0x90, 0x99,
                                 0x9A, 0xB5, 0xE9, 0xEB, 0xD6, 0xD8};
constexpr Bytes<33> kFoldTo = Letters("UUEAAAAAEEOOOIIIOOUUUOOAAEOUAUOIO");

// ő ű Á Í Ó Ő Ú Ű between code page 852 and the legacy encoding, and back for ő ű Á.
constexpr Bytes<8> kCp852ToLegacyFrom = {0x8B, 0xFB, 0xB5, 0xD6, 0xE0, 0x8A, 0xE9, 0xEB};
constexpr Bytes<8> kCp852ToLegacyTo = {0x93, 0x96, 0x8F, 0xA1, 0xA2, 0x93, 0xA3, 0x96};
constexpr Bytes<3> kLegacyToCp852From = {0x93, 0x96, 0x8F};
constexpr Bytes<3> kLegacyToCp852To = {0x8B, 0xFB, 0xB5};

// Capitals Á É Í Ó Ö Ő Ú Ü Ű and their small letters.
constexpr Bytes<9> kUpperLegacy = {0x8F, 0x90, 0xA1, 0xA2, 0x99, 0x93, 0xA3, 0x9A, 0x96};
constexpr Bytes<9> kLowerLegacy = {0xA0, 0x82, 0xA1, 0xA2, 0x94, 0x93, 0xA3, 0x81, 0x96};
constexpr Bytes<9> kUpper852 = {0xB5, 0x90, 0xD6, 0xE0, 0x99, 0x8A, 0xE9, 0x9A, 0xEB};
constexpr Bytes<9> kLower852 = {0xA0, 0x82, 0xA1, 0xA2, 0x94, 0x8B, 0xA3, 0x81, 0xFB};

// Before the ANSI conversion of OemToAnsiText: legacy ő ű Á repaired, line
// boxes made ASCII, corners made "×" (code page 852 byte 9E).
constexpr Bytes<14> kAnsiPrepFrom = {0x8F, 0x93, 0x95, 0xB3, 0xB4, 0xC3, 0xC1,
                                     0xC2, 0xC4, 0xC5, 0xBF, 0xC0, 0xD9, 0xDA};
constexpr Bytes<14> kAnsiPrepTo = {0xB5, 0x8B, 0xFB, '|',  '|',  '|',  '-',
                                   '-',  '-',  '+',  0x9E, 0x9E, 0x9E, 0x9E};

// The lookup rule: the To byte of c's first position in from, if c is there.
template <std::size_t N>
std::optional<char> Lookup(char c, const Bytes<N>& from, const Bytes<N>& to) {
  auto b = static_cast<std::uint8_t>(c);
  for (std::size_t p = 0; p < N; ++p)
    if (from[p] == b) return static_cast<char>(to[p]);
  return std::nullopt;
}

template <std::size_t N>
char Convert(char c, const Bytes<N>& from, const Bytes<N>& to) {
  return Lookup(c, from, to).value_or(c);
}

template <std::size_t N>
std::string ConvertAll(std::string_view s, const Bytes<N>& from, const Bytes<N>& to) {
  std::string out = Short(std::string(s));
  for (char& c : out) c = Convert(c, from, to);
  return out;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

char LegacyToCp852(char c) { return Convert(c, kLegacy18, kCp852_18); }
std::string LegacyToCp852(std::string_view s) { return ConvertAll(s, kLegacy18, kCp852_18); }

char Cp852ToLegacyFull(char c) { return Convert(c, kCp852_18, kLegacy18); }
std::string Cp852ToLegacyFull(std::string_view s) { return ConvertAll(s, kCp852_18, kLegacy18); }

char LegacyToPlain437(char c) { return Convert(c, kLegacy18, kPlain437_18); }
std::string LegacyToPlain437(std::string_view s) { return ConvertAll(s, kLegacy18, kPlain437_18); }

char SingleLineBoxes(char c) { return Convert(c, kBoxDouble, kBoxSingle); }
std::string SingleLineBoxes(std::string_view s) { return ConvertAll(s, kBoxDouble, kBoxSingle); }

char Win1250Text(char c, bool toWindows) {
  return toWindows ? Convert(c, kCp852_28, kWin1250_28) : Convert(c, kWin1250_28, kCp852_28);
}
std::string Win1250Text(std::string_view s, bool toWindows) {
  return toWindows ? ConvertAll(s, kCp852_28, kWin1250_28) : ConvertAll(s, kWin1250_28, kCp852_28);
}

char LegacyWin1250Text(char c, bool toWindows) {
  return toWindows ? Convert(c, kLegacy28, kWin1250_28) : Convert(c, kWin1250_28, kLegacy28);
}
std::string LegacyWin1250Text(std::string_view s, bool toWindows) {
  return toWindows ? ConvertAll(s, kLegacy28, kWin1250_28) : ConvertAll(s, kWin1250_28, kLegacy28);
}

char Cp852ToLegacy(char c) { return Convert(c, kCp852ToLegacyFrom, kCp852ToLegacyTo); }
std::string Cp852ToLegacy(std::string_view s) {
  return ConvertAll(s, kCp852ToLegacyFrom, kCp852ToLegacyTo);
}

char LegacyToCp852Short(char c) { return Convert(c, kLegacyToCp852From, kLegacyToCp852To); }
std::string LegacyToCp852Short(std::string_view s) {
  return ConvertAll(s, kLegacyToCp852From, kLegacyToCp852To);
}

char UpCaseChar(char c, char selector) {
  std::optional<char> upper;
  if (selector == kLegacySet) upper = Lookup(c, kLowerLegacy, kUpperLegacy);
  if (selector == kCp852Set) upper = Lookup(c, kLower852, kUpper852);
  return upper.value_or(AsciiUpper(c));
}

std::string FoldUpper(std::string_view s) {
  std::string out = Short(std::string(s));
  for (char& c : out) c = Lookup(c, kFoldFrom, kFoldTo).value_or(AsciiUpper(c));
  return out;
}

std::string UpperCaseText(std::string_view s) { return Short(platform::UpperOem(s)); }
std::string LowerCaseText(std::string_view s) { return Short(platform::LowerOem(s)); }

std::string OemToAnsiText(std::string_view s) {
  std::string prepared(s);
  for (char& c : prepared) c = Convert(c, kAnsiPrepFrom, kAnsiPrepTo);
  return platform::OemToAnsi(prepared);
}

std::string AnsiToOemText(std::string_view s) { return platform::AnsiToOem(s); }

}  // namespace text
