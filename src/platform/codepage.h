// Code page 852 conversions and the compile-time literal helper.
//
// Every text inside the programs is code page 852 bytes in a std::string.
// Hungarian literals are written readable in UTF-8 source and turned into
// code page 852 at compile time:  std::string s = "Tovább"_cp;
// A character that code page 852 lacks is a compile error.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/codepage_tables.h"

namespace platform {

// Unicode code point -> code page 852 byte, or -1 when the code page lacks it.
// Bytes 0x01-0x1F and 0x7F are reached through their PC glyphs too.
constexpr int UnicodeToCp852(char32_t u) {
  if (u < 0x80 && u != 0x7F) return static_cast<int>(u);
  for (int b = 0x01; b < 256; ++b)
    if (tables::kCp852Glyph[b] == u) return b;
  return -1;
}

// Code page 852 byte -> the Unicode character a console shows for it.
constexpr char16_t Cp852ToUnicode(std::uint8_t b) { return tables::kCp852Glyph[b]; }

// Whole-text conversions between code page 852 (OEM) and Windows-1250 (ANSI).
std::string OemToAnsi(std::string_view oem);
std::string AnsiToOem(std::string_view ansi);
// Hungarian upper and lower casing of code page 852 text: exactly the letters
// that have a counterpart in both code pages change.
std::string UpperOem(std::string_view oem);
std::string LowerOem(std::string_view oem);

// Appends the UTF-8 form of a code page 852 text (for terminals and logs).
std::string Cp852ToUtf8(std::string_view oem);
// Converts UTF-8 to code page 852; characters the code page lacks are dropped.
std::string Utf8ToCp852(std::string_view utf8);
// A program argument or file name as the system gives it (POSIX: UTF-8;
// Win32: Windows-1250), in code page 852 for the screen; characters the
// code page lacks are dropped. The name itself stays as given for the files.
std::string ArgumentToCp852(std::string_view argument);
// Writes a code page 852 text as one line (UTF-8) to a C stream and flushes
// it: how a program reports outside its screen (stdout, stderr).
void WriteLine(std::FILE* to, std::string_view oem);
// WriteLine for a line that is the program's result: false when it did not
// reach the stream whole (a write or the flush failed: a full disk, a
// closed pipe).
[[nodiscard]] bool TryWriteLine(std::FILE* to, std::string_view oem);

namespace detail {

template <std::size_t N>
struct Utf8Literal {
  char Bytes[N]{};
  consteval Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) Bytes[i] = s[i];
  }
};

// Decodes one UTF-8 sequence starting at bytes[i]; advances i.
template <std::size_t N>
consteval char32_t DecodeUtf8(const char (&bytes)[N], std::size_t& i) {
  auto b = static_cast<unsigned char>(bytes[i++]);
  if (b < 0x80) return b;
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  char32_t u = b & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) u = (u << 6) | (static_cast<unsigned char>(bytes[i++]) & 0x3F);
  return u;
}

template <Utf8Literal S>
struct Cp852Literal {
  static consteval std::size_t Length() {
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.Bytes);) {
      DecodeUtf8(S.Bytes, i);
      ++n;
    }
    return n;
  }
  static constexpr std::size_t kLength = Length();
  struct Bytes {
    char Data[kLength + 1]{};
  };
  static consteval Bytes Convert() {
    Bytes out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.Bytes);) {
      int b = UnicodeToCp852(DecodeUtf8(S.Bytes, i));
      if (b < 0) throw "character missing from code page 852";
      out.Data[n++] = static_cast<char>(b);
    }
    return out;
  }
  static constexpr Bytes kBytes = Convert();
};

}  // namespace detail

inline namespace literals {
// "árvíztűrő"_cp: the literal's text in code page 852, as a std::string_view
// into static storage (converted at compile time).
template <detail::Utf8Literal S>
consteval std::string_view operator""_cp() {
  using L = detail::Cp852Literal<S>;
  return std::string_view(L::kBytes.Data, L::kLength);
}
}  // namespace literals

}  // namespace platform
